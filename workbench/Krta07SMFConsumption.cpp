// Plan consumption of the resources by the lines' day quantities, and the planned columns of the
// resource load built from it.
#include <QHash>
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <limits>

#include "frame/KvADO.h"
#include "gantt/MyGant.h"
#include "lang/CodeConverter.h"
#include "platform/Numbers.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFCharts.h"
#include "workbench/Krta07SMFPlan.h"
#include "workbench/Krta07SMFStored.h"

namespace {

using Amounts = TKrta07Amounts;
using LoadKey = TKrta07LoadKey;

// main and non-main consumption of one day quantity for one item resource.
Amounts amountsOf(const TItemResource& res, const QString& mainResource, double q) {
    const double amount = res.MC005 == 0 ? 0 : res.MC004 * q / res.MC005;
    return res.MC002 == mainResource ? Amounts{amount, 0} : Amounts{0, amount};
}

// Sums per key that remember the order keys first came in.
template <typename Key> struct OrderedSums {
    QHash<Key, int> index;
    std::vector<Key> keys;
    std::vector<Amounts> sums;
    void add(const Key& k, const Amounts& a) {
        auto it = index.constFind(k);
        if (it == index.cend()) {
            index.insert(k, int(keys.size()));
            keys.push_back(k);
            sums.push_back(a);
        } else {
            Amounts& s = sums[size_t(*it)];
            s.main += a.main;
            s.nonMain += a.nonMain;
        }
    }
};

// Adds planned amounts to the load rows, appending the days the load does not have yet with what
// other lines planned there. With totals given, an appended row (FLAG -1) that neither a plan row of
// the computation nor another line's adds to any more goes, as a rebuild would not have it.
void addToLoad(kv::TClientDataSet& load, const OrderedSums<LoadKey>& sums, const TKrta07OtherPlans& others,
               const TKrta07PlanTotals* totals = nullptr) {
    kv::TField& td005 = load.FieldByName(QStringLiteral("TD005"));
    kv::TField& td007 = load.FieldByName(QStringLiteral("TD007"));
    load.DisableControls();
    for (size_t i = 0; i < sums.keys.size(); ++i) {
        const LoadKey& k = sums.keys[i];
        const Amounts& a = sums.sums[i];
        if (load.Locate(QStringLiteral("TD001;TD002"), QVariantList{k.resource, k.day})) {
            if (totals && !totals->days.contains(k) && !others.contains(k) &&
                load.FieldByName(QStringLiteral("FLAG")).AsInteger() == -1) {
                load.Delete();
                continue;
            }
            load.Edit();
            td005.SetAsFloat(td005.AsFloat() + a.main);
            td007.SetAsFloat(td007.AsFloat() + a.nonMain);
        } else {
            const Amounts other = others.value(k);
            load.Append();
            load.FieldByName(QStringLiteral("TD001")).SetAsString(k.resource);
            load.FieldByName(QStringLiteral("TD002")).SetAsString(k.day);
            td005.SetAsFloat(other.main + a.main);
            td007.SetAsFloat(other.nonMain + a.nonMain);
            load.FieldByName(QStringLiteral("FLAG")).SetAsFloat(-1);
        }
        load.Post();
    }
    load.EnableControls();
}

// The load as read has its planned columns at 0: first comes what the plan rows of other lines put on
// its days, so that the totals shown and saved are those of every factory.
void addOtherPlans(kv::TClientDataSet& load, const TKrta07OtherPlans& others) {
    if (others.isEmpty()) return;
    kv::TField& td005 = load.FieldByName(QStringLiteral("TD005"));
    kv::TField& td007 = load.FieldByName(QStringLiteral("TD007"));
    load.DisableControls();
    for (auto it = others.cbegin(); it != others.cend(); ++it) {
        if (!load.Locate(QStringLiteral("TD001;TD002"), QVariantList{it.key().resource, it.key().day})) continue;
        load.Edit();
        td005.SetAsFloat(td005.AsFloat() + it->main);
        td007.SetAsFloat(td007.AsFloat() + it->nonMain);
        load.Post();
    }
    load.EnableControls();
}

// Puts the changed days of the shown resource on the small chart in place, as a full redraw would
// show them; a chart that shows another resource or window, or waits for a redraw, is redrawn whole.
void refreshChartDays(TfrmKrta07SM& wb, const QString& resource, const std::vector<LoadKey>& days) {
    TKrta07LoadChart& chart = *wb.ctMPSTC;
    kv::TClientDataSet& load = *wb.dmKrta07S->qryMPSTD;
    const int n = int(kv::roundHalfEven(wb.mgMPSTC->Stop() - wb.mgMPSTC->Start()));
    const qint64 first = qint64(std::floor(wb.mgMPSTC->Start()));
    if (chart.RefreshPending || resource.isEmpty() || chart.ShownResource != resource ||
        chart.ShownFirstDay != first || chart.Values().Days.size() != n + 1 || !load.Active()) {
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

struct LineParts {
    QString TB003, TB051, TB004, TB005, TB037, TB006, TB036;
};

LineParts currentLine(const kv::TClientDataSet& set) {
    auto f = [&set](const char* n) { return set.FieldByName(QString::fromLatin1(n)).AsString().trimmed(); };
    return {f("TB003"), f("TB051"), f("TB004"), f("TB005"), f("TB037"), f("TB006"), f("TB036")};
}

// The same of the line in row r of the working set.
LineParts lineAt(const kv::TClientDataSet& lines, int r) {
    auto f = [&lines, r](const char* n) {
        return lines.valueAt(r, lines.FieldByName(QString::fromLatin1(n)).Index()).toString().trimmed();
    };
    return {f("TB003"), f("TB051"), f("TB004"), f("TB005"), f("TB037"), f("TB006"), f("TB036")};
}

// The plan rows of a line on one resource, by the set's key fields.
const QString kPlanKeyFields = QStringLiteral("TF001;TF003;TF004;TF011;TF005;TF006;TF007");
QVariantList planKey(const QString& resource, const LineParts& p) {
    return {resource, QStringLiteral("2"), p.TB003, p.TB051, p.TB004, p.TB005, p.TB037};
}

} // namespace

std::array<quint64, 4> TfrmKrta07SM::consumptionBasis() const {
    const TdmKrta07S& dm = *dmKrta07S;
    return {dm.qryMPSTB->Generation(), mgMPSTC->MyGantList()->Generation(), dm.ItemResourcesGeneration(),
            dm.qryMPSTF->Generation()};
}

void TfrmKrta07SM::RecomputeAllConsumption() {
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& plan = *dm.qryMPSTF;
    TKrta07PlanTotals& totals = *FPlanTotals;
    if (totals.computed && plan.Active() && consumptionBasis() == totals.basis) {
        // Nothing the plan rows are made of has changed since they were computed (a query computes
        // them while loading and once more): only the load is read again, for the range it has now.
        dm.qryMPSTD->Close();
        dm.qryMPSTD->Open();
        const TKrta07OtherPlans& others = OtherPlans();
        addOtherPlans(*dm.qryMPSTD, others);
        OrderedSums<LoadKey> sums;
        sums.keys = totals.order;
        sums.sums.reserve(sums.keys.size());
        for (const LoadKey& k : sums.keys)
            sums.sums.push_back(totals.days.value(k).sum);
        addToLoad(*dm.qryMPSTD, sums, others);
        CountOverloads();
        return;
    }
    totals.computed = false;
    plan.Close();
    plan.Open();
    dm.SetupFields();
    dm.qryMPSTD->Close();
    dm.qryMPSTD->Open();
    const TKrta07OtherPlans& others = OtherPlans();
    addOtherPlans(*dm.qryMPSTD, others);
    FConsumptionKeys.clear();

    const kv::TClientDataSet& lines = *dm.qryMPSTB;
    auto idx = [&lines](const char* n) { return lines.FieldByName(QString::fromLatin1(n)).Index(); };
    const int tb001 = idx("TB001"), tb003 = idx("TB003"), tb051 = idx("TB051"), tb004 = idx("TB004"),
              tb005 = idx("TB005"), tb037 = idx("TB037"), tb006 = idx("TB006"), tb036 = idx("TB036");
    auto text = [&lines](int r, int f) { return lines.valueAt(r, f).toString().trimmed(); };

    // A line has one cell per day and an item each resource once, so every (resource, day, line)
    // comes up once: plan rows go into the empty plan set as they come, by the loader instead of one
    // post each, their few distinct texts by pool id.
    const char* names[] = {"TF001", "TF002", "TF003", "TF004", "TF011", "TF005",
                           "TF006", "TF007", "TF008", "TF009", "TF010", "FLAG"};
    int fieldOf[12];
    for (int c = 0; c < 12; ++c)
        fieldOf[c] = plan.FieldByName(QString::fromLatin1(names[c])).Index();
    int32_t texts[12];
    double numbers[12];
    std::fill(std::begin(texts), std::end(texts), -1);
    std::fill(std::begin(numbers), std::end(numbers), std::nan(""));
    plan.beginLoad();
    texts[2] = plan.PoolTextId(QStringLiteral("2"));
    texts[10] = plan.PoolTextId(QString());
    // Days by day number, with their text and pool id.
    QStringList dayTexts;
    std::vector<int32_t> dayIds;
    QHash<qint64, int> dayIndex;
    // Sums per resource day under a number made of the resource's and the day's index, in the order
    // the days first come up: hashing two texts per plan row cost more than the sums themselves.
    QHash<QString, int> resourceIndex;
    std::vector<int32_t> resourceIds;
    QHash<qint64, int> loadIndex;
    std::vector<LoadKey> loadKeys;
    std::vector<Amounts> loadSums;
    std::vector<int> loadRows; // plan rows adding to each resource day
    std::vector<std::pair<int, double>> cells; // day index and quantity of the line's days with one
    std::vector<double> cellValues;
    TMyGantList* list = mgMPSTC->MyGantList();
    const int n = lines.RecordCount();
    // A computation that fails half-way leaves no plan rows, as one that never ran.
    auto unfinished = qScopeGuard([&plan] {
        plan.endLoad();
        plan.EmptyDataSet();
    });
    // The plan rows are counted first, so that millions of them are stored without growing.
    std::vector<int> itemOfLine(size_t(n), -1);
    qint64 planRows = 0;
    for (int r = 0; r < n; ++r) {
        const int i = FRowOfKey.value(LineKeyOf({text(r, tb001), text(r, tb003), text(r, tb051), text(r, tb004),
                                                 text(r, tb005), text(r, tb037)}),
                                      -1);
        itemOfLine[size_t(r)] = i;
        if (TMyGantItem* item = list->Items(i)) {
            item->DayCellValues(cellValues);
            const auto days = std::count_if(cellValues.begin(), cellValues.end(), [](double q) { return q != 0; });
            planRows += qint64(days) * qint64(dm.ItemResources(text(r, tb006)).size());
        }
    }
    plan.ReserveRecords(int(std::min<qint64>(planRows, std::numeric_limits<int>::max())));
    for (int r = 0; r < n; ++r) {
        if (r % 500 == 0) progress(tr("Computing consumption"), r, n);
        const LineParts p{text(r, tb003), text(r, tb051), text(r, tb004), text(r, tb005),
                          text(r, tb037), text(r, tb006), text(r, tb036)};
        TMyGantItem* item = list->Items(itemOfLine[size_t(r)]);
        cells.clear();
        if (item) {
            item->DayCellValues(cellValues);
            for (size_t c = 0; c < cellValues.size(); ++c) {
                const double q = cellValues[c];
                if (q == 0) continue;
                const kv::TDateTime start = item->CellStart(int(c));
                const qint64 dayNumber = qint64(std::floor(start));
                auto found = dayIndex.constFind(dayNumber);
                int d;
                if (found == dayIndex.cend()) {
                    d = int(dayTexts.size());
                    dayTexts.append(Krta07DayText(start));
                    dayIds.push_back(plan.PoolTextId(dayTexts.back()));
                    dayIndex.insert(dayNumber, d);
                } else {
                    d = *found;
                }
                cells.emplace_back(d, q);
            }
        }
        if (!cells.empty()) {
            texts[3] = plan.PoolTextId(p.TB003);
            texts[4] = plan.PoolTextId(p.TB051);
            texts[5] = plan.PoolTextId(p.TB004);
            texts[6] = plan.PoolTextId(p.TB005);
            texts[7] = plan.PoolTextId(p.TB037);
        }
        for (const TItemResource& res : dm.ItemResources(p.TB006)) {
            FConsumptionKeys.append(QStringList{res.MC002, QStringLiteral("2"), p.TB003, p.TB051, p.TB004,
                                                p.TB005, p.TB037, QString()}
                                        .join(QChar(5)));
            if (cells.empty()) continue;
            auto known = resourceIndex.constFind(res.MC002);
            if (known == resourceIndex.cend()) {
                known = resourceIndex.insert(res.MC002, int(resourceIndex.size()));
                resourceIds.push_back(plan.PoolTextId(res.MC002));
            }
            const qint64 resourceId = *known;
            texts[0] = resourceIds[size_t(resourceId)];
            for (const auto& [d, q] : cells) {
                const Amounts a = amountsOf(res, p.TB036, q);
                texts[1] = dayIds[size_t(d)];
                numbers[8] = a.main;
                numbers[9] = a.nonMain;
                plan.loadRowIds(texts, numbers, fieldOf, 12);
                const qint64 key = resourceId << 32 | qint64(d);
                auto at = loadIndex.constFind(key);
                if (at == loadIndex.cend()) {
                    loadIndex.insert(key, int(loadKeys.size()));
                    loadKeys.push_back({res.MC002, dayTexts[d]});
                    loadSums.push_back(a);
                    loadRows.push_back(1);
                } else {
                    Amounts& sum = loadSums[size_t(*at)];
                    sum.main += a.main;
                    sum.nonMain += a.nonMain;
                    ++loadRows[size_t(*at)];
                }
            }
        }
    }
    unfinished.dismiss();
    plan.endLoad();
    progress(tr("Computing consumption"), n, n);
    OrderedSums<LoadKey> sums;
    sums.keys = loadKeys;
    sums.sums = loadSums;
    addToLoad(*dm.qryMPSTD, sums, others);
    CountOverloads();
    totals.days.clear();
    totals.days.reserve(qsizetype(loadKeys.size()));
    for (size_t k = 0; k < loadKeys.size(); ++k)
        totals.days.insert(loadKeys[k], {loadSums[k], loadRows[k]});
    totals.order = std::move(sums.keys);
    totals.basis = consumptionBasis();
    totals.computed = true;
}

void TfrmKrta07SM::RecomputeLineConsumption() {
    // With a converted interface the texts in the sets are not the stored ones; the next full
    // computation puts the line right.
    if (KvConverter && KvConverter->UICodePage != KvConverter->SystemCodePage) return;
    TdmKrta07S& dm = *dmKrta07S;
    const int row = CurrentRowIndex();
    TMyGantItem* item = mgMPSTC->MyGantList()->Items(row);
    if (!item || !dm.qryMPSTF->Active()) return;
    const LineParts p = currentLine(*dm.qryMPSTBPre);

    // The line's days with a quantity, the same for every resource.
    std::vector<std::pair<QString, double>> days;
    days.reserve(size_t(item->CellCount()));
    std::vector<double> values;
    item->DayCellValues(values);
    for (size_t c = 0; c < values.size(); ++c)
        if (values[c] != 0) days.emplace_back(Krta07DayText(item->CellStart(int(c))), values[c]);
    std::vector<TKrta07PlanRow> rows;
    for (const TItemResource& res : dm.ItemResources(p.TB006))
        for (const auto& [day, q] : days)
            rows.push_back({res.MC002, day, amountsOf(res, p.TB036, q), QString()});
    SetLinePlanRows(row, rows);
}

std::vector<TKrta07PlanRow> TfrmKrta07SM::LinePlanRows(int Row) {
    std::vector<TKrta07PlanRow> rows;
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& plan = *dm.qryMPSTF;
    const kv::TClientDataSet& lines = *dm.qryMPSTB;
    if (!plan.Active() || !lines.Active() || Row < 0 || Row >= lines.RecordCount()) return rows;
    const LineParts p = lineAt(lines, Row);
    auto at = [&plan](const char* n) { return plan.FieldByName(QString::fromLatin1(n)).Index(); };
    const int tf001 = at("TF001"), tf002 = at("TF002"), tf008 = at("TF008"), tf009 = at("TF009"),
              tf010 = at("TF010");
    auto text = [&plan](int pos, int f) { return plan.valueAt(pos, f).toString().trimmed(); };
    for (const TItemResource& res : dm.ItemResources(p.TB006))
        for (int pos : plan.LocateAll(kPlanKeyFields, planKey(res.MC002, p)))
            rows.push_back({text(pos, tf001), text(pos, tf002),
                            {plan.valueAt(pos, tf008).toDouble(), plan.valueAt(pos, tf009).toDouble()},
                            text(pos, tf010)});
    return rows;
}

void TfrmKrta07SM::SetLinePlanRows(int Row, const std::vector<TKrta07PlanRow>& Rows) {
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& plan = *dm.qryMPSTF;
    const kv::TClientDataSet& lines = *dm.qryMPSTB;
    if (!plan.Active() || !lines.Active() || Row < 0 || Row >= lines.RecordCount()) return;
    UndoTouch(Row, true);
    const LineParts p = lineAt(lines, Row);

    kv::TField* f[11];
    {
        const char* names[] = {"TF001", "TF002", "TF003", "TF004", "TF011", "TF005",
                               "TF006", "TF007", "TF008", "TF009", "TF010"};
        for (int c = 0; c < 11; ++c)
            f[c] = &plan.FieldByName(QString::fromLatin1(names[c]));
    }
    const int tf002 = f[1]->Index(), tf008 = f[8]->Index(), tf009 = f[9]->Index();
    OrderedSums<LoadKey> delta;
    plan.DisableControls();
    for (const TItemResource& res : dm.ItemResources(p.TB006)) {
        // The line's rows of this resource are found by key and go in one step, not through a filter
        // over every plan row of the factory.
        const QVariantList key = planKey(res.MC002, p);
        for (int pos : plan.LocateAll(kPlanKeyFields, key)) {
            const LoadKey k{res.MC002, plan.valueAt(pos, tf002).toString().trimmed()};
            const Amounts a{-plan.valueAt(pos, tf008).toDouble(), -plan.valueAt(pos, tf009).toDouble()};
            delta.add(k, a);
            auto t = FPlanTotals->days.find(k);
            if (t != FPlanTotals->days.end()) {
                t->sum.main += a.main;
                t->sum.nonMain += a.nonMain;
                if (--t->rows <= 0) FPlanTotals->days.erase(t);
            }
        }
        plan.DeleteMatching(kPlanKeyFields, key);
    }
    for (const TKrta07PlanRow& r : Rows) {
        const LoadKey k{r.resource, r.day};
        delta.add(k, r.amounts);
        TKrta07PlanTotal& t = FPlanTotals->days[k];
        t.sum.main += r.amounts.main;
        t.sum.nonMain += r.amounts.nonMain;
        ++t.rows;
        plan.Append();
        f[0]->SetAsString(r.resource);
        f[1]->SetAsString(r.day);
        f[2]->SetAsString(QStringLiteral("2"));
        f[3]->SetAsString(p.TB003);
        f[4]->SetAsString(p.TB051);
        f[5]->SetAsString(p.TB004);
        f[6]->SetAsString(p.TB005);
        f[7]->SetAsString(p.TB037);
        f[8]->SetAsFloat(r.amounts.main);
        f[9]->SetAsFloat(r.amounts.nonMain);
        f[10]->SetAsString(r.remark);
        plan.Post();
    }
    plan.EnableControls();

    // The load changes only by this line's difference; rebuilding it from every plan row would
    // cost a pass over the whole factory per edit. Only a grown chart window needs the full build.
    const QString start = Krta07DayText(mgMPSTC->Start()), stop = Krta07DayText(mgMPSTC->Stop());
    if (dm.FRangeStart > start || dm.FRangeEnd < stop || !dm.qryMPSTD->Active()) {
        RebuildPlannedLoad();
        return;
    }
    addToLoad(*dm.qryMPSTD, delta, OtherPlans(), FPlanTotals.get());
    RecheckOverloads(delta.keys);
    // The small chart shows the current line's main resource.
    refreshChartDays(*this, currentLine(*dm.qryMPSTBPre).TB036, delta.keys);
}

void TfrmKrta07SM::RebuildPlannedLoad() {
    TdmKrta07S& dm = *dmKrta07S;
    const QString start = Krta07DayText(mgMPSTC->Start()), stop = Krta07DayText(mgMPSTC->Stop());
    if (dm.FRangeStart > start) dm.FRangeStart = start;
    if (dm.FRangeEnd < stop) dm.FRangeEnd = stop;
    dm.qryMPSTD->Close();
    dm.qryMPSTD->Open();
    const TKrta07OtherPlans& others = OtherPlans();
    addOtherPlans(*dm.qryMPSTD, others);
    // The totals hold what the plan rows add up to per resource day; in key order, so that the
    // appended days come in a stable order.
    std::vector<LoadKey> keys;
    keys.reserve(size_t(FPlanTotals->days.size()));
    for (auto it = FPlanTotals->days.cbegin(); it != FPlanTotals->days.cend(); ++it)
        keys.push_back(it.key());
    std::sort(keys.begin(), keys.end(), [](const LoadKey& a, const LoadKey& b) {
        return a.resource != b.resource ? a.resource < b.resource : a.day < b.day;
    });
    OrderedSums<LoadKey> sums;
    for (const LoadKey& k : keys)
        sums.add(k, FPlanTotals->days.value(k).sum);
    addToLoad(*dm.qryMPSTD, sums, others);
    CountOverloads();
    RefreshLoadChart();
}

void TfrmKrta07SM::StartOtherPlanRead() {
    TdmKrta07S& dm = *dmKrta07S;
    // Once a factory is saved, most plan rows are its own. SQLite looks each one up in the loaded lines
    // read once into a list of its own, not by a join per row, which took seconds on a large factory.
    const QString notLoaded =
        dm.dbKrta07->dialect() == kv::ado::SqlDialect::SQLite
            ? QStringLiteral("(TF001, TF004, TF011, TF005, TF006, TF007) NOT IN (SELECT MC002, TB003, TB051, "
                             "TB004, TB005, TB037 FROM $$MPSTB AS MPSTB INNER JOIN $$MPSMC AS MPSMC ON MC001 = "
                             "TB006 WHERE TB001 = :TB001 AND :TB036 IN (TB036,'') AND :TB004 IN "
                             "(TB051+TB004+TB005,'')) ")
            : QStringLiteral("NOT ") + dm.PlanRowOfLoadedLine();
    FOtherPlanReader = std::make_unique<TKrta07OtherPlanReader>(
        *dm.dbKrta07,
        dm.ExpandSQL(QStringLiteral("SELECT TF001 , TF002 , SUM(TF008) AS TF008 , SUM(TF009) AS TF009 FROM "
                                    "$$MPSTF WHERE TF003 = '2' AND ") +
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
