#include "BenchSave.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "controls/KvEdit.h"
#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "host/demo/DemoCompany.h"
#include "host/schema/CompanySchema.h"
#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"

namespace {

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

// A save that fails shows a message box: it is reported and closed, so the run ends.
class BoxWatch {
public:
    BoxWatch() : FTimer(std::make_unique<QTimer>()) {
        QObject::connect(FTimer.get(), &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                std::fprintf(stderr, "bench_workbench: %s\n", qPrintable(box->text()));
                failed = true;
                box->done(QMessageBox::Yes);
            }
        });
        FTimer->start(50);
    }
    bool failed = false;

private:
    std::unique_ptr<QTimer> FTimer;
};

// A day quantity a save is to write.
struct Expected {
    QStringList line; // TB001, TB003, TB051, TB004, TB005, TB037
    QString day;
    double quantity;
};

// Moves one unit from the first day with a quantity to the next day of 100 lines spread over the
// factory, so every sum still holds, and recomputes their consumption as an edit does.
std::vector<Expected> change100Lines(TfrmKrta07SM* wb) {
    std::vector<Expected> expected;
    const int n = wb->dmKrta07S->qryMPSTB->RecordCount();
    for (int k = 0; k < 100 && k < n; ++k) {
        const int row = int((qint64(n) * k) / 100);
        TMyGantItem* item = wb->mgMPSTC->MyGantList()->Items(row);
        if (!item || item->CellCount() < 2) continue;
        const kv::TDateTime a = item->CellStart(0), b = item->CellStart(1);
        const double qa = item->GetDayValue(a), qb = item->GetDayValue(b);
        if (qa < 1) continue;
        wb->SelectRow(row);
        item->SetDayTexts(QString::number(qa - 1), QString(), a);
        item->SetDayTexts(QString::number(qb + 1), QString(), b);
        wb->RecomputeLineConsumption();
        const QStringList line = wb->RowKeys()[row].split(Krta07KeySeparator);
        expected.push_back({line, Krta07DayText(a), qa - 1});
        expected.push_back({line, Krta07DayText(b), qb + 1});
    }
    return expected;
}

// The changed days as the database holds them after the save; what differs, empty when nothing.
QString checkExpected(TfrmKrta07SM* wb, const std::vector<Expected>& expected) {
    TKvADOQuery q;
    q.SetConnection(wb->dmKrta07S->dbKrta07);
    q.SetSQL(wb->dmKrta07S->ExpandSQL(
        "SELECT TC007 FROM $$MPSTC WHERE TC001 =:A AND TC002 =:B AND TC009 =:C AND TC003 =:D AND TC004 =:E "
        "AND TC005 =:F AND TC006 =:G"));
    for (const Expected& e : expected) {
        q.Close();
        for (int i = 0; i < 6; ++i)
            q.Params(i).SetAsString(e.line.value(i));
        q.Params(6).SetAsString(e.day);
        q.Open();
        const double stored = q.IsEmpty() ? 0 : q.Fields(0).AsFloat();
        if (stored != e.quantity)
            return QString("the save wrote %1 on %2 of line %3, not %4")
                .arg(stored)
                .arg(e.day, e.line.join('-'))
                .arg(e.quantity);
    }
    return {};
}

// A 100-line save is timed this many times; one run on a shared machine is as much noise as save.
constexpr int kSave100Runs = 3;

struct Times {
    double first = -1, save100 = -1, saveNone = -1, reload = -1, resourceQuery = -1;
    std::vector<double> save100Runs; // in the order they ran; save100 is their median
    QString failure; // what went wrong, empty when the saves wrote what they should
};

Times timeSaves(TfrmKrta07SM* wb) {
    Times t;
    BoxWatch watch;
    QElapsedTimer clock;
    // From the factory as stored: earlier steps may have left days that no longer add up.
    wb->ReloadSchedule();
    // The generated factory has never been saved: its first save writes every plan row, once. The
    // saves after it are the ones a planner makes day by day.
    wb->btnEditClick();
    clock.start();
    const bool firstOk = wb->SaveChanges();
    t.first = seconds(clock);
    wb->btnEditClick();
    clock.restart();
    const bool noneOk = wb->SaveChanges();
    t.saveNone = seconds(clock);
    bool changedOk = true;
    for (int run = 0; run < kSave100Runs && changedOk && t.failure.isEmpty(); ++run) {
        wb->btnEditClick();
        const std::vector<Expected> expected = change100Lines(wb);
        clock.restart();
        changedOk = wb->SaveChanges();
        t.save100Runs.push_back(seconds(clock));
        if (changedOk && !watch.failed) t.failure = checkExpected(wb, expected);
    }
    std::vector<double> sorted = t.save100Runs;
    std::sort(sorted.begin(), sorted.end());
    t.save100 = sorted[sorted.size() / 2];
    clock.restart();
    wb->ReloadSchedule();
    t.reload = seconds(clock);
    // A query of one main resource after the saves: the other lines' plan rows are read apart then.
    const QString factory = wb->edMB001->text();
    const QString resource = wb->dmKrta07S->qryMPSTB->FieldByName(QStringLiteral("TB036")).AsString();
    wb->SetQueryConditions({factory, QString(), resource, QString(), QString()});
    clock.restart();
    wb->LoadSchedule(factory);
    t.resourceQuery = seconds(clock);
    if (wb->dmKrta07S->qryMPSTB->RecordCount() == 0)
        t.failure = "the query of " + resource + " listed no line";
    wb->SetQueryConditions({factory, QString(), QString(), QString(), QString()});
    wb->LoadSchedule(factory);
    if (!firstOk || !noneOk || !changedOk || watch.failed) {
        t.first = t.save100 = t.saveNone = -1;
        t.failure = "a save failed";
    }
    return t;
}

QString members(const Times& t, const QString& suffix) {
    QStringList runs;
    for (double run : t.save100Runs)
        runs << QString::number(run, 'f', 3);
    return QString(", \"save_100_s%1\": %2, \"save_100_runs_s%1\": [%3], \"save_none_s%1\": %4, "
                   "\"reload_s%1\": %5, \"first_save_s%1\": %6, \"resource_query_s%1\": %7")
        .arg(suffix)
        .arg(t.save100, 0, 'f', 3)
        .arg(runs.join(QStringLiteral(", ")))
        .arg(t.saveNone, 0, 'f', 3)
        .arg(t.reload, 0, 'f', 3)
        .arg(t.first, 0, 'f', 3)
        .arg(t.resourceQuery, 0, 'f', 3);
}

} // namespace

QString BenchSave(TfrmKrta07SM* wb, const QStringList& arguments, int lines, QString& failure) {
    const Times local = timeSaves(wb);
    failure = local.failure;
    QString json = members(local, QString());
    const qsizetype pg = arguments.indexOf(QStringLiteral("--pg"));
    if (pg < 0 || pg + 1 >= arguments.size()) return json;
    const QString cs = arguments[pg + 1];
    {
        TKvADOConnection c;
        c.SetConnectionString(cs);
        c.Open();
        kv::schema::applyCompanySchema(c);
        kv::demo::DemoOptions options;
        options.lines = lines;
        options.seed = 42;
        options.start = QDate(2026, 1, 5);
        kv::demo::generateCompany(c, options);
    }
    auto* pgWb = new TfrmKrta07SM(nullptr, cs);
    pgWb->SetDBName(QStringLiteral("DEMO"));
    pgWb->SetUserID(QStringLiteral("DS"));
    pgWb->SetCompany(QStringLiteral("DEMO"));
    pgWb->InitWorkbench();
    pgWb->OnProgress = wb->OnProgress;
    pgWb->SetQueryConditions({QStringLiteral("F01"), QString(), QString(), QString(), QString()});
    pgWb->LoadSchedule(QStringLiteral("F01"));
    const Times server = timeSaves(pgWb);
    if (failure.isEmpty() && !server.failure.isEmpty()) failure = server.failure + " (PostgreSQL)";
    json += members(server, QStringLiteral("_pg"));
    delete pgWb;
    return json;
}
