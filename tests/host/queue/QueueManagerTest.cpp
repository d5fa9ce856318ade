// The queue manager opens the report file of a job, and only a plain job name inside the report
// directory; its answers tell a missing report from a viewer that did not start.
#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "host/queue/QueueManager.h"

namespace {

kv::Variant job(const QString& id) {
    return kv::Variant::arrayOf({id, id.left(8) + "0001", "DS", 1});
}

} // namespace

TEST(QueueManagerTest, OpensTheReportOfAJob) {
    QTemporaryDir dir;
    const QString base = dir.path() + "/";
    testsupport::writeFile(base + "registry.ini", QString("[HKEY_LOCAL_MACHINE\\Software\\KVR\\Steward]\n"
                                                          "ClientPath=%1\nServerPath=%1\n")
                                                      .arg(base)
                                                      .toUtf8());
    testsupport::ScopedEnv env("TARNIX_REGISTRY", (base + "registry.ini").toUtf8());
    testsupport::writeFile(base + "Report/20261207000001.pdf", "%PDF-1.4");
    testsupport::writeFile(base + "secret.pdf", "%PDF-1.4");

    QList<QUrl> opened;
    bool viewerStarts = true;
    tarnix::registerQueueManagerClass([&](const QUrl& url) {
        opened << url;
        return viewerStarts;
    });
    const kv::DispatchPtr queue = kv::CreateOleObject("QueueManagerC.Class1");
    const auto open = [&queue](const kv::Variant& first, bool show = true) {
        return queue->call("OpenReport", {first, "DS", kv::Variant(show)}).toInt();
    };

    EXPECT_EQ(open(job("20261207000001")), 0);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl::fromLocalFile(base + "Report/20261207000001.pdf"));
    // Asked not to show it: found, nothing opens.
    EXPECT_EQ(open(job("20261207000001"), false), 0);
    EXPECT_EQ(opened.size(), 1);
    // A job without a report, and names that would lead outside the report directory.
    EXPECT_EQ(open(job("20261207000002")), 1);
    EXPECT_EQ(open(job("../secret")), 1);
    EXPECT_EQ(open(job("/etc/passwd")), 1);
    EXPECT_EQ(open(job("")), 1);
    EXPECT_EQ(opened.size(), 1);
    // Arguments it cannot read.
    EXPECT_EQ(open(kv::Variant("20261207000001")), -1);
    EXPECT_EQ(open(kv::Variant::arrayOf({kv::Variant::arrayOf({"x"})})), -1);
    // The viewer does not start.
    viewerStarts = false;
    EXPECT_EQ(open(job("20261207000001")), 2);
    kv::ObjectRegistry::unregisterClass(tarnix::kQueueManagerProgID);
    EXPECT_THROW(kv::CreateOleObject("QueueManagerC.Class1"), kv::EOleError);
}
