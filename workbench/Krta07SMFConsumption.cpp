// The workbench's side of plan consumption: the computation (TKrta07Consumption) fed with the
// workbench's sets and bars, and what shows its result, the small chart and the overload marks.
#include <QHash>
#include <cmath>

#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "lang/CodeConverter.h"
#include "platform/Numbers.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "workbench/Krta07Consumption.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFCharts.h"
#include "workbench/Krta07SMFPlan.h"
#include "workbench/Krta07SMFStored.h"

namespace {

using LoadKey = TKrta07LoadKey;

// Puts the changed days of the shown resource on the small chart in place, as a full redraw would
// show them; a chart that shows another resource or window, or waits for a redraw, is redrawn whole.
void refreshChartDays(TfrmKrta07SM& wb, const QString& resource, const std::vector<LoadKey>& days) {
    TKrta07LoadChart& chart = *wb.ctMPSTC;
    kv::TClientDataSet& load = *wb.dmKrta07S->qryMPSTD;
    const int n = int(kv::roundHalfEven(wb.mgMPSTC->Stop() - wb.mgMPSTC->Start()));
    const qint64 first = qint64(std::floor(wb.mgMPSTC->Start()));
    if (chart.RefreshPending || resource.isEmpty() || chart.ShownResource != resource ||
        chart.ShownFirstDay != first || chart.Values().DaysPerBar != 1 ||
        chart.Values().Days.size() != n + 1 || !load.Active()) {
        wb.RefreshLoadChart();
        return;
    }
    kv::TField* f[4] = {
        &load.FieldByName(QStringLiteral("TD004")), &load.FieldByName(QStringLiteral("TD006")),
        &load.FieldByName(QStringLiteral("TD005")), &load.FieldByName(QStringLiteral("TD007"))};
    const int bookmark = load.IsEmpty() ? -1 : load.Bookmark();
    for (const LoadKey& k : days) {
        if (k.resource != resource) continue;
        const qint64 index = qint64(std::floor(TransDateIn(k.day))) - first;
        if (index < 0 || index > n) continue;
        if (load.Locate(QStringLiteral("TD001;TD002"), QVariantList{k.resource, k.day}))
            chart.SetDayValues(int(index), f[0]->AsFloat(), f[1]->AsFloat(), f[2]->AsFloat(),
                               f[3]->AsFloat());
        else
            chart.SetDayValues(int(index), 0, 0, 0, 0);
    }
    if (bookmark >= 0) load.GotoBookmark(bookmark);
}

} // namespace

void TfrmKrta07SM::InitConsumption() {
    TdmKrta07S& dm = *dmKrta07S;
    TKrta07Consumption::TSources sources;
    sources.Lines = dm.qryMPSTB;
    sources.Plan = dm.qryMPSTF;
    sources.Load = dm.qryMPSTD;
    sources.RowOfLine = [this](const QString& lineKey) { return FRowOfKey.value(lineKey, -1); };
    sources.DayQuantities = [this](int row, std::vector<TKrta07DayQuantity>& days) {
        DayQuantities(row, days);
    };
    sources.ItemResources = [&dm](const QString& item) -> const std::vector<TItemResource>& {
        return dm.ItemResources(item);
    };
    sources.DaysGeneration = [this] { return mgMPSTC->MyGantList()->Generation(); };
    sources.ResourcesGeneration = [&dm] { return dm.ItemResourcesGeneration(); };
    sources.OtherPlans = [this]() -> const TKrta07OtherPlans& { return OtherPlans(); };
    sources.Progress = [this](int done, int total) {
        progress(QStringLiteral("Computing consumption"), done, total);
    };
    FConsumption = std::make_unique<TKrta07Consumption>(std::move(sources));
}

void TfrmKrta07SM::DayQuantities(int row, std::vector<TKrta07DayQuantity>& days) const {
    days.clear();
    const TMyGantItem* item = mgMPSTC->MyGantList()->Items(row);
    if (!item) return;
    for (int k = 0; k < item->CellCount(); ++k) {
        const kv::TDateTime day = item->CellStart(k);
        if (const double q = item->GetDayValue(day); q != 0) days.push_back({day, q});
    }
}

const QStringList& TfrmKrta07SM::ConsumptionKeys() const {
    static const QStringList none;
    return FConsumption ? FConsumption->Keys() : none;
}

void TfrmKrta07SM::RecomputeAllConsumption(bool keepLoadedFlags) {
    FConsumption->ComputeAll(keepLoadedFlags);
    dmKrta07S->SetupFields(); // the plan rows' set may have opened for the first time
    CountOverloads();
}

void TfrmKrta07SM::RecomputeLineConsumption() {
    // With a converted interface the texts in the sets are not the stored ones; the next full
    // computation puts the line right.
    if (KvConverter && KvConverter->UICodePage != KvConverter->SystemCodePage) return;
    TdmKrta07S& dm = *dmKrta07S;
    const int row = CurrentRowIndex();
    if (!mgMPSTC->MyGantList()->Items(row) || !dm.qryMPSTF->Active()) return;
    const kv::TClientDataSet& pre = *dm.qryMPSTBPre;
    auto f = [&pre](const char* n) { return pre.FieldByName(QString::fromLatin1(n)).AsString(); };
    const TKrta07ConsumingLine line{Krta07RTrim(f("TB003")), Krta07RTrim(f("TB051")), Krta07RTrim(f("TB004")),
                                    Krta07RTrim(f("TB005")), Krta07RTrim(f("TB037")), f("TB006").trimmed(),
                                    f("TB036").trimmed()};
    std::vector<TKrta07DayQuantity> days;
    DayQuantities(row, days);
    SetLinePlanRows(row, FConsumption->LineRows(line, days));
}

std::vector<TKrta07PlanRow> TfrmKrta07SM::LinePlanRows(int row) {
    return FConsumption->StoredLineRows(row);
}

void TfrmKrta07SM::SetLinePlanRows(int row, const std::vector<TKrta07PlanRow>& rows) {
    TdmKrta07S& dm = *dmKrta07S;
    if (!dm.qryMPSTF->Active() || !dm.qryMPSTB->Active() || row < 0 || row >= dm.qryMPSTB->RecordCount())
        return;
    UndoTouch(row, true);
    // Only a grown chart window needs the load built anew; otherwise it follows by the line's difference.
    const QString start = Krta07DayText(mgMPSTC->Start()), stop = Krta07DayText(mgMPSTC->Stop());
    const bool rebuild = dm.FRangeStart > start || dm.FRangeEnd < stop || !dm.qryMPSTD->Active();
    const std::vector<LoadKey> days = FConsumption->SetLineRows(row, rows, !rebuild);
    if (rebuild) {
        RebuildPlannedLoad();
        return;
    }
    RecheckOverloads(days);
    // The small chart shows the current line's main resource.
    refreshChartDays(*this, dm.qryMPSTBPre->FieldByName(QStringLiteral("TB036")).AsString().trimmed(), days);
}

void TfrmKrta07SM::RebuildPlannedLoad() {
    TdmKrta07S& dm = *dmKrta07S;
    const QString start = Krta07DayText(mgMPSTC->Start()), stop = Krta07DayText(mgMPSTC->Stop());
    if (dm.FRangeStart > start) dm.FRangeStart = start;
    if (dm.FRangeEnd < stop) dm.FRangeEnd = stop;
    FConsumption->RebuildLoad();
    CountOverloads();
    RefreshLoadChart();
}

void TfrmKrta07SM::StartOtherPlanRead() {
    TdmKrta07S& dm = *dmKrta07S;
    // Once a factory is saved, most plan rows are its own. Each one is looked up in the loaded lines,
    // read once into a list of their own: a join per row took seconds on a large factory in SQLite,
    // and PostgreSQL sorted both sides for it. The list is ordered by the parts that tell lines apart
    // soonest. SQLite reads the table in its own order: through an index, every row would be a look-up,
    // for a grouping that has few rows left. SQL Server takes no list of several columns.
    // SQLite answers a NOT IN of several columns that finds no row by comparing the row with every row
    // of the list, in case one holds a null (the answer is then null, not true): once a query names a
    // resource, most plan rows are not in the list, and the read took half a minute on 8,000 lines.
    // "IN ... IS NOT TRUE" asks for no such answer; the key columns hold no nulls.
    const kv::ado::SqlDialect dialect = dm.dbKrta07->dialect();
    const bool sqlite = dialect == kv::ado::SqlDialect::SQLite;
    const QString loadedList =
        QStringLiteral("(TF005, TF007, TF001, TF006, TF004, TF011) %1 (SELECT TB004, TB037, MC002, "
                       "TB005, TB003, TB051 FROM $$MPSTB AS MPSTB INNER JOIN $$MPSMC AS MPSMC ON MC001 = "
                       "TB006 WHERE TB001 = :TB001 AND :TB036 IN (TB036,'') AND :TB004 IN "
                       "(TB051+TB004+TB005,'')) ");
    const QString notLoaded = sqlite ? "(" + loadedList.arg(QStringLiteral("IN")) + ") IS NOT TRUE "
                              : dialect == kv::ado::SqlDialect::PostgreSQL
                                  ? loadedList.arg(QStringLiteral("NOT IN"))
                                  : QStringLiteral("NOT ") + dm.PlanRowOfLoadedLine();
    FOtherPlanReader = std::make_unique<TKrta07OtherPlanReader>(
        *dm.dbKrta07,
        dm.ExpandSQL(QStringLiteral("SELECT TF001 , TF002 , SUM(TF008) AS TF008 , SUM(TF009) AS TF009 FROM "
                                    "$$MPSTF %1WHERE TF003 = '2' AND ")
                         .arg(sqlite ? QStringLiteral("NOT INDEXED ") : QString()) +
                     notLoaded + QStringLiteral(" GROUP BY TF001 , TF002 ")),
        dm.FFactory, dm.FResource, dm.FSourceDoc);
}

const TKrta07OtherPlans& TfrmKrta07SM::OtherPlans() {
    if (FOtherPlanReader) {
        const std::unique_ptr<TKrta07OtherPlanReader> reader = std::move(FOtherPlanReader);
        *FOtherPlans = reader->Take();
    }
    return *FOtherPlans;
}
