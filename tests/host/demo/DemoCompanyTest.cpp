#include <QDate>
#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/PgServer.h"
#include "common/TestSupport.h"
#include "frame/KvADO.h"
#include "host/demo/DemoCompany.h"
#include "host/schema/CompanySchema.h"
#include "platform/KvError.h"
#include "support/StewardINI.h"

using namespace kv::demo;

namespace {

DemoOptions options(quint32 seed, int lines = 60) {
    DemoOptions o;
    o.seed = seed;
    o.lines = lines;
    o.start = QDate(2026, 1, 5);
    return o;
}

QStringList rows(TKvADOConnection& c, const QString& sql) {
    TKvADOQuery q;
    q.SetConnection(&c);
    q.SetSQL(sql);
    q.Open();
    QStringList out;
    for (q.First(); !q.Eof(); q.Next()) {
        QStringList cells;
        for (int i = 0; i < q.FieldCount(); ++i)
            cells << q.Fields(i).AsString().trimmed();
        out << cells.join('|');
    }
    return out;
}

// Opens c on the company database of the demo installation in dir.
void openCompany(TKvADOConnection& c, const QString& dir) {
    c.SetConnectionString(sqliteConnectString(dir + "/DEMO.db"));
    c.Open();
}

} // namespace

TEST(DemoCompany, InstallationOpensThroughTheLauncherSettings) {
    QTemporaryDir dir;
    const DemoSummary s = writeDemoInstallation(dir.path(), options(5));
    EXPECT_EQ(s.lines, 60 + 8);
    testsupport::ScopedEnv registry("TARNIX_REGISTRY", (dir.path() + "/registry.ini").toUtf8());
    TStewardIniS settings;
    ASSERT_TRUE(settings.ErrorCode.isEmpty()) << settings.ErrorCode.toStdString();
    EXPECT_EQ(settings.InstallPath, dir.path() + "/");
    TKvADOConnection c;
    c.SetConnectionString(settings.GetConnectString());
    c.Open();
    EXPECT_EQ(rows(c, "SELECT COUNT(*) FROM DEMO..MPSTB WHERE TB001 = 'F01'"), QStringList({"60"}));
    EXPECT_EQ(rows(c, "SELECT MA001, MA002 FROM DEMO..CMSMA"), QStringList({"1|/"}));
}

TEST(DemoCompany, LinesFormTreesWhoseDaysAddUp) {
    QTemporaryDir dir;
    writeDemoInstallation(dir.path(), options(11, 200));
    TKvADOConnection c;
    openCompany(c, dir.path());
    // Day quantities add up to the production quantity, and the days lie within the bar.
    EXPECT_EQ(rows(c,
                   "SELECT COUNT(*) FROM MPSTB B WHERE TB026 <> (SELECT SUM(TC007) FROM MPSTC C WHERE "
                   "C.TC001 = B.TB001 AND C.TC002 = B.TB003 AND C.TC009 = B.TB051 AND C.TC003 = B.TB004 AND "
                   "C.TC004 = B.TB005 AND C.TC005 = B.TB037 AND C.TC006 BETWEEN B.TB013 AND B.TB014)"),
              QStringList({"0"}));
    // Every node below the root has its parent (its node minus 2 characters), which starts after it ends.
    EXPECT_EQ(
        rows(c, "SELECT COUNT(*) FROM MPSTB B WHERE LENGTH(TB037) > 2 AND NOT EXISTS (SELECT 1 FROM MPSTB P "
                "WHERE P.TB001 = B.TB001 AND P.TB003 = B.TB003 AND P.TB051 = B.TB051 AND P.TB004 = B.TB004 "
                "AND P.TB005 = B.TB005 AND P.TB037 = SUBSTR(B.TB037, 1, LENGTH(B.TB037) - 2) "
                "AND P.TB013 > B.TB014)"),
        QStringList({"0"}));
    // In-house types carry a work centre, outsourcing types an approved supplier, never both.
    EXPECT_EQ(
        rows(c,
             "SELECT COUNT(*) FROM MPSTB LEFT JOIN CMSMQ ON MQ001 = TB042 LEFT JOIN PURMA ON MA001 = TB045 "
             "WHERE MQ001 IS NULL OR (MQ017 = '1' AND (TB044 = '' OR TB045 <> '')) OR "
             "(MQ017 <> '1' AND (TB044 <> '' OR MA016 <> '1'))"),
        QStringList({"0"}));
    // Work centres are those of the line's factory.
    EXPECT_EQ(rows(c, "SELECT COUNT(*) FROM MPSTB LEFT JOIN CMSMD ON MD001 = TB044 WHERE TB044 <> '' AND "
                      "(MD003 IS NULL OR MD003 <> TB001)"),
              QStringList({"0"}));
    // Three resources per scheduled item, the main resource among them; the load covers every bar day.
    EXPECT_EQ(rows(c,
                   "SELECT COUNT(*) FROM MPSTB WHERE NOT EXISTS (SELECT 1 FROM MPSMC WHERE MC001 = TB006 AND "
                   "MC002 = TB036)"),
              QStringList({"0"}));
    EXPECT_EQ(rows(c, "SELECT MIN(N), MAX(N) FROM (SELECT COUNT(*) AS N FROM MPSMC GROUP BY MC001)"),
              QStringList({"3|3"}));
    EXPECT_EQ(
        rows(c, "SELECT COUNT(*) FROM MPSTC WHERE NOT EXISTS (SELECT 1 FROM MPSTD WHERE TD002 = TC006)"),
        QStringList({"0"}));
}

// A start near either end of the days the workbench shows (its chart ends at 4000-01-01) would give
// bars it cannot show or move: it is refused before anything is written; the first and the last start
// it takes keep every day within them.
TEST(DemoCompany, StartDaysNearTheEndsOfTheCalendarAreRefusedBeforeAnythingIsWritten) {
    for (const QDate start :
         {QDate(9999, 10, 20), QDate(3999, 10, 1), QDate(1899, 1, 1), QDate(1900, 6, 1)}) {
        QTemporaryDir dir;
        DemoOptions o = options(3);
        o.start = start;
        EXPECT_THROW(writeDemoInstallation(dir.path() + "/demo", o), EKvError)
            << start.toString().toStdString();
        EXPECT_FALSE(QDir(dir.path() + "/demo").exists()) << start.toString().toStdString();
    }
    for (const QDate start : {QDate(3999, 6, 1), QDate(1901, 1, 1)}) {
        QTemporaryDir dir;
        DemoOptions o = options(3);
        o.start = start;
        writeDemoInstallation(dir.path(), o);
        TKvADOConnection c;
        openCompany(c, dir.path());
        EXPECT_EQ(rows(c, "SELECT COUNT(*) FROM MPSTB WHERE TB013 < '18991231' OR TB014 > '39991231' OR "
                          "TB010 > '39991231'"),
                  QStringList({"0"}))
            << start.toString().toStdString();
        EXPECT_EQ(rows(c, "SELECT COUNT(*) FROM MPSTC WHERE TC006 < '18991231' OR LENGTH(RTRIM(TC006)) <> 8"),
                  QStringList({"0"}));
    }
}

// Capacities follow what the lines plan: a planner opening the demo sees a few overloaded busy days
// (and planned Sundays, which have no capacity), not a factory overloaded nearly everywhere.
TEST(DemoCompany, CapacitiesCoverMostWorkingDaysAndNotTheBusiestOnes) {
    QTemporaryDir dir;
    writeDemoInstallation(dir.path(), options(7, 400));
    TKvADOConnection c;
    openCompany(c, dir.path());
    // Each resource day with a plan: the lines' plan, the work already released, the capacity.
    const QStringList days = rows(
        c, "SELECT TD001, TD002, P, TD004 + TD006, TD003 FROM MPSTD JOIN (SELECT MC002 AS R, TC006 AS D, "
           "SUM(TC007 * MC004 / MC005) AS P FROM MPSTC JOIN MPSTB ON TB001 = TC001 AND TB003 = TC002 AND "
           "TB051 = TC009 AND TB004 = TC003 AND TB005 = TC004 AND TB037 = TC005 JOIN MPSMC ON MC001 = "
           "TB006 GROUP BY MC002, TC006) ON R = TD001 AND D = TD002");
    ASSERT_GT(days.size(), 100);
    int working = 0, over = 0;
    for (const QString& row : days) {
        const QStringList f = row.split('|');
        ASSERT_EQ(f.size(), 5);
        const bool sunday = QDate::fromString(f[1], "yyyyMMdd").dayOfWeek() == 7;
        EXPECT_EQ(f[4].toDouble() == 0, sunday) << row.toStdString();
        if (sunday) continue;
        ++working;
        if (f[2].toDouble() + f[3].toDouble() > f[4].toDouble()) ++over;
        // Never by a multiple of the day's capacity.
        EXPECT_LT(f[2].toDouble(), 3 * f[4].toDouble()) << row.toStdString();
    }
    EXPECT_GT(over, 0);
    EXPECT_LT(over * 5, working) << over << " of " << working << " working days overloaded";
    // The resource's own capacity is the one its working days carry.
    EXPECT_EQ(rows(c, "SELECT COUNT(*) FROM MPSTD JOIN MPSMB ON MB001 = TD001 WHERE TD003 <> 0 AND TD003 <> "
                      "MB007"),
              QStringList({"0"}));
}

// Plan rows do not name the factory: were a source document line planned in two factories, a save of
// one would replace the other's plan rows.
TEST(DemoCompany, EachSourceDocumentLineIsPlannedInOneFactory) {
    for (const quint32 seed : {11u, 22u, 33u}) {
        QTemporaryDir dir;
        writeDemoInstallation(dir.path(), options(seed, 20));
        TKvADOConnection c;
        openCompany(c, dir.path());
        EXPECT_EQ(rows(c, "SELECT COUNT(*) FROM (SELECT TB003 FROM MPSTB GROUP BY TB003, TB051, TB004, TB005 "
                          "HAVING COUNT(DISTINCT TB001) > 1)"),
                  QStringList({"0"}))
            << "seed " << seed;
    }
}

TEST(DemoCompany, SameSeedSameCompany) {
    QTemporaryDir a, b, c;
    writeDemoInstallation(a.path(), options(21));
    writeDemoInstallation(b.path(), options(21));
    writeDemoInstallation(c.path(), options(22));
    auto dump = [](const QString& dir) {
        TKvADOConnection conn;
        openCompany(conn, dir);
        return rows(conn,
                    "SELECT TB001,TB002,TB003,TB051,TB004,TB005,TB037,TB006,TB026,TB013,TB014,TB042,TB045 "
                    "FROM MPSTB ORDER BY TB001,TB002,TB037") +
               rows(conn, "SELECT TC003,TC005,TC006,TC007 FROM MPSTC ORDER BY TC003,TC004,TC005,TC006");
    };
    const QStringList first = dump(a.path());
    EXPECT_EQ(first, dump(b.path()));
    EXPECT_NE(first, dump(c.path()));
}

TEST(DemoCompany, SchemaOnlyAndOtherEngines) {
    QTemporaryDir dir;
    const DemoSummary s = writeDemoInstallation(dir.path(), options(1), true);
    EXPECT_EQ(s.lines, 0);
    TKvADOConnection c;
    openCompany(c, dir.path());
    EXPECT_EQ(rows(c, "SELECT COUNT(*) FROM MPSTB"), QStringList({"0"}));
    EXPECT_EQ(rows(c, "SELECT COUNT(*) FROM KVRINTMA"), QStringList({"0"}));

    testsupport::PgServer& pg = testsupport::PgServer::shared();
    if (!pg.installed()) GTEST_SKIP() << "PostgreSQL part skipped: " << pg.error().toStdString();
    ASSERT_TRUE(pg.available()) << pg.error().toStdString();
    TKvADOConnection server;
    server.SetConnectionString(pg.connectString(pg.createDatabase("demo")));
    server.Open();
    kv::schema::applyCompanySchema(server);
    const DemoSummary p = generateCompany(server, options(5));
    EXPECT_EQ(p.lines, 68);
    EXPECT_EQ(rows(server, "SELECT COUNT(*) FROM DEMO..MPSTB WHERE TB001 = 'F01'"), QStringList({"60"}));
}
