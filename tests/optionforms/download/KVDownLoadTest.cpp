// TKVDownLoad: the upgrader switch, the host's file information, refreshing a local file from the
// server (download, retries, unpacking) and the alert log beside the program.
#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

#include "common/TestSupport.h"
#include "host/download/ZipMaker.h"
#include "host/webservice/TestHttpServer.h"
#include "optionforms/KVDownLoad.h"
#include "platform/DateTime.h"
#include "support/LibStrs.h"

namespace {

using testsupport::readFile;
using testsupport::TestHttpServer;
using testsupport::writeFile;

// Presses the given buttons, in order, on the message boxes that come up, and keeps their texts.
class BoxPresser {
public:
    explicit BoxPresser(QList<QMessageBox::StandardButton> presses) : FState(std::make_shared<State>()) {
        FState->presses = std::move(presses);
        poll(FState);
    }
    ~BoxPresser() { FState->stopped = true; }
    QStringList texts() const { return FState->texts; }

private:
    struct State {
        QList<QMessageBox::StandardButton> presses;
        QStringList texts;
        bool stopped = false;
    };
    static void poll(std::shared_ptr<State> state) {
        QTimer::singleShot(5, [state] {
            if (state->stopped) return;
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                state->texts << box->text();
                const auto press = state->presses.isEmpty() ? QMessageBox::Abort : state->presses.takeFirst();
                if (QAbstractButton* b = box->button(press)) b->click();
            }
            poll(state);
        });
    }
    std::shared_ptr<State> FState;
};

QString todayLog(const QString& name) {
    return QCoreApplication::applicationDirPath() + "/Log/Alert_" + name + "_" +
           kv::formatDateTime("yyyymmdd", kv::now()) + ".log";
}

class KVDownLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry = std::make_unique<testsupport::ScopedEnv>("TARNIX_REGISTRY",
                                                            dir.filePath("registry.ini").toUtf8());
        // Downloads land in the temporary folder under the file's name: each test its own, as the
        // tests run side by side.
        ASSERT_TRUE(QDir().mkpath(dir.filePath("tmp")));
        tmp = std::make_unique<testsupport::ScopedEnv>("TMPDIR", dir.filePath("tmp").toUtf8());
        setSwitch("1");
        local = writeFile(dir.filePath("install/KRTA07S.so"), "old library");
        QFile f(local);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            f.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
        f.close();
        ASSERT_TRUE(testsupport::makeZip(dir.filePath("new.zip"), {{"KRTA07S.so", "new library"}}));
        zip = readFile(dir.filePath("new.zip"));
        // The log beside the program is shared with the tests running beside this one: only what is
        // written from here on counts.
        logStart = QFileInfo(todayLog("KVDownLoadNewFileU")).size();
    }
    void setSwitch(const QString& value) {
        writeFile(dir.filePath("registry.ini"),
                  value.isNull()
                      ? QByteArray()
                      : ("[HKEY_LOCAL_MACHINE\\Software\\PELD\\Upgrader]\nGoAhead=" + value + "\n").toUtf8());
    }
    QString info(const TestHttpServer& server, int ageDays = -1) const {
        const QString stamp = QDateTime::currentDateTime().addDays(ageDays).toString("yyyyMMddhhmmss");
        return "<Modify>" + stamp + "</Modify><Path>" + server.url("/pkg/KRTA07S.so") + "</Path>";
    }

    QTemporaryDir dir;
    std::unique_ptr<testsupport::ScopedEnv> registry;
    std::unique_ptr<testsupport::ScopedEnv> tmp;
    qint64 logStart = 0;
    QByteArray newLog() const { return readFile(todayLog("KVDownLoadNewFileU")).mid(logStart); }
    QString local;
    QByteArray zip;
};

} // namespace

TEST_F(KVDownLoadTest, UpgraderSwitchAndFileInformation) {
    EXPECT_TRUE(TKVDownLoad::UpgraderEnabled());
    setSwitch(" 1 ");
    EXPECT_TRUE(TKVDownLoad::UpgraderEnabled());
    setSwitch("0");
    EXPECT_FALSE(TKVDownLoad::UpgraderEnabled());
    setSwitch("");
    EXPECT_FALSE(TKVDownLoad::UpgraderEnabled());
    setSwitch(QString());
    EXPECT_FALSE(TKVDownLoad::UpgraderEnabled());
    EXPECT_TRUE(newLog().contains("] Read Upgrader Registry Error: No UPGRADER_REGISTRY_PATH\n"));

    QString stamp, serverDir;
    TKVDownLoad::ParseFileInfo(
        "<Name>x</Name><Modify>20240105103000</Modify><Path>\\\\srv\\pkg\\KRTA07S.dll</Path>", stamp,
        serverDir);
    EXPECT_EQ(stamp, "20240105103000");
    EXPECT_EQ(serverDir, "\\\\srv\\pkg\\");
    TKVDownLoad::ParseFileInfo(
        "Name = 'KRTA07S.so' Modify = '2024-01-05 10:30:00' Path = 'http://h:8080/pkg/KRTA07S.so'", stamp,
        serverDir);
    EXPECT_EQ(stamp, "2024-01-05 10:30:00");
    EXPECT_EQ(serverDir, "http://h:8080/pkg/");
    TKVDownLoad::ParseFileInfo("nothing here", stamp, serverDir);
    EXPECT_TRUE(stamp.isEmpty());
    EXPECT_TRUE(serverDir.isEmpty());

    EXPECT_TRUE(TKVDownLoad::IsNetworkPath("\\\\srv\\share\\KRTA07S.dll"));
    EXPECT_TRUE(TKVDownLoad::IsNetworkPath("//srv/share/KRTA07S.so"));
    EXPECT_FALSE(TKVDownLoad::IsNetworkPath(local));
}

TEST_F(KVDownLoadTest, NewerFileIsDownloadedAndUnpacked) {
    TestHttpServer server;
    server.handler = [&](const TestHttpServer::Request& r) {
        if (r.path == "/pkg/krta07s.so.zip") return TestHttpServer::Answer{200, "OK", zip, "application/zip"};
        return TestHttpServer::Answer{404, "Not Found", {}};
    };
    QString error;
    ASSERT_TRUE(TKVDownLoad::RefreshFile(info(server), local, false, error)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(readFile(local), "new library");
    EXPECT_FALSE(QFile::exists(GetLongTempPath() + "KRTA07S.so.zip"));

    // The local copy is now the newer one; with the switch off nothing is even compared.
    EXPECT_TRUE(TKVDownLoad::RefreshFile(info(server), local, false, error));
    EXPECT_EQ(server.requests.size(), 1);
    setSwitch("0");
    EXPECT_TRUE(TKVDownLoad::RefreshFile(info(server, +10), local, false, error));
    EXPECT_EQ(server.requests.size(), 1);
}

TEST_F(KVDownLoadTest, FailedStepsRetryWhenAskedAndAreReported) {
    TestHttpServer server;
    int calls = 0;
    server.handler = [&](const TestHttpServer::Request&) {
        return ++calls < 3 ? TestHttpServer::Answer{503, "Service Unavailable", {}}
                           : TestHttpServer::Answer{200, "OK", zip, "application/zip"};
    };
    QString error;
    // Not interactive: the first failure ends it, with the text in the log.
    EXPECT_FALSE(TKVDownLoad::RefreshFile(info(server), local, false, error));
    EXPECT_TRUE(error.startsWith("DownLoad new file[" + local + "] failed. ")) << error.toStdString();
    EXPECT_TRUE(error.contains("HTTP 503 Service Unavailable"));
    EXPECT_TRUE(newLog().contains(error.toUtf8()));
    EXPECT_EQ(readFile(local), "old library");

    // Interactive: Retry asks again, and the second try succeeds.
    {
        BoxPresser boxes({QMessageBox::Retry});
        ASSERT_TRUE(TKVDownLoad::RefreshFile(info(server), local, true, error)) << error.toStdString();
        ASSERT_EQ(boxes.texts().size(), 1);
        EXPECT_TRUE(boxes.texts().first().startsWith("DownLoad new file["));
    }
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(readFile(local), "new library");

    // An archive that does not unpack: Retry tries the unpacking again, Abort gives up.
    writeFile(local, "old library");
    QFile f(local);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    f.close();
    server.handler = [](const TestHttpServer::Request&) {
        return TestHttpServer::Answer{200, "OK", "no zip"};
    };
    {
        BoxPresser boxes({QMessageBox::Retry, QMessageBox::Abort});
        EXPECT_FALSE(TKVDownLoad::RefreshFile(info(server), local, true, error));
        EXPECT_EQ(boxes.texts().size(), 2);
    }
    EXPECT_TRUE(error.startsWith("Unzip new file[" + local + "] failed. Cannot open the archive"))
        << error.toStdString();
    EXPECT_EQ(readFile(local), "old library");
}

TEST_F(KVDownLoadTest, NetworkFilesAreNeverDownloaded) {
    TestHttpServer server;
    QString error;
    const QString share = "//fileserver/tarnix/KRTA07S.so";
    EXPECT_FALSE(TKVDownLoad::RefreshFile(info(server), share, false, error));
    EXPECT_EQ(error, "Net File can't update![" + share + "]");
    EXPECT_TRUE(server.requests.isEmpty());
    EXPECT_TRUE(newLog().contains(error.toUtf8()));
}

TEST_F(KVDownLoadTest, AlertLogNamesItsFileByPeriod) {
    const QString logDir = QCoreApplication::applicationDirPath() + "/Log/";
    const kv::TDateTime now = kv::now();
    const QString day = kv::formatDateTime("yyyymmdd", now);
    const QString month = kv::formatDateTime("yyyymm", now);
    const QString year = kv::formatDateTime("yyyy", now);
    const QStringList files{logDir + "Alert_dltest_" + day + ".log",
                            logDir + "Alert_dltest_" + month + ".log",
                            logDir + "Alert_dltest_" + year + ".log", logDir + "Alert_dl.test_" + day};
    for (const QString& f : files)
        QFile::remove(f);
    EXPECT_TRUE(TKVDownLoad::AlertLog("dltest", "daily", "D"));
    EXPECT_TRUE(TKVDownLoad::AlertLog("dltest", "other letter", "Q"));
    EXPECT_TRUE(TKVDownLoad::AlertLog("dltest", "monthly", "m"));
    EXPECT_TRUE(TKVDownLoad::AlertLog("dltest", "yearly", "Y"));
    EXPECT_TRUE(TKVDownLoad::AlertLog("dl.test", "with a point", "D"));
    const QString daily = QString::fromUtf8(readFile(files.at(0)));
    EXPECT_TRUE(
        daily.contains(QRegularExpression("^\\[\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3}\\] daily\n")))
        << daily.toStdString();
    EXPECT_TRUE(daily.contains("] other letter\n"));
    EXPECT_TRUE(readFile(files.at(1)).contains("] monthly\n"));
    EXPECT_TRUE(readFile(files.at(2)).contains("] yearly\n"));
    EXPECT_TRUE(readFile(files.at(3)).contains("] with a point\n"));
    // A name that would leave the log directory is refused.
    EXPECT_FALSE(TKVDownLoad::AlertLog("../escape", "x", "D"));
    EXPECT_FALSE(QFile::exists(QCoreApplication::applicationDirPath() + "/Alert_../escape_" + day + ".log"));
    for (const QString& f : files)
        QFile::remove(f);
}
