// Loading a large factory into the workbench: the whole load, then its steps one by one (fetching
// the lines, building the Gantt rows, computing the plan consumption, the time span), against a
// bare SQL read of the same rows; then the per-line operations a planner waits for.
// Prints {"lines", "day_rows", "load_s", "fetch_s", "build_gantt_s", "consumption_s", "time_span_s",
// "bare_read_s", "ratio_to_bare_read", "line_recompute_ms", "highlight_ms", "chart_refresh_ms",
// "peak_rss_mb"}, the save timings of BenchSave.h and the drag timing of BenchDrag.h: wall time
// on an otherwise idle machine; the per-line times are medians.
#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

#include "BenchDrag.h"
#include "BenchSave.h"
#include "controls/KvEdit.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "host/demo/DemoCompany.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"

namespace {

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

// Reads every value of every row, as the least any reader does.
qint64 bareRead(TKvADOConnection& c, const QString& sql, const QVariantList& values, const QString& types) {
    const kv::ado::TranslatedSql& t = c.translated(sql, types);
    QSqlQuery q(c.database());
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    q.prepare(t.text);
    for (qsizetype i = 0; i < values.size(); ++i)
        q.bindValue(int(i), values[i]);
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

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool quick = app.arguments().contains("--quick");
    QTemporaryDir dir;
    kv::demo::DemoOptions options;
    options.lines = quick ? 2000 : 20000;
    options.seed = 42;
    options.start = QDate(2026, 1, 5);
    kv::demo::writeDemoInstallation(dir.path(), options);
    const QString cs = kv::demo::sqliteConnectString(dir.filePath("DEMO.db"));

    auto* wb = new TfrmKrta07SM(nullptr, cs);
    wb->FDBName = "DEMO";
    wb->InitWorkbench();
    wb->resize(1200, 800);
    wb->show();
    QCoreApplication::processEvents();
    wb->SetQueryConditions({"F01", "", "", "", ""});
    TdmKrta07S& dm = *wb->dmKrta07S;
    // --trace prints when each step of a load or save begins, to see where the time goes.
    QElapsedTimer traceClock;
    QString traceStep;
    if (app.arguments().contains("--trace")) {
        traceClock.start();
        wb->OnProgress = [&](const QString& step, int, int) {
            if (step == traceStep) return;
            traceStep = step;
            std::fprintf(stderr, "%8.3f %s\n", seconds(traceClock), qPrintable(step));
        };
    }

    // Warm-up, so the second query has its range (as any later query does) and caches are warm.
    wb->LoadSchedule("F01");
    QElapsedTimer t;
    t.start();
    wb->LoadSchedule("F01");
    const double load = seconds(t);

    // The same steps one at a time.
    t.restart();
    dm.qryMPSTB->Close();
    dm.qryMPSTBPre->Close();
    dm.qryMPSTB->Open();
    dm.qryMPSTBPre->Open();
    dm.SetupFields();
    const double fetch = seconds(t);
    t.restart();
    wb->BuildGantt("F01");
    const double build = seconds(t);
    t.restart();
    wb->RecomputeAllConsumption();
    wb->LinkParentBars();
    const double consumption = seconds(t);
    t.restart();
    wb->ComputeTimeSpan();
    const double timeSpan = seconds(t);

    TKvADOConnection bareConnection;
    bareConnection.SetConnectionString(cs);
    bareConnection.Open();
    TKvADOQuery lineSql, daySql;
    t.restart();
    const qint64 lineRows = bareRead(bareConnection, dm.qryMPSTBSource->SQL(), {"F01", "", ""}, "SSS");
    const qint64 dayRows = bareRead(bareConnection, dm.qryMPSTC->SQL(), {"F01"}, "S");
    const double bare = seconds(t);

    // Per-line operations on lines spread over the factory.
    const int n = dm.qryMPSTB->RecordCount();
    std::vector<double> highlight, recompute, chart;
    for (int k = 1; k <= 20; ++k) {
        const int row = int((qint64(n) * k) / 21);
        t.restart();
        wb->SelectRow(row);
        highlight.push_back(seconds(t) * 1000);
        // The small chart redraws once the window is idle; timed on its own.
        t.restart();
        wb->FlushLoadChart();
        chart.push_back(seconds(t) * 1000);
        TMyGantItem* item = wb->mgMPSTC->MyGantList()->Items(row);
        if (item && item->CellCount() > 0) item->SetDayTexts("7", "", item->CellStart(0));
        t.restart();
        wb->RecomputeLineConsumption();
        recompute.push_back(seconds(t) * 1000);
    }

    const QString saveJson = BenchSave(wb, app.arguments(), options.lines);
    const QString dragJson = BenchDrag(wb, "F01");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    if (lineRows != n) {
        std::fprintf(stderr, "bench_workbench: loaded %d lines, the query gave %lld\n", n,
                     (long long)lineRows);
        return 1;
    }
    std::printf(
        "{\"lines\": %d, \"day_rows\": %lld, \"load_s\": %.3f, \"fetch_s\": %.3f, \"build_gantt_s\": %.3f, "
        "\"consumption_s\": %.3f, \"time_span_s\": %.3f, \"bare_read_s\": %.3f, "
        "\"ratio_to_bare_read\": %.2f, \"line_recompute_ms\": %.2f, \"highlight_ms\": %.2f, "
        "\"chart_refresh_ms\": %.2f, \"peak_rss_mb\": %.1f%s%s}\n",
        n, (long long)dayRows, load, fetch, build, consumption, timeSpan, bare, bare > 0 ? load / bare : 0,
        median(recompute), median(highlight), median(chart), double(usage.ru_maxrss) / 1024.0,
        qPrintable(saveJson), qPrintable(dragJson));
    delete wb;
    return 0;
}
