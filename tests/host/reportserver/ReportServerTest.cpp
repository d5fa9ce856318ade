// KRTA07S.so as the report form runs it: the schedule lines a run asks for, with their days, as a PDF in
// the report directory; footers on every page or the last; refused runs answer why.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

#include "common/TestSupport.h"
#include "host/demo/DemoCompany.h"
#include "optionforms/BaseRptServer.h"

namespace {

class ReportServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        kv::demo::DemoOptions options;
        options.lines = 60;
        kv::demo::writeDemoInstallation(dir->path(), options);
        library = dlopen(QFile::encodeName(testsupport::binDir() + "/KRTA07S.so").constData(),
                         RTLD_NOW | RTLD_LOCAL);
        ASSERT_TRUE(library) << dlerror();
    }
    static void TearDownTestSuite() { delete dir; }

    void SetUp() override {
        ASSERT_TRUE(library);
        env = std::make_unique<testsupport::ScopedEnv>("TARNIX_REGISTRY",
                                                       (dir->path() + "/registry.ini").toUtf8());
        const auto get = reinterpret_cast<TGetSvrController>(dlsym(library, "GetSvrController"));
        ASSERT_TRUE(get);
        controller.reset(get());
    }

    static kv::Variant values(const QString& factory, const QString& resource = {},
                              const QString& document = {},
                              const kv::Variant& footer = kv::Variant::arrayOf({"", "", "", "", "N"})) {
        kv::Variant v = kv::Variant::array(1, 7);
        v.at(1) = factory;
        v.at(2) = resource;
        v.at(3) = document;
        v.at(4) = "1";
        v.at(5) = footer;
        v.at(6) = kv::Variant::arrayOf({"", "", "", "", "N"});
        v.at(7) = "2026/12/07";
        return v;
    }
    // The report form's twelve elements for a direct query of a job.
    static kv::Variant run(const QString& job, const kv::Variant& values) {
        return kv::Variant::arrayOf({job, "", "DEMO", "DS", "DEMO", values, 1, "R", job.left(8) + "0001", 1,
                                     kv::Variant(false), "936"});
    }
    QString report(const QString& job) const {
        return QDir(dir->path()).absolutePath() + "/Report/" + job + ".pdf";
    }

    static QString pdfText(const QString& file) {
        QProcess p;
        p.start("pdftotext", {file, "-"});
        EXPECT_TRUE(p.waitForFinished(30000));
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    // The line count the report prints at its end; -1 when there is none.
    static int total(const QString& text) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("共\\s*(\\d+)\\s*笔")).match(text);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }
    static int count(const QString& sql) {
        const QString name = QUuid::createUuid().toString();
        int n = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(dir->path() + "/DEMO.db");
            db.open();
            QSqlQuery q(db);
            if (q.exec(sql) && q.next()) n = q.value(0).toInt();
        }
        QSqlDatabase::removeDatabase(name);
        return n;
    }

    static inline QTemporaryDir* dir = nullptr;
    static inline void* library = nullptr;
    std::unique_ptr<testsupport::ScopedEnv> env;
    std::unique_ptr<TSvrController> controller;
};

} // namespace

TEST_F(ReportServerTest, ListsTheLinesTheRunAsksFor) {
    ASSERT_EQ(controller->Run(run("20261207000001", values("F01"))), 0)
        << controller->MessageText().toStdString();
    EXPECT_TRUE(controller->MessageText().isEmpty());
    const QString all = pdfText(report("20261207000001"));
    EXPECT_TRUE(all.contains(
        QStringLiteral("共 %1 笔").arg(count("SELECT COUNT(*) FROM MPSTB WHERE TB001 = 'F01'"))));
    EXPECT_TRUE(all.contains(QStringLiteral("工厂: F01")));

    // One main resource, then one source document (type, number and line without separators).
    ASSERT_EQ(controller->Run(run("20261207000002", values("F01", "R001"))), 0);
    const int ofResource = count("SELECT COUNT(*) FROM MPSTB WHERE TB001 = 'F01' AND TB036 = 'R001'");
    ASSERT_GT(ofResource, 0);
    EXPECT_EQ(total(pdfText(report("20261207000002"))), ofResource);
    const QString document = [] {
        const QString name = QUuid::createUuid().toString();
        QString d;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(dir->path() + "/DEMO.db");
            db.open();
            QSqlQuery q("SELECT TB051 || TB004 || TB005 FROM MPSTB WHERE TB001 = 'F01' LIMIT 1", db);
            if (q.next()) d = q.value(0).toString();
        }
        QSqlDatabase::removeDatabase(name);
        return d;
    }();
    ASSERT_EQ(controller->Run(run("20261207000003", values("F01", "", document))), 0);
    const int ofDocument = count(
        "SELECT COUNT(*) FROM MPSTB WHERE TB001 = 'F01' AND TB051 || TB004 || TB005 = '" + document + "'");
    ASSERT_GT(ofDocument, 0);
    EXPECT_EQ(total(pdfText(report("20261207000003"))), ofDocument);

    // A batch program's seven elements run the same report.
    ASSERT_EQ(controller->Run(kv::Variant::arrayOf(
                  {"20261207000004", "DEMO", "DS", values("F02"), "DEMO", "202612070001", 1})),
              0);
    EXPECT_TRUE(pdfText(report("20261207000004")).contains(QStringLiteral("工厂: F02")));
}

TEST_F(ReportServerTest, FootersOnEveryPageOrOnTheLast) {
    const kv::Variant everyPage = kv::Variant::arrayOf({"N1", "Footer one", "", "", "Y"});
    ASSERT_EQ(controller->Run(run("20261207000011", values("F01", "", "", everyPage))), 0);
    const QString text = pdfText(report("20261207000011"));
    const int pages = int(text.count('\f'));
    ASSERT_GT(pages, 1); // sixty lines do not fit on one page
    EXPECT_EQ(text.count("Footer one"), pages);
    EXPECT_TRUE(text.contains(QString("%1/%1").arg(pages)));

    const kv::Variant lastPage = kv::Variant::arrayOf({"N1", "Footer one", "", "", "N"});
    ASSERT_EQ(controller->Run(run("20261207000012", values("F01", "", "", lastPage))), 0);
    EXPECT_EQ(pdfText(report("20261207000012")).count("Footer one"), 1);
}

TEST_F(ReportServerTest, RefusedRunsAnswerWhy) {
    EXPECT_EQ(controller->Run(run("20261207000021", values(""))), -1);
    EXPECT_EQ(controller->MessageText(), QStringLiteral("工厂不可空白!"));
    EXPECT_FALSE(QFile::exists(report("20261207000021")));

    // A job name that is no plain file name never leads outside the report directory.
    EXPECT_EQ(controller->Run(run("../escape", values("F01"))), -1);
    EXPECT_TRUE(controller->MessageText().contains("../escape"));
    EXPECT_FALSE(QFile::exists(dir->path() + "/escape.pdf"));

    EXPECT_EQ(controller->Run(kv::Variant::arrayOf({"x"})), -1);
    EXPECT_FALSE(controller->MessageText().isEmpty());
    // The next good run clears the message.
    EXPECT_EQ(controller->Run(run("20261207000022", values("F01"))), 0);
    EXPECT_TRUE(controller->MessageText().isEmpty());
}
