#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <system_error>

#include "common/TestSupport.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "support/StewardINI.h"

using kv::Variant;

namespace {

// An installation in a temporary directory: the registry file, the client and server folders.
class Install {
public:
    explicit Install(int systemCodePage = 1252, const QByteArray& registryExtra = {}) {
        kv::codepage::setSystemCodePageOverride(systemCodePage);
        client = FDir.filePath("client") + "/";
        server = FDir.filePath("server") + "/";
        QDir().mkpath(client);
        QDir().mkpath(server);
        registry("ClientPath=" + FDir.filePath("client").toUtf8() + "\nServerPath=" + server.toUtf8() + "\n" +
                 registryExtra);
    }
    ~Install() { kv::codepage::setSystemCodePageOverride(0); }

    void registry(const QByteArray& values) {
        testsupport::writeFile(FDir.filePath("registry.ini"),
                               "[HKEY_LOCAL_MACHINE\\Software\\KVR\\Steward]\n" + values);
    }
    void removeKey() {
        testsupport::writeFile(FDir.filePath("registry.ini"), "[HKEY_LOCAL_MACHINE\\Software\\Other]\nA=1\n");
    }
    void clientIni(const QByteArray& text, const QString& folder = {}) {
        testsupport::writeFile(client + folder + "StewardC.ini", text);
    }
    void serverIni(const QByteArray& text) { testsupport::writeFile(server + "StewardS.ini", text); }
    QString path(const QString& name) const { return FDir.filePath(name); }

    QString client;
    QString server;

private:
    QTemporaryDir FDir;
    testsupport::ScopedEnv FRegistry{"TARNIX_REGISTRY", FDir.filePath("registry.ini").toUtf8()};
    testsupport::ScopedEnv FTemp{"TMPDIR", FDir.path().toUtf8()};
};

QString today() {
    return kv::formatDateTime("yyyymmdd", kv::today());
}

} // namespace

TEST(StewardIni, MissingRegistryKeepsDefaultsAndSetsErrorCode) {
    Install install;
    install.removeKey(); // the file exists, the key does not
    for (auto* file : {"registry.ini", "nothing.ini"}) {
        testsupport::ScopedEnv env("TARNIX_REGISTRY", install.path(file).toUtf8());
        const TStewardIniC c;
        EXPECT_EQ(c.ErrorCode, "E;000015");
        EXPECT_EQ(c.InstallPath, "");
        EXPECT_EQ(c.ProfileType, "0");
        EXPECT_EQ(c.ProfileName, "Default");
        EXPECT_EQ(c.SystemCodePage, "437");
        EXPECT_EQ(c.UICodePage, "437");
        EXPECT_EQ(c.DBCodePage, "936");
        EXPECT_EQ(c.UIChangeType, 0);
        EXPECT_EQ(c.DataChangeType, 0);
        EXPECT_TRUE(c.ServerList.isEmpty());
        EXPECT_TRUE(c.WorkDLLPaths.isEmpty());
        const TStewardIniS s;
        EXPECT_EQ(s.ErrorCode, "E;000015");
        EXPECT_TRUE(s.DBSettings.isEmpty());
        EXPECT_EQ(s.GetMainServerName(), "");
    }
}

TEST(StewardIni, CodePagesAndChangeTypes) {
    {
        Install install(1252);
        const TStewardIniC c;
        EXPECT_EQ(c.ErrorCode, "");
        EXPECT_EQ(c.SystemCodePage, "437");
        EXPECT_EQ(c.UIChangeType, 0);
        EXPECT_EQ(c.DataChangeType, 0);
    }
    {
        Install install(936);
        install.clientIni("[CodePage]\nUICodePage=950\nDBCodePage=936\n");
        const TStewardIniC c;
        EXPECT_EQ(c.SystemCodePage, "936");
        EXPECT_EQ(c.UIChangeType, 2);
        EXPECT_EQ(c.DataChangeType, 2);
    }
    {
        Install install(950);
        install.serverIni("[codepage]\nuicodepage = 936\nDBCODEPAGE=950\n");
        const TStewardIniS s;
        EXPECT_EQ(s.SystemCodePage, "950");
        EXPECT_EQ(s.UIChangeType, 4);
        EXPECT_EQ(s.DataChangeType, 1);
    }
    {
        Install install(950);
        const TStewardIniC c; // no file: the interface follows the system
        EXPECT_EQ(c.UICodePage, "950");
        EXPECT_EQ(c.UIChangeType, 2);
        EXPECT_EQ(c.DataChangeType, 2);
    }
}

TEST(StewardIni, ClientReadsEveryKey) {
    Install install;
    install.clientIni(
        "garbage line without equals\n"
        "[Client Components]\nLangType=CHT\n=orphan value\n"
        "[ProductVersion]\nVersion=9.1\n"
        "[UserDefine]\nCreateGifBeforeSendEF=N\n"
        "[Server Information]\nSupportCallBack=yes\nComputerName= srv1;srv2; \nServerPort=2011\n"
        "[TaskMessageCenter Setting]\nAutoCheckNewMsg=0\nCheckInterval=5\nPopupMsg=0\nLoginCheck=1\n"
        "[WorkDLLPath]\nA=\\Pkg\\Sub\nB=/abs/dir\nC=rel\nD=C:\\Win\\Pkg\\\n");
    const TStewardIniC c;
    EXPECT_EQ(c.ErrorCode, "");
    EXPECT_EQ(c.InstallPath, install.client);
    EXPECT_EQ(c.ProfilePath, install.client);
    EXPECT_EQ(c.IniFileName, install.client + "StewardC.ini");
    EXPECT_EQ(c.LangType, "CHT");
    EXPECT_EQ(c.ProductVersion, "9.1");
    EXPECT_EQ(c.CreateGifBeforeSendEF, "N");
    EXPECT_TRUE(c.SupportCallBack);
    EXPECT_EQ(c.AutoCheckNewMsg, "0");
    EXPECT_EQ(c.CheckInterval, "5");
    EXPECT_EQ(c.PopupMsg, "0");
    EXPECT_EQ(c.LoginCheck, "1");
    ASSERT_TRUE(c.ServerList.isArray());
    EXPECT_EQ(c.ServerList.dimCount(), 2);
    EXPECT_EQ(c.ServerList.highBound(1), 1);
    EXPECT_EQ(c.ServerList.highBound(2), 1);
    EXPECT_EQ(c.ServerList.at(0, 0), Variant("srv1"));
    EXPECT_EQ(c.ServerList.at(0, 1), Variant("srv2"));
    EXPECT_EQ(c.ServerList.at(1, 0), Variant(2011));
    EXPECT_EQ(c.ServerList.at(1, 1), Variant(2011));
    EXPECT_EQ(c.WorkDLLPaths, (QStringList{install.client + "Pkg/Sub/", "/abs/dir/", install.client + "rel/",
                                           "C:/Win/Pkg/"}));
}

TEST(StewardIni, ClientDefaultsAndEmptyServerList) {
    Install install;
    {
        const TStewardIniC c; // no settings file at all
        EXPECT_EQ(c.ErrorCode, "");
        EXPECT_EQ(c.LangType, "ENG");
        EXPECT_EQ(c.CreateGifBeforeSendEF, "Y");
        EXPECT_FALSE(c.SupportCallBack);
        EXPECT_EQ(c.ServerList.at(0, 0), Variant("127.0.0.1"));
        EXPECT_EQ(c.ServerList.at(1, 0), Variant(211));
        EXPECT_EQ(c.ServerList.highBound(2), 0);
        EXPECT_EQ(c.WorkDLLPaths, QStringList{install.client + "C_PKG/"});
    }
    for (const QByteArray& list : {QByteArray(""), QByteArray("  ;  "), QByteArray(";")}) {
        install.clientIni("[Server Information]\nComputerName=" + list + "\nServerPort=abc\n");
        const TStewardIniC c;
        EXPECT_EQ(c.ErrorCode, "E;000016") << list.constData();
        EXPECT_TRUE(c.ServerList.isEmpty());
    }
    install.clientIni("[Server Information]\nComputerName=solo\nServerPort=abc\n");
    const TStewardIniC c;
    EXPECT_EQ(c.ServerList.at(1, 0), Variant(211));
    // An empty name between separators keeps its place: three servers, the second without a name.
    install.clientIni("[Server Information]\nComputerName=a;;b;\nServerPort=300\n");
    const TStewardIniC three;
    EXPECT_EQ(three.ErrorCode, "");
    ASSERT_EQ(three.ServerList.highBound(2), 2);
    EXPECT_EQ(three.ServerList.at(0, 0), Variant("a"));
    EXPECT_EQ(three.ServerList.at(0, 1), Variant(""));
    EXPECT_EQ(three.ServerList.at(0, 2), Variant("b"));
    EXPECT_EQ(three.ServerList.at(1, 1), Variant(300));
}

TEST(StewardIni, PerUserProfileFallsBackToTheInstallationFile) {
    Install install(1252, "ProfileType=1\n");
    testsupport::ScopedEnv user("USER", "alice");
    install.clientIni("[Client Components]\nLangType=CHS\n");
    {
        const TStewardIniC c;
        EXPECT_EQ(c.ProfileType, "1");
        EXPECT_EQ(c.ProfileName, "alice");
        EXPECT_EQ(c.ProfilePath, install.client + "Profile/alice/");
        EXPECT_EQ(c.IniFileName, install.client + "StewardC.ini");
        EXPECT_EQ(c.LangType, "CHS");
    }
    install.clientIni("[Client Components]\nLangType=CHT\n", "Profile/alice/");
    const TStewardIniC c;
    EXPECT_EQ(c.IniFileName, install.client + "Profile/alice/StewardC.ini");
    EXPECT_EQ(c.LangType, "CHT");
}

TEST(StewardIni, ServerDatabaseSettingsAndConnectString) {
    Install install;
    install.serverIni(
        "[DBE Setting]\nMainUserName=planner\nXXXXXX=" + EncodePassword("s3cret").toUtf8() +
        "\nMainDBName=DEMO\nMainServerName=dbhost\nMainDBType=oracle\nMainConnectionTimeOut=30\n"
        "TempPassword=" +
        EncodePassword("").toUtf8() +
        "\nEctPassword=as-stored\nOtherSystemControlAddress=other\n"
        "[DBPasswordCtrl]\nComputerName=  pwhost  \nServerPort=300\nSupportCallBack=TRUE\n"
        "[WorkDLLPath]\nP=\\SPkg\n");
    const TStewardIniS s;
    EXPECT_EQ(s.ErrorCode, "");
    EXPECT_EQ(s.InstallPath, install.server);
    const Variant& db = s.DBSettings;
    ASSERT_TRUE(db.isArray());
    EXPECT_EQ(db.highBound(1), 3);
    EXPECT_EQ(db.highBound(2), 7);
    EXPECT_EQ(db.at(0, 0), Variant("Vantor"));
    EXPECT_EQ(db.at(0, 1), Variant("planner"));
    EXPECT_EQ(db.at(0, 2), Variant("s3cret"));
    EXPECT_EQ(db.at(0, 7), Variant("3000"));
    EXPECT_EQ(db.at(1, 0), Variant("VantorTemp"));
    EXPECT_EQ(db.at(1, 2), Variant(""));
    EXPECT_EQ(db.at(1, 3), Variant("PARADOX"));
    EXPECT_EQ(db.at(1, 5), Variant("PostgreSQL"));
    EXPECT_EQ(db.at(2, 0), Variant("pwhost"));
    EXPECT_EQ(db.at(2, 1), Variant(300));
    EXPECT_EQ(db.at(2, 2), Variant(1024));
    EXPECT_EQ(db.at(2, 3), Variant("Chinese_Taiwan_Stroke_BIN"));
    EXPECT_EQ(db.at(3, 0), Variant("EDIDATA"));
    EXPECT_EQ(db.at(3, 2), Variant("as-stored"));
    EXPECT_TRUE(s.SupportCallBack);
    EXPECT_EQ(s.DBKind, 1);
    EXPECT_EQ(s.GetMainServerName(), "dbhost");
    EXPECT_EQ(s.SystemControlAddress, "dbhost");
    EXPECT_EQ(s.OtherSystemControlAddress, "other");
    EXPECT_EQ(
        s.GetConnectString(),
        "Provider=SQLOLEDB.1;Password=s3cret;Persist Security Info=True;User ID=planner;Initial Catalog=DEMO;"
        "Data Source=dbhost;Auto Translate=False;Connect Timeout=30;Extended Properties=\"Command "
        "Timeout=3000\"");
    QStringList paths{"old"};
    s.GetDLLPath(paths);
    EXPECT_EQ(paths, QStringList{install.server + "SPkg/"});
}

TEST(StewardIni, ServerDefaultsAndQuotedConnectValues) {
    Install install;
    {
        const TStewardIniS s;
        EXPECT_EQ(s.DBSettings.at(0, 1), Variant("sa"));
        EXPECT_EQ(s.DBSettings.at(0, 3), Variant("MSSQL"));
        EXPECT_EQ(s.DBSettings.at(0, 6), Variant("300"));
        EXPECT_EQ(s.DBSettings.at(2, 1), Variant(211));
        EXPECT_EQ(s.DBKind, 0);
        EXPECT_EQ(s.WorkDLLPaths, QStringList{install.server + "S_PKG/"});
        EXPECT_EQ(s.SystemControlAddress, "");
    }
    install.serverIni("[DBE Setting]\nMainDBType=Db2\nXXXXXX=" + EncodePassword("a;b\"c").toUtf8() + "\n");
    const TStewardIniS s;
    EXPECT_EQ(s.DBKind, 2);
    // A password holding ";" must not end its item early.
    EXPECT_TRUE(
        s.GetConnectString().startsWith("Provider=SQLOLEDB.1;Password=\"a;b\"\"c\";Persist Security Info"))
        << s.GetConnectString().toStdString();
}

TEST(Passwords, ScrambleRotatesEachByteByItsPosition) {
    kv::codepage::setSystemCodePageOverride(936);
    // 'A' = 0x41: rotated right by 1 is 0xa0, by 2 is 0x50, and by 8 (= 0) stays 0x41.
    EXPECT_EQ(EncodePassword("A"), "a0");
    EXPECT_EQ(EncodePassword("AA"), "a050");
    EXPECT_EQ(EncodePassword("AAAAAAAA").right(2), "41");
    EXPECT_EQ(DecodePassword("A050"), "AA");
    for (const QString& text : {QString("s3cret"), QString("x"), QString(" spaced out "),
                                QString::fromUtf8("密码口令"), QString("0123456789abcdefghij~!@#$%^&*()")}) {
        const QString scrambled = EncodePassword(text);
        EXPECT_EQ(scrambled, scrambled.toLower());
        EXPECT_EQ(DecodePassword(scrambled), text) << text.toStdString();
    }
    EXPECT_EQ(EncodePassword("").size(), 2 * 36);
    EXPECT_EQ(DecodePassword(EncodePassword("")), "");
    EXPECT_EQ(DecodePassword(""), "");
    kv::codepage::setSystemCodePageOverride(0);
}

TEST(Passwords, UnreadableScrambleIsReportedWithoutItsDigits) {
    Install install;
    install.removeKey(); // no key: the log goes to the temporary directory
    EXPECT_EQ(DecodePassword("a0zz"), "KV_Say_Password_Error");
    EXPECT_EQ(DecodePassword("a0-1"), "KV_Say_Password_Error");
    const QString log = QString::fromUtf8(
        testsupport::readFile(install.path("Log/Alert_VADUREvuriveve_" + today() + ".log")));
    const QStringList lines = log.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 6);
    EXPECT_TRUE(lines[0].endsWith("] ---------------------------------- ----------------------------------"));
    EXPECT_TRUE(lines[1].endsWith(QString::fromUtf8("] 讯息信息:")));
    EXPECT_TRUE(lines[2].endsWith("] Exception is EKvError"));
    EXPECT_TRUE(lines[3].startsWith("Message 01: "));
    EXPECT_TRUE(lines[4].endsWith("] ErrorMessage Count: 1"));
    EXPECT_TRUE(lines[5].endsWith(QString::fromUtf8("] Programer Message: 解析 Sa 时发生错误!")));
    EXPECT_FALSE(log.contains("zz"));
}

TEST(AlertLog, ExceptionKindsAndLocation) {
    Install install; // ClientPath names the log directory
    ASSERT_TRUE(WriteAlertLog("plain line"));
    WriteExceptionLog("TfrmKrta07SM.btnSaveClick", std::system_error(13, std::generic_category(), "open"),
                      " ");
    const QStringList lines =
        QString::fromUtf8(
            testsupport::readFile(install.client + "Log/Alert_VADUREvuriveve_" + today() + ".log"))
            .split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(
        QRegularExpression(R"(^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\] plain line$)").match(lines[0]).hasMatch());
    EXPECT_TRUE(lines[1].endsWith("] ---------------------------------- TfrmKrta07SM.btnSaveClick on "
                                  "----------------------------------"));
    EXPECT_TRUE(lines[3].contains("] EWin32Error Error 01: Code: 13, Message: open"));
    EXPECT_TRUE(lines[4].endsWith("] ErrorMessage Count: 1"));
}
