// Loading a large factory: the lines and day rows read with bare Qt SQL iteration against the same
// rows loaded into client data sets, and keyed look-ups on the day rows.
// Prints {"lines", "day_rows", "generate_s", "bare_read_s", "dataset_load_s", "ratio", "locate_us", ...};
// the read, load and look-up times are processor time of the thread, best of three for the reads.
// locate_us looks up random day rows; locate_in_order_us goes through them line by line, day by day.
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>

#include "frame/KvADO.h"
#include "host/demo/DemoCompany.h"

namespace {

// Seconds of processor time of this thread: a shared build machine stretches wall time, not this.
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

const char* kLineSql =
    "SELECT TB001,TB002,TB003,TB051 , TB004,TB005,TB046,B.MB002 AS TB046C ,B.MB003 AS TB046C1 , TB008 ,TB049 "
    ", "
    "TB037 , TB006,A.MB002 AS TB006C , A.MB003 AS TB006C1 , TB026 , TB010 , TB013 , TB014 , TB034 , TB036 "
    ",TB039 , "
    "TB040 , TB027 , TB038, TB028, MPSTB.FLAG AS FLAG ,TB042,MQ002 AS TB042C, TB044,MD002 AS TB044C, "
    "TB045,MA002 AS "
    "TB045C,TB035,A.MB025 AS MB025C ,MQ017 AS MQ017C FROM DEMO..MPSTB AS MPSTB LEFT JOIN DEMO..INVMB AS A ON "
    "A.MB001 = TB006 LEFT JOIN DEMO..INVMB AS B ON B.MB001 = TB046 LEFT JOIN DEMO..CMSMD AS C ON C.MD001 = "
    "TB044 "
    "LEFT JOIN DEMO..PURMA AS D ON D.MA001 = TB045 LEFT JOIN DEMO..CMSMQ AS E ON E.MQ001 = TB042 WHERE TB001 "
    "= "
    ":TB001 AND :TB036 in (TB036,'') AND :TB004 IN (TB051+TB004+TB005,'') ORDER BY TB001 , TB002 ,TB003 , "
    "TB004 , "
    "TB005 , TB037 ";
const char* kDaySql =
    "SELECT TC001,TC002,TC009,TC003,TC004,TC005,TC006,TC007,TC008,FLAG FROM DEMO..MPSTC WHERE "
    "TC001 = :TC001 ";

// Reads every value of every row, as the least any reader does.
qint64 bareRead(TKvADOConnection& c, const QString& sql, const QVariantList& values, const QString& types) {
    const kv::ado::TranslatedSql& t = c.translated(sql, types);
    QSqlQuery q(c.database());
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    q.prepare(t.text);
    for (qsizetype i = 0; i < values.size(); ++i)
        q.bindValue(static_cast<int>(i), values[i]);
    q.exec();
    qint64 rows = 0;
    const int columns = q.record().count();
    volatile qsizetype sink = 0;
    while (q.next()) {
        for (int i = 0; i < columns; ++i)
            sink = sink + q.value(i).isNull();
        ++rows;
    }
    return rows;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains("--quick");
    const int lines = quick ? 2000 : 20000;
    const int locates = quick ? 100000 : 1000000;

    QTemporaryDir dir;
    kv::demo::DemoOptions options;
    options.lines = lines;
    options.seed = 42;
    options.start = QDate(2026, 1, 5);
    QElapsedTimer timer;
    timer.start();
    const kv::demo::DemoSummary summary = kv::demo::writeDemoInstallation(dir.path(), options);
    const double generateSeconds = timer.nsecsElapsed() / 1e9;

    TKvADOConnection connection;
    connection.SetConnectionString(kv::demo::sqliteConnectString(dir.filePath("DEMO.db")));
    connection.Open();

    const QVariantList lineParams = {QString("F01"), QString(""), QString("")};
    const QVariantList dayParams = {QString("F01")};
    // Best of three, against the noise of a shared machine; a first pass warms the caches.
    bareRead(connection, kLineSql, lineParams, "SSS");
    double bare = 1e9, load = 1e9;
    kv::TClientDataSet days, lineSet;
    TKvADOQuery lineSource, daySource;
    lineSource.SetConnection(&connection);
    daySource.SetConnection(&connection);
    kv::TDataSetProvider lineProvider, dayProvider;
    lineProvider.SetDataSet(&lineSource);
    dayProvider.SetDataSet(&daySource);
    lineProvider.BeforeGetRecords = [&](kv::TDataSetProvider&) {
        lineSource.SetSQL(kLineSql);
        lineSource.ParamByName("TB001").SetAsString("F01");
        lineSource.ParamByName("TB036").SetAsString("");
        lineSource.ParamByName("TB004").SetAsString("");
    };
    dayProvider.BeforeGetRecords = [&](kv::TDataSetProvider&) {
        daySource.SetSQL(kDaySql);
        daySource.ParamByName("TC001").SetAsString("F01");
    };
    lineSet.SetProvider(&lineProvider);
    days.SetProvider(&dayProvider);
    qint64 lineRows = 0, dayRows = 0;
    for (int round = 0; round < 3; ++round) {
        double t0 = cpuSeconds();
        lineRows = bareRead(connection, kLineSql, lineParams, "SSS");
        dayRows = bareRead(connection, kDaySql, dayParams, "S");
        bare = std::min(bare, cpuSeconds() - t0);
        lineSet.Close();
        days.Close();
        t0 = cpuSeconds();
        lineSet.Open();
        days.Open();
        load = std::min(load, cpuSeconds() - t0);
    }
    if (lineSet.RecordCount() != lineRows || days.RecordCount() != dayRows) {
        std::fprintf(stderr, "bench_data: data sets hold %d/%d rows, the queries gave %lld/%lld\n",
                     lineSet.RecordCount(), days.RecordCount(), static_cast<long long>(lineRows),
                     static_cast<long long>(dayRows));
        return 1;
    }

    // Keys of existing day rows, in random order, built before the clock starts.
    const QString keyFields = "TC001;TC002;TC009;TC003;TC004;TC005;TC006";
    std::vector<QVariantList> keys;
    keys.reserve(4096);
    std::mt19937 rng(7);
    for (int i = 0; i < 4096; ++i) {
        const int row = static_cast<int>(rng() % static_cast<unsigned>(days.RecordCount()));
        QVariantList key;
        for (int f = 0; f < 7; ++f)
            key << days.valueAt(row, f);
        keys.push_back(key);
    }
    days.Locate(keyFields, keys[0]); // builds the hash index, as the first look-up of a session does
    int found = 0;
    timer.restart();
    const double t0 = cpuSeconds();
    for (int i = 0; i < locates; ++i)
        found += days.Locate(keyFields, keys[static_cast<size_t>(i) & 4095]) ? 1 : 0;
    const double locateUs = (cpuSeconds() - t0) * 1e6 / locates;
    const double locateWallUs = timer.nsecsElapsed() / 1e3 / locates;
    // The workbench's own pattern: every day of every line in turn.
    std::vector<QVariantList> ordered;
    ordered.reserve(static_cast<size_t>(std::min(days.RecordCount(), locates)));
    for (int row = 0; row < days.RecordCount() && static_cast<int>(ordered.size()) < locates; ++row) {
        QVariantList key;
        for (int f = 0; f < 7; ++f)
            key << days.valueAt(row, f);
        ordered.push_back(key);
    }
    const double t1 = cpuSeconds();
    for (int i = 0; i < locates; ++i)
        found += days.Locate(keyFields, ordered[static_cast<size_t>(i) % ordered.size()]) ? 1 : 0;
    const double locateOrderedUs = (cpuSeconds() - t1) * 1e6 / locates;
    found /= 2;
    if (found != locates) {
        std::fprintf(stderr, "bench_data: %d of %d look-ups failed\n", locates - found, locates);
        return 1;
    }

    std::printf("{\"lines\": %lld, \"day_rows\": %lld, \"generate_s\": %.3f, \"bare_read_s\": %.4f, "
                "\"dataset_load_s\": %.4f, \"ratio\": %.3f, \"locate_us\": %.4f, \"locate_wall_us\": %.4f, "
                "\"locate_in_order_us\": %.4f, "
                "\"times\": \"processor time of the benchmark thread\"}\n",
                static_cast<long long>(lineRows), static_cast<long long>(dayRows), generateSeconds, bare,
                load, load / bare, locateUs, locateWallUs, locateOrderedUs);
    (void)summary;
    return 0;
}
