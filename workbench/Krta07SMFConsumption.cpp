// Plan consumption of the resources by the lines' day quantities, and the planned columns of the
// resource load built from it.
#include <QHash>
#include <cmath>

#include "gantt/MyGant.h"
#include "lang/CodeConverter.h"
#include "platform/Numbers.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "workbench/Krta07SDF.h"
#include "workbench/Krta07SMF.h"
#include "workbench/Krta07SMFPlan.h"

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

// Adds planned amounts to the load rows, appending the days the load does not have yet.
// With totals given, an appended row (FLAG -1) whose resource day no plan row adds to any more goes,
// as a rebuild from the plan rows would not have it.
void addToLoad(kv::TClientDataSet& load, const OrderedSums<LoadKey>& sums,
               const TKrta07PlanTotals* totals = nullptr) {
    kv::TField& td005 = load.FieldByName(QStringLiteral("TD005"));
    kv::TField& td007 = load.FieldByName(QStringLiteral("TD007"));
    load.DisableControls();
    for (size_t i = 0; i < sums.keys.size(); ++i) {
        const LoadKey& k = sums.keys[i];
        const Amounts& a = sums.sums[i];
        if (load.Locate(QStringLiteral("TD001;TD002"), QVariantList{k.resource, k.day})) {
            if (totals && !totals->days.contains(k) &&
                load.FieldByName(QStringLiteral("FLAG")).AsInteger() == -1) {
                load.Delete();
                continue;
            }
            load.Edit();
            td005.SetAsFloat(td005.AsFloat() + a.main);
            td007.SetAsFloat(td007.AsFloat() + a.nonMain);
        } else {
            load.Append();
            load.FieldByName(QStringLiteral("TD001")).SetAsString(k.resource);
            load.FieldByName(QStringLiteral("TD002")).SetAsString(k.day);
            td005.SetAsFloat(a.main);
            td007.SetAsFloat(a.nonMain);
            load.FieldByName(QStringLiteral("FLAG")).SetAsFloat(-1);
        }
        load.Post();
    }
    load.EnableControls();
}

struct LineParts {
    QString TB003, TB051, TB004, TB005, TB037, TB006, TB036;
};

LineParts currentLine(const kv::TClientDataSet& set) {
    auto f = [&set](const char* n) { return set.FieldByName(QString::fromLatin1(n)).AsString().trimmed(); };
    return {f("TB003"), f("TB051"), f("TB004"), f("TB005"), f("TB037"), f("TB006"), f("TB036")};
}

} // namespace

void TfrmKrta07SM::RecomputeAllConsumption() {
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& plan = *dm.qryMPSTF;
    plan.Close();
    plan.Open();
    dm.SetupFields();
    dm.qryMPSTD->Close();
    dm.qryMPSTD->Open();
    FConsumptionKeys.clear();

    const kv::TClientDataSet& lines = *dm.qryMPSTB;
    auto idx = [&lines](const char* n) { return lines.FieldByName(QString::fromLatin1(n)).Index(); };
    const int tb001 = idx("TB001"), tb003 = idx("TB003"), tb051 = idx("TB051"), tb004 = idx("TB004"),
              tb005 = idx("TB005"), tb037 = idx("TB037"), tb006 = idx("TB006"), tb036 = idx("TB036");
    auto text = [&lines](int r, int f) { return lines.valueAt(r, f).toString().trimmed(); };

    // A line has one cell per day and an item each resource once, so every (resource, day, line)
    // comes up once: plan rows are collected without looking for an earlier one.
    struct PlanRow {
        int line;
        const QString* resource;
        int day; // index into dayTexts
        Amounts amounts;
    };
    std::vector<PlanRow> planRows;
    QStringList dayTexts;
    QHash<qint64, int> dayIndex;
    OrderedSums<LoadKey> loadSums;
    std::vector<LineParts> lineParts;
    lineParts.reserve(size_t(lines.RecordCount()));
    std::vector<std::pair<int, double>> cells; // day index and quantity of the line's days with one
    TMyGantList* list = mgMPSTC->MyGantList();
    const int n = lines.RecordCount();
    for (int r = 0; r < n; ++r) {
        if (r % 500 == 0) progress(tr("Computing consumption"), r, n);
        const LineParts p{text(r, tb003), text(r, tb051), text(r, tb004), text(r, tb005),
                          text(r, tb037), text(r, tb006), text(r, tb036)};
        lineParts.push_back(p);
        const int i =
            FRowOfKey.value(LineKeyOf({text(r, tb001), p.TB003, p.TB051, p.TB004, p.TB005, p.TB037}), -1);
        TMyGantItem* item = list->Items(i);
        cells.clear();
        if (item)
            for (TphDataEntity_GantTime* cell : item->DayCells) {
                const double q = item->GetDayValue(cell->StartTime);
                if (q == 0) continue;
                const qint64 dayNumber = qint64(std::floor(cell->StartTime));
                auto found = dayIndex.constFind(dayNumber);
                int d;
                if (found == dayIndex.cend()) {
                    d = int(dayTexts.size());
                    dayTexts.append(Krta07DayText(cell->StartTime));
                    dayIndex.insert(dayNumber, d);
                } else {
                    d = *found;
                }
                cells.emplace_back(d, q);
            }
        for (const TItemResource& res : dm.ItemResources(p.TB006)) {
            FConsumptionKeys.append(QStringList{res.MC002, QStringLiteral("2"), p.TB003, p.TB051, p.TB004,
                                                p.TB005, p.TB037, QString()}
                                        .join(QChar(5)));
            for (const auto& [d, q] : cells) {
                const Amounts a = amountsOf(res, p.TB036, q);
                planRows.push_back({r, &res.MC002, d, a});
                loadSums.add({res.MC002, dayTexts[d]}, a);
            }
        }
    }
    progress(tr("Computing consumption"), n, n);

    // The plan set is empty here, so its rows go in with the loader instead of one post each.
    const char* names[] = {"TF001", "TF002", "TF003", "TF004", "TF011", "TF005",
                           "TF006", "TF007", "TF008", "TF009", "TF010", "FLAG"};
    int fieldOf[12];
    for (int c = 0; c < 12; ++c)
        fieldOf[c] = plan.FieldByName(QString::fromLatin1(names[c])).Index();
    QVariant values[12];
    values[2] = QStringLiteral("2");
    values[10] = QString();
    plan.beginLoad();
    for (const PlanRow& row : planRows) {
        const LineParts& p = lineParts[size_t(row.line)];
        values[0] = *row.resource;
        values[1] = dayTexts[row.day];
        values[3] = p.TB003;
        values[4] = p.TB051;
        values[5] = p.TB004;
        values[6] = p.TB005;
        values[7] = p.TB037;
        values[8] = row.amounts.main;
        values[9] = row.amounts.nonMain;
        plan.loadRow(values, fieldOf, 12);
    }
    plan.endLoad();
    addToLoad(*dm.qryMPSTD, loadSums);
    FPlanTotals->days.clear();
    FPlanTotals->days.reserve(qsizetype(loadSums.keys.size()));
    for (size_t k = 0; k < loadSums.keys.size(); ++k)
        FPlanTotals->days.insert(loadSums.keys[k], {loadSums.sums[k], 0});
    for (const PlanRow& row : planRows)
        ++FPlanTotals->days[{*row.resource, dayTexts[row.day]}].rows;
}

void TfrmKrta07SM::RecomputeLineConsumption() {
    // With a converted interface the texts in the sets are not the stored ones; the next full
    // computation puts the line right.
    if (KvConverter && KvConverter->UICodePage != KvConverter->SystemCodePage) return;
    TdmKrta07S& dm = *dmKrta07S;
    kv::TClientDataSet& plan = *dm.qryMPSTF;
    const int row = CurrentRowIndex();
    TMyGantItem* item = mgMPSTC->MyGantList()->Items(row);
    if (!item || !plan.Active()) return;
    const LineParts p = currentLine(*dm.qryMPSTBPre);

    OrderedSums<LoadKey> delta;
    kv::TField& tf002 = plan.FieldByName(QStringLiteral("TF002"));
    kv::TField& tf008 = plan.FieldByName(QStringLiteral("TF008"));
    kv::TField& tf009 = plan.FieldByName(QStringLiteral("TF009"));
    plan.DisableControls();
    for (const TItemResource& res : dm.ItemResources(p.TB006)) {
        plan.SetFilter(QStringLiteral("TF001;TF003;TF004;TF011;TF005;TF006;TF007"),
                       {res.MC002, QStringLiteral("2"), p.TB003, p.TB051, p.TB004, p.TB005, p.TB037});
        plan.First();
        while (!plan.IsEmpty()) {
            const LoadKey key{res.MC002, tf002.AsString().trimmed()};
            const Amounts a{-tf008.AsFloat(), -tf009.AsFloat()};
            delta.add(key, a);
            auto t = FPlanTotals->days.find(key);
            if (t != FPlanTotals->days.end()) {
                t->sum.main += a.main;
                t->sum.nonMain += a.nonMain;
                if (--t->rows <= 0) FPlanTotals->days.erase(t);
            }
            plan.Delete();
        }
        plan.ClearFilter();
        OrderedSums<LoadKey> rows;
        for (TphDataEntity_GantTime* cell : item->DayCells) {
            const double q = item->GetDayValue(cell->StartTime);
            if (q == 0) continue;
            const Amounts a = amountsOf(res, p.TB036, q);
            rows.add({res.MC002, Krta07DayText(cell->StartTime)}, a);
            delta.add({res.MC002, Krta07DayText(cell->StartTime)}, a);
        }
        for (size_t k = 0; k < rows.keys.size(); ++k) {
            TKrta07PlanTotal& t = FPlanTotals->days[rows.keys[k]];
            t.sum.main += rows.sums[k].main;
            t.sum.nonMain += rows.sums[k].nonMain;
            ++t.rows;
            plan.Append();
            plan.FieldByName(QStringLiteral("TF001")).SetAsString(res.MC002);
            tf002.SetAsString(rows.keys[k].day);
            plan.FieldByName(QStringLiteral("TF003")).SetAsString(QStringLiteral("2"));
            plan.FieldByName(QStringLiteral("TF004")).SetAsString(p.TB003);
            plan.FieldByName(QStringLiteral("TF011")).SetAsString(p.TB051);
            plan.FieldByName(QStringLiteral("TF005")).SetAsString(p.TB004);
            plan.FieldByName(QStringLiteral("TF006")).SetAsString(p.TB005);
            plan.FieldByName(QStringLiteral("TF007")).SetAsString(p.TB037);
            tf008.SetAsFloat(rows.sums[k].main);
            tf009.SetAsFloat(rows.sums[k].nonMain);
            plan.FieldByName(QStringLiteral("TF010")).SetAsString(QString());
            plan.Post();
        }
    }
    plan.EnableControls();

    // The load changes only by this line's difference; rebuilding it from every plan row would
    // cost a pass over the whole factory per edit. Only a grown chart window needs the full build.
    const QString start = Krta07DayText(mgMPSTC->Start()), stop = Krta07DayText(mgMPSTC->Stop());
    if (dm.FRangeStart > start || dm.FRangeEnd < stop || !dm.qryMPSTD->Active()) {
        RebuildPlannedLoad();
        return;
    }
    addToLoad(*dm.qryMPSTD, delta, FPlanTotals.get());
    RefreshLoadChart();
}

void TfrmKrta07SM::RebuildPlannedLoad() {
    TdmKrta07S& dm = *dmKrta07S;
    const QString start = Krta07DayText(mgMPSTC->Start()), stop = Krta07DayText(mgMPSTC->Stop());
    if (dm.FRangeStart > start) dm.FRangeStart = start;
    if (dm.FRangeEnd < stop) dm.FRangeEnd = stop;
    dm.qryMPSTD->Close();
    dm.qryMPSTD->Open();
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
    addToLoad(*dm.qryMPSTD, sums);
    RefreshLoadChart();
}
