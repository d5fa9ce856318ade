#include "BenchSave.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>

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

// Moves one unit from the first day with a quantity to the next day of 100 lines spread over the
// factory, so every sum still holds, and recomputes their consumption as an edit does.
void change100Lines(TfrmKrta07SM* wb) {
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
    }
}

struct Times {
    double first = -1, save100 = -1, saveNone = -1, reload = -1;
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
    wb->btnEditClick();
    change100Lines(wb);
    clock.restart();
    const bool changedOk = wb->SaveChanges();
    t.save100 = seconds(clock);
    clock.restart();
    wb->ReloadSchedule();
    t.reload = seconds(clock);
    if (!firstOk || !noneOk || !changedOk || watch.failed) t.first = t.save100 = t.saveNone = -1;
    return t;
}

QString members(const Times& t, const QString& suffix) {
    return QString(", \"save_100_s%1\": %2, \"save_none_s%1\": %3, \"reload_s%1\": %4, "
                   "\"first_save_s%1\": %5")
        .arg(suffix)
        .arg(t.save100, 0, 'f', 3)
        .arg(t.saveNone, 0, 'f', 3)
        .arg(t.reload, 0, 'f', 3)
        .arg(t.first, 0, 'f', 3);
}

} // namespace

QString BenchSave(TfrmKrta07SM* wb, const QStringList& arguments, int lines) {
    QString json = members(timeSaves(wb), QString());
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
    pgWb->FDBName = QStringLiteral("DEMO");
    pgWb->FUserID = QStringLiteral("DS");
    pgWb->FCompany = QStringLiteral("DEMO");
    pgWb->InitWorkbench();
    pgWb->OnProgress = wb->OnProgress;
    pgWb->SetQueryConditions({QStringLiteral("F01"), QString(), QString(), QString(), QString()});
    pgWb->LoadSchedule(QStringLiteral("F01"));
    json += members(timeSaves(pgWb), QStringLiteral("_pg"));
    delete pgWb;
    return json;
}
