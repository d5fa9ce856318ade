// tarnix-client run as the user runs it, on the offscreen platform.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
#include "host/demo/DemoCompany.h"
#include "host/services/MessageTable.h"

namespace {

struct ClientRun {
    int exitCode = -1;
    QStringList out;
    QStringList err;
};

ClientRun runClient(const QStringList& args,
                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    QProcessEnvironment e = env;
    e.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(e);
    p.start(testsupport::binDir() + "/tarnix-client", args);
    ClientRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    r.err = QString::fromLocal8Bit(p.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    return r;
}

QString plugin() {
    return testsupport::binDir() + "/KRTA07C.so";
}

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // A demo installation: the module's session needs the company database and the server settings.
        kv::demo::DemoOptions options;
        options.lines = 4;
        options.company = "ACME";
        kv::demo::writeDemoInstallation(dir.path(), options);
        ASSERT_TRUE(QFile::exists(tarnix::messageTableFileName(dir.path())));
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(ClientTest, OpensTheFormAndExitsWhenItCloses) {
    const ClientRun r = runClient({"--install", dir.path(), "--plugin", plugin(), "--user", "ZZ", "--company",
                                   "ACME", "--auto-close", "200", "--trace"});
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    EXPECT_EQ(r.out, (QStringList{"notify 256", "registry=" + dir.filePath("registry.ini"),
                                  QStringLiteral("session=ZZ;ACME;KRTA07;MPS排程工作台"), "notify 272",
                                  "notify 288", "notify 304", "ResultCode=0", "ResultData="}));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.join('\n').toStdString();
}

TEST_F(ClientTest, ModalShowReportsTheModalResult) {
    const ClientRun r =
        runClient({"--install", dir.path(), "--plugin", plugin(), "--modal", "--auto-close", "200"});
    EXPECT_EQ(r.exitCode, 0);
    // The modal show lasts while the main form hands over to the workbench, until the auto-close shuts
    // the workbench and with it the main form, without a result of its own: cancel.
    EXPECT_EQ(r.out, (QStringList{"ModalResult=2", "ResultCode=0", "ResultData="}));
}

TEST_F(ClientTest, AGivenRegistryFileIsKept) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TARNIX_REGISTRY", dir.filePath("elsewhere.ini"));
    ASSERT_TRUE(QFile::copy(dir.filePath("registry.ini"), dir.filePath("elsewhere.ini")));
    const ClientRun r =
        runClient({"--install", dir.path(), "--plugin", plugin(), "--auto-close", "0", "--trace"}, env);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("registry=" + dir.filePath("elsewhere.ini")))
        << r.out.join('\n').toStdString();
}

TEST_F(ClientTest, FailuresAreOneLineAndANonZeroStatus) {
    const QString missing = dir.filePath("Missing.so");
    ClientRun r = runClient({"--install", dir.path(), "--plugin", missing});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1) << r.err.join('\n').toStdString();
    EXPECT_TRUE(r.err[0].startsWith("tarnix-client: cannot load the plug-in: " + missing))
        << r.err[0].toStdString();

    const QString noEntry = testsupport::binDir() + "/NoEntry.so";
    r = runClient({"--install", dir.path(), "--plugin", noEntry});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringList{"tarnix-client: " + noEntry + " does not export GetController"});

    r = runClient({"--install", dir.filePath("nowhere"), "--plugin", plugin()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.size(), 1);
    EXPECT_TRUE(r.out.isEmpty());

    r = runClient({"--auto-close", "soon"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, QStringList{"tarnix-client: --auto-close takes a number of milliseconds"});

    r = runClient({"--install", dir.path(), "--plugin", plugin(), "--user", " "});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, QStringList{"tarnix-client: --user takes a user code, not an empty one"});
}

TEST_F(ClientTest, FailuresOfTheModuleAreOneLineAndANonZeroStatus) {
    const QString faulty = testsupport::binDir() + "/FaultyModule.so";
    const auto runWith = [&](const char* fault) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TARNIX_TEST_FAULT", fault);
        return runClient({"--install", dir.path(), "--plugin", faulty}, env);
    };
    ClientRun r = runWith("controller");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringList{"tarnix-client: GetController failed: KVR DLL Internal Error : Not Assign "
                                 "\"DLLControllerClass\" varible"});
    r = runWith("formclass");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringList{"tarnix-client: OpenForm failed: KVR DLL Internal Error : Not Assign "
                                 "\"frmBaseGeneClass\" varible"});
    r = runWith("refuse");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringList{"tarnix-client: OpenForm answered -1: the module could not open its form"});
}

TEST_F(ClientTest, InstallationComesFromTheEnvironmentWhenNotGiven) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TARNIX_INSTALL", dir.filePath("nowhere"));
    const ClientRun r = runClient({"--plugin", plugin()}, env);
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.err.size(), 1);
    EXPECT_TRUE(r.err[0].contains(dir.filePath("nowhere")));
}

TEST_F(ClientTest, HelpNamesEveryOption) {
    const ClientRun r = runClient({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    const QString help = r.out.join('\n');
    for (const char* option :
         {"--install", "--plugin", "--user", "--company", "--database", "--extra", "--product-id", "--modal",
          "--auto-close", "--screenshot", "--script", "--trace", "TARNIX_INSTALL", "TARNIX_REGISTRY"})
        EXPECT_TRUE(help.contains(option)) << option;
}

TEST_F(ClientTest, ScreenshotShowsTheHostAndTheWorkbench) {
    const QString file = dir.filePath("shot.png");
    const ClientRun r = runClient(
        {"--install", dir.path(), "--plugin", plugin(), "--screenshot", file, "--auto-close", "3000"});
    EXPECT_EQ(r.exitCode, 0) << r.err.join('\n').toStdString();
    const QImage shot(file);
    ASSERT_FALSE(shot.isNull());
    // Both windows: the host window is 520 wide and the workbench (1100 by 760) sits apart from it.
    EXPECT_GT(shot.width(), 1100);
    EXPECT_GT(shot.height(), 700);
    // Painted windows, not an empty screen: the light window background dominates.
    int light = 0;
    for (int y = 0; y < shot.height(); y += 4)
        for (int x = 0; x < shot.width(); x += 4)
            light += qGray(shot.pixel(x, y)) > 200;
    EXPECT_GT(light, (shot.width() / 4) * (shot.height() / 4) / 2);
}
