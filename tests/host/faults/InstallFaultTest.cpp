// Broken installations, run as the planner runs them: tarnix-client with a script on a copy of a demo
// installation that one mistake has spoiled. Whatever the mistake, the client neither crashes nor
// hangs, says what is wrong and where, and leaves the company database as it was.
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "common/PgServer.h"
#include "common/TestSupport.h"
#include "frame/KvADO.h"
#include "host/demo/DemoCompany.h"
#include "host/schema/CompanySchema.h"
#include "platform/CodePage.h"

namespace {

const QString kQuery = QStringLiteral("query F01\ndump\nclose\n");

struct FaultCase {
    FaultCase(QString name, std::function<void(const QString&)> spoil, int status, QStringList says,
              QString script = kQuery, QStringList args = {})
        : name(std::move(name)), spoil(std::move(spoil)), status(status), says(std::move(says)),
          script(std::move(script)), args(std::move(args)) {}
    QString name;
    // Spoils the installation in the folder it is given.
    std::function<void(const QString& dir)> spoil;
    int status;       // the exit status the run must end with
    QStringList says; // texts the run's messages must hold (%DIR% stands for the folder)
    QString script;   // what the planner does
    QStringList args; // more command-line arguments
};

struct FaultRun {
    int exitCode = -1; // -1 timed out, -2 crashed
    QString out, err, log;
    qint64 ms = 0;
};

QByteArray fileHash(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
}

// Every database file of the folder with its content, to tell that none was made or changed.
QMap<QString, QByteArray> databases(const QString& dir) {
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        const QString rel = QDir(dir).relativeFilePath(f);
        if (rel.startsWith("Log") || rel.startsWith("run.") || rel.startsWith("S_PKG") ||
            rel.endsWith(".Lng"))
            continue;
        files.insert(rel, fileHash(f));
    }
    return files;
}

void writeBytes(const QString& file, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << file.toStdString();
    f.write(bytes);
}

QByteArray readBytes(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray randomBytes(int n) {
    QByteArray b(n, 0);
    QRandomGenerator gen(20260302);
    for (char& c : b)
        c = char(gen.bounded(256));
    return b;
}

// Runs one statement on an SQLite file, as an administrator's tool would.
void sqliteExec(const QString& file, const QString& sql) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "spoil");
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(sql)) << sql.toStdString();
    }
    QSqlDatabase::removeDatabase("spoil");
}

// Replaces the value of one key in a settings file ("Key=value" on its own line).
void setKey(const QString& file, const QString& key, const QString& value) {
    QStringList lines = QString::fromUtf8(readBytes(file)).split('\n');
    for (QString& l : lines)
        if (l.startsWith(key + "=")) l = key + "=" + value;
    writeBytes(file, lines.join('\n').toUtf8());
}

class InstallFaultTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        base = new QTemporaryDir;
        kv::demo::DemoOptions options;
        options.lines = 12;
        options.start = QDate(2026, 3, 2);
        options.uiCodePage = 437; // English: the language files are read
        kv::demo::writeDemoInstallation(base->path(), options);
    }
    static void TearDownTestSuite() {
        delete base;
        base = nullptr;
    }

    // Runs every case on its own copy of the installation, a few at a time, and checks each.
    void runCases(const QList<FaultCase>& cases) {
        QElapsedTimer clock;
        clock.start();
        QTemporaryDir root;
        struct Running {
            const FaultCase* c;
            QString dir;
            QMap<QString, QByteArray> before;
            std::unique_ptr<QProcess> p;
            QElapsedTimer clock;
        };
        std::vector<Running> runs;
        for (const FaultCase& c : cases) {
            Running r{&c, root.filePath(c.name), {}, std::make_unique<QProcess>(), {}};
            copyInstallation(r.dir);
            c.spoil(r.dir);
            r.before = databases(r.dir);
            writeBytes(r.dir + "/run.script", c.script.toUtf8());
            runs.push_back(std::move(r));
        }
        size_t next = 0, done = 0;
        std::vector<Running*> active;
        while (done < runs.size()) {
            while (active.size() < 3 && next < runs.size()) {
                Running& r = runs[next++];
                start(*r.c, r.dir, *r.p);
                r.clock.start();
                active.push_back(&r);
            }
            for (auto it = active.begin(); it != active.end();) {
                Running& r = **it;
                if (r.p->state() != QProcess::NotRunning && r.clock.elapsed() < 45000) {
                    r.p->waitForFinished(20);
                    ++it;
                    continue;
                }
                if (r.p->state() != QProcess::NotRunning) {
                    r.p->kill();
                    r.p->waitForFinished();
                }
                FaultRun result;
                result.exitCode = r.clock.elapsed() >= 45000                  ? -1
                                  : r.p->exitStatus() == QProcess::NormalExit ? r.p->exitCode()
                                                                              : -2;
                result.out = QString::fromUtf8(r.p->readAllStandardOutput());
                result.err = QString::fromLocal8Bit(r.p->readAllStandardError());
                for (const QFileInfo& log : QDir(r.dir + "/Log").entryInfoList(QDir::Files))
                    result.log += QString::fromUtf8(readBytes(log.filePath()));
                result.ms = r.clock.elapsed();
                check(*r.c, r.dir, r.before, result);
                it = active.erase(it);
                ++done;
            }
        }
        std::printf("%d cases in %.1f s\n", int(cases.size()), clock.elapsed() / 1000.0);
    }

    static QTemporaryDir* base;

private:
    static void copyInstallation(const QString& to) {
        QDirIterator it(base->path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString from = it.next();
            const QString rel = QDir(base->path()).relativeFilePath(from);
            if (rel.startsWith("S_PKG")) continue; // the report server library: no report is made here
            QByteArray bytes = readBytes(from);
            // The settings name the installation's own folder.
            if (rel == "registry.ini" || rel.startsWith("Steward"))
                bytes.replace(QFile::encodeName(base->path()), QFile::encodeName(to));
            writeBytes(to + "/" + rel, bytes);
        }
    }

    static void start(const FaultCase& c, const QString& dir, QProcess& p) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("TARNIX_REGISTRY");
        env.insert("TARNIX_ACP", "437");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir);
        p.start(testsupport::binDir() + "/tarnix-client",
                QStringList{"--install", dir, "--script", dir + "/run.script"} + c.args);
    }

    static void check(const FaultCase& c, const QString& dir, const QMap<QString, QByteArray>& before,
                      const FaultRun& r) {
        SCOPED_TRACE(c.name.toStdString());
        const std::string all =
            ("stdout:\n" + r.out + "stderr:\n" + r.err + "alert log:\n" + r.log).toStdString();
        ASSERT_NE(r.exitCode, -1) << "timed out\n" << all;
        ASSERT_NE(r.exitCode, -2) << "crashed\n" << all;
        EXPECT_EQ(r.exitCode, c.status) << all;
        const QString said = r.out + r.err + r.log;
        for (QString text : c.says) {
            text.replace("%DIR%", QDir::toNativeSeparators(dir));
            EXPECT_TRUE(said.contains(text)) << "does not say \"" << text.toStdString() << "\"\n" << all;
        }
        // A failure is one line on stderr, as any failure of the client; a warning comes once.
        const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts).filter("tarnix-client:");
        EXPECT_EQ(lines.filter("tarnix-client: warning:").size(), said.contains("warning:") ? 1 : 0) << all;
        const int failures = int(lines.size() - lines.filter("tarnix-client: warning:").size());
        EXPECT_EQ(failures, c.status != 0 ? 1 : 0) << all;
        EXPECT_EQ(databases(dir), before) << "a database was made or changed\n" << all;
    }
};

QTemporaryDir* InstallFaultTest::base = nullptr;

TEST_F(InstallFaultTest, BrokenLauncherSettingsEndInAMessageNamingTheFile) {
    QTcpServer probe; // a port nobody listens on once the probe is closed
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const QString closedPort = QString::number(probe.serverPort());
    probe.close();
    const auto registryGone = [](const QString& d) { QFile::remove(d + "/registry.ini"); };
    const QString settings = "%DIR%/StewardS.ini";
    const QList<FaultCase> cases = {
        // Start-up message boxes are answered and printed, also before the first command.
        {"registry-missing",
         registryGone,
         1,
         {"message\terror\tThe client installation settings (Software\\KVR\\Steward) were not found",
          "%DIR%/registry.ini"}},
        {"registry-empty",
         [](const QString& d) { writeBytes(d + "/registry.ini", {}); },
         1,
         {"were not found", "%DIR%/registry.ini",
          "message\terror\tCannot connect to the application server"}},
        {"settings-missing",
         [](const QString& d) { QFile::remove(d + "/StewardS.ini"); },
         1,
         // The line on stderr gives the reason the box gave.
         {"tarnix-client: OpenForm answered -1: Cannot connect to the application server; the program will "
          "close. The server settings file %DIR%/StewardS.ini does not exist"}},
        {"settings-folder",
         [](const QString& d) {
             QFile::remove(d + "/StewardS.ini");
             QDir().mkpath(d + "/StewardS.ini");
         },
         1,
         {settings + " is a folder"}},
        {"settings-cut-short",
         [](const QString& d) { writeBytes(d + "/StewardS.ini", readBytes(d + "/StewardS.ini").left(60)); },
         1,
         {settings + " names no database server"}},
        {"settings-random-bytes",
         [](const QString& d) { writeBytes(d + "/StewardS.ini", randomBytes(600)); },
         1,
         {settings + " names no database server"}},
        {"settings-utf16",
         [](const QString& d) {
             const QString text = QString::fromUtf8(readBytes(d + "/StewardS.ini"));
             QByteArray utf16("\xFF\xFE");
             utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
             writeBytes(d + "/StewardS.ini", utf16);
         },
         1,
         {settings + " names no database server"}},
        // Written on a Chinese workstation, read on an English one: the folder's name comes out
        // garbled, and nothing is made under that name.
        {"settings-gbk-on-437",
         [](const QString& d) {
             QDir().mkpath(d + QStringLiteral("/数据"));
             QFile::rename(d + "/DEMO.db", d + QStringLiteral("/数据/DEMO.db"));
             const QString text = QString::fromUtf8(readBytes(d + "/StewardS.ini"))
                                      .replace(d + "/DEMO.db", d + QStringLiteral("/数据/DEMO.db"));
             writeBytes(d + "/StewardS.ini", kv::codepage::encode(text, 936));
         },
         1,
         {"%DIR%/", "/DEMO.db does not exist"}},
        {"server-path-missing-folder",
         [](const QString& d) { setKey(d + "/registry.ini", "ServerPath", d + "/gone/"); },
         1,
         {"%DIR%/gone/StewardS.ini does not exist"}},
        {"server-name-missing-folder",
         [](const QString& d) { setKey(d + "/StewardS.ini", "MainServerName", d + "/gone/DEMO.db"); },
         1,
         {"The SQLite file %DIR%/gone/DEMO.db does not exist"}},
        {"server-name-folder",
         [](const QString& d) {
             QDir().mkpath(d + "/folder.db");
             setKey(d + "/StewardS.ini", "MainServerName", d + "/folder.db");
         },
         1,
         {"%DIR%/folder.db is a folder"}},
        {"server-name-closed-postgresql-port",
         [closedPort](const QString& d) {
             setKey(d + "/StewardS.ini", "MainServerName", "pgsql:127.0.0.1:" + closedPort);
         },
         1,
         {"the PostgreSQL database DEMO on 127.0.0.1:" + closedPort, "Connection refused"}},
    };
    runCases(cases);
}

TEST_F(InstallFaultTest, AWrongPostgreSQLDatabaseNameOrALongUserCodeEndsInAMessage) {
    auto& pg = testsupport::PgServer::shared();
    if (!pg.installed()) GTEST_SKIP() << "PostgreSQL tests skipped: " << pg.error().toStdString();
    ASSERT_TRUE(pg.available()) << pg.error().toStdString();
    const QString port = QString::number(pg.port());
    // The demo company on the server, reached as the server's own user.
    const QString company = pg.createDatabase("faults");
    {
        TKvADOConnection c;
        c.SetConnectionString(pg.connectString(company));
        c.Open();
        kv::schema::applyCompanySchema(c);
        kv::demo::DemoOptions options;
        options.lines = 4;
        kv::demo::generateCompany(c, options);
    }
    const auto onServer = [port](const QString& database) {
        return [port, database](const QString& d) {
            setKey(d + "/StewardS.ini", "MainServerName", "pgsql:127.0.0.1:" + port);
            setKey(d + "/StewardS.ini", "MainUserName", "postgres");
            setKey(d + "/StewardS.ini", "MainDBName", database);
        };
    };
    runCases({{"server-wrong-database-name",
               onServer("NOSUCHCOMPANY"),
               1,
               {"the PostgreSQL database NOSUCHCOMPANY on 127.0.0.1:" + port,
                "database \"NOSUCHCOMPANY\" does not exist"}},
              // The server would refuse the code in the middle of the first save: refused at the start.
              {"server-user-code-too-long",
               onServer(company),
               1,
               {"message\terror\tThe user code \"PLANNER-0042\" is longer than the 10 characters", "MPSTB.CREATOR"},
               kQuery,
               {"--user", "PLANNER-0042"}},
              {"server-sound", onServer(company), 0, {"query\tF01\t"}}});
}

TEST_F(InstallFaultTest, BrokenCompanyDatabasesEndInAMessageAndAreNotMade) {
    const QString db = "the SQLite file %DIR%/DEMO.db";
    const QList<FaultCase> cases = {
        {"database-missing",
         [](const QString& d) { QFile::remove(d + "/DEMO.db"); },
         1,
         {"The SQLite file %DIR%/DEMO.db does not exist"}},
        {"database-empty",
         [](const QString& d) { writeBytes(d + "/DEMO.db", {}); },
         1,
         {"The SQLite file %DIR%/DEMO.db is empty"}},
        {"database-random-bytes",
         [](const QString& d) { writeBytes(d + "/DEMO.db", randomBytes(8192)); },
         1,
         {db, "file is not a database"}},
        {"database-cut-short",
         [](const QString& d) { writeBytes(d + "/DEMO.db", readBytes(d + "/DEMO.db").left(16384)); },
         1,
         {db, "malformed"}},
        // The session stands; the workbench finds the company parameters missing and ends it.
        {"database-without-CMSMA",
         [](const QString& d) { sqliteExec(d + "/DEMO.db", "DROP TABLE CMSMA"); },
         1,
         {"message\terror\tThe company database cannot be used: Cannot prepare the statement on " + db +
              ": no such table: CMSMA",
          "the workbench did not open"}},
        // The session stands and so does the workbench; its query names the file and what it lacks.
        {"database-without-MPSTB",
         [](const QString& d) { sqliteExec(d + "/DEMO.db", "DROP TABLE MPSTB"); },
         0,
         {"message\terror\tCannot prepare the statement on " + db + ": no such table: MPSTB",
          "query\tF01\t0 lines"}},
        // The days are read on a connection of their own, and fail the same way.
        {"database-without-MPSTC",
         [](const QString& d) { sqliteExec(d + "/DEMO.db", "DROP TABLE MPSTC"); },
         0,
         {"message\terror\tCannot prepare the statement on " + db + ": no such table: MPSTC",
          "query\tF01\t0 lines"}},
        // The host's rights table: the module's form is refused with the reason.
        {"database-without-KVRPOW",
         [](const QString& d) { sqliteExec(d + "/DEMO.db", "DROP TABLE KVRPOW"); },
         1,
         {"message\terror\tThe server could not process the request: " + db + ": no such table: KVRPOW",
          "tarnix-client: OpenForm answered -1: The server could not process the request: " + db}},
    };
    runCases(cases);
}

TEST_F(InstallFaultTest, BrokenLanguageFilesAreSkippedAndLogged) {
    const auto spoil = [](const char* form, QByteArray (*how)(const QByteArray&)) {
        return [form, how](const QString& d) {
            const QString file = d + "/MultiLanguage/ENG/" + form + ".Lng";
            writeBytes(file, how(readBytes(file)));
        };
    };
    const auto empty = [](const QByteArray&) { return QByteArray(); };
    const auto cut = [](const QByteArray& b) { return b.left(b.size() / 2); };
    const auto random = [](const QByteArray&) { return randomBytes(300); };
    const auto skipped = [](const char* form) {
        return QString("The language file %DIR%/MultiLanguage/ENG/%1.Lng is skipped").arg(form);
    };
    // In edit mode, a moved bar and then the daily editor, whose own file is broken: the edit stays.
    const QString dailyScript = "query F01\nedit\ndrag 0 1\ndaily 0 20260526=40\ndump\nanswer no\nclose\n";
    const QList<FaultCase> cases = {
        {"main-form-cut", spoil("TfrmKRTA07", cut), 0, {skipped("TfrmKRTA07"), "query\tF01\t12 lines"}},
        // The workbench keeps its built-in texts: its box asks in Chinese.
        {"workbench-empty",
         spoil("TfrmKrta07SM", empty),
         0,
         {skipped("TfrmKrta07SM"), QStringLiteral("message\twarning\t保存当前修改?\tno")},
         "query F01\nedit\nanswer no\nclose\n"},
        // Well-formed, but a text list's line number is garbled: that one text is ignored, and the
        // texts after it still apply (the box asks in English).
        {"workbench-line-beyond-any-list",
         [](const QString& d) {
             const QString file = d + "/MultiLanguage/ENG/TfrmKrta07SM.Lng";
             writeBytes(file, readBytes(file).replace("Lines_4=", "Lines_2147483647="));
         },
         0,
         {"12 lines", "message\twarning\tSave the current changes?\tno"},
         "query F01\nedit\nanswer no\nclose\n"},
        {"query-dialog-random", spoil("TfrmKrta07SQ", random), 0, {skipped("TfrmKrta07SQ"), "12 lines"}},
        {"daily-editor-random",
         spoil("TfrmKrta07SC", random),
         0,
         {skipped("TfrmKrta07SC"), "*\tF01\t1\t2201\t20260308001\t0001\t01\t20260525\t20260604\t20260525=40"},
         dailyScript},
        {"data-module-cut", spoil("TdmKrta07S", cut), 0, {skipped("TdmKrta07S"), "12 lines"}},
        {"option-form-empty", spoil("TfrmBaseGene", empty), 0, {skipped("TfrmBaseGene"), "12 lines"}},
        {"report-form-random", spoil("TfrmBaseRpt", random), 0, {skipped("TfrmBaseRpt"), "12 lines"}},
        {"batch-form-cut", spoil("TfrmBaseOpt", cut), 0, {skipped("TfrmBaseOpt"), "12 lines"}},
    };
    runCases(cases);
}

TEST_F(InstallFaultTest, UnusableSessionValuesAndMessageTablesAreRefusedWithAMessage) {
    const auto registryGone = [](const QString& d) { QFile::remove(d + "/registry.ini"); };
    const QList<FaultCase> cases = {
        // The name stands in every statement: it is refused before any runs.
        {"database-name-not-plain",
         [](const QString&) {},
         1,
         {"message\terror\tThe company database name \"DEMO, DELETE FROM MPSTB\" is not a plain name"},
         kQuery,
         {"--database", "DEMO; DELETE FROM MPSTB"}},
        {"database-name-with-dots",
         [](const QString&) {},
         1,
         {"\"DEMO..MPSTB\" is not a plain name"},
         kQuery,
         {"--database", "DEMO..MPSTB"}},
        {"user-code-too-long",
         [](const QString&) {},
         1,
         {"message\terror\tThe user code \"PLANNER-0042\" is longer than the 10 characters", "MPSTB.CREATOR"},
         kQuery,
         {"--user", "PLANNER-0042"}},
        // SQLite would store a company code of any length in every row a save writes.
        {"company-code-too-long",
         [](const QString&) {},
         1,
         {"message\terror\tThe company code \"" + QString(21, 'C') + "\" is longer than the 20 characters",
          "MPSTB.COMPANY"},
         kQuery,
         {"--company", QString(21, 'C')}},
        // Quantities typed into the daily editor that are no number: refused, nothing is stored.
        {"daily-quantity-two-points",
         [](const QString&) {},
         1,
         {"message\terror\tThe quantity is not a valid number: 1.2.3\tok",
          "the daily editor refused the days"},
         "query F01\nedit\ndaily 0 20260526=1.2.3\nanswer no\nclose\n"},
        {"daily-quantity-400-digits",
         [](const QString&) {},
         1,
         {"message\terror\tThe quantity is not a valid number: " + QString(40, '9') + "...\tok"},
         "query F01\nedit\ndaily 0 20260526=" + QString(400, '9') + "\nanswer no\nclose\n"},
        // An unreadable table: one warning, then the built-in texts (not "not in the message table").
        {"message-table-random-bytes",
         [registryGone](const QString& d) {
             writeBytes(d + "/Messages.txt", randomBytes(2000));
             registryGone(d);
         },
         1,
         {"warning: the message table %DIR%/Messages.txt cannot be read",
          "message\terror\tThe client installation settings (Software\\KVR\\Steward) were not found"}},
        // A table an older host wrote lacks the newer messages: they come from the built-in table.
        {"message-table-without-a-message",
         [registryGone](const QString& d) {
             QStringList lines = QString::fromUtf8(readBytes(d + "/Messages.txt")).split('\n');
             lines.removeIf([](const QString& l) { return l.startsWith("E\t000015\t"); });
             writeBytes(d + "/Messages.txt", lines.join('\n').toUtf8());
             registryGone(d);
         },
         1,
         {"message\terror\tThe client installation settings (Software\\KVR\\Steward) were not found"}},
        {"message-table-folder",
         [registryGone](const QString& d) {
             QFile::remove(d + "/Messages.txt");
             QDir().mkpath(d + "/Messages.txt");
             registryGone(d);
         },
         1,
         {"%DIR%/Messages.txt cannot be read (it is a folder)", "were not found"}},
    };
    runCases(cases);
}

} // namespace
