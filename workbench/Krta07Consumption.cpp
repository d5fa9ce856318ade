#include "workbench/Krta07Consumption.h"

#include <QHash>
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/data/ClientDataSet.h"
#include "workbench/Krta07SDF.h"

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
void addToLoad(kv::TClientDataSet& load, const std::vector<LoadKey>& keys, const std::vector<Amounts>& sums,
               const TKrta07OtherPlans& others, const TKrta07PlanTotals* totals = nullptr) {
    kv::TField& td005 = load.FieldByName(QStringLiteral("TD005"));
    kv::TField& td007 = load.FieldByName(QStringLiteral("TD007"));
    kv::TField& flag = load.FieldByName(QStringLiteral("FLAG"));
    load.DisableControls();
    const auto enable = qScopeGuard([&load] { load.EnableControls(); });
    for (size_t i = 0; i < keys.size(); ++i) {
        const LoadKey& k = keys[i];
        const Amounts& a = sums[i];
        if (load.Locate(QStringLiteral("TD001;TD002"), QVariantList{k.resource, k.day})) {
            if (totals && !totals->days.contains(k) && !others.contains(k) && flag.AsInteger() == -1) {
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
            flag.SetAsFloat(-1);
        }
        load.Post();
    }
}

// Columns of the load set that say which resource day a row is and when it was read.
struct LoadFields {
    explicit LoadFields(const kv::TClientDataSet& load)
        : resource(load.FieldByName(QStringLiteral("TD001")).Index()),
          day(load.FieldByName(QStringLiteral("TD002")).Index()),
          flag(load.FieldByName(QStringLiteral("FLAG")).Index()) {}
    LoadKey key(const kv::TClientDataSet& load, int row) const {
        return {load.valueAt(row, resource).toString().trimmed(),
                load.valueAt(row, day).toString().trimmed()};
    }
    int resource, day, flag;
};

// Rows read again take back the FLAG they had; rows new to the range keep the one just read.
void restoreLoadedFlags(kv::TClientDataSet& load, const QHash<LoadKey, double>& loaded) {
    if (loaded.isEmpty()) return;
    const LoadFields f(load);
    std::vector<std::pair<LoadKey, double>> changed;
    for (int r = 0; r < load.RecordCount(); ++r) {
        const LoadKey k = f.key(load, r);
        const auto it = loaded.constFind(k);
        if (it != loaded.cend() && *it != load.valueAt(r, f.flag).toDouble()) changed.emplace_back(k, *it);
    }
    if (changed.empty()) return;
    kv::TField& flag = load.FieldByName(QStringLiteral("FLAG"));
    load.DisableControls();
    const auto enable = qScopeGuard([&load] { load.EnableControls(); });
    for (const auto& [k, value] : changed) {
        if (!load.Locate(QStringLiteral("TD001;TD002"), QVariantList{k.resource, k.day})) continue;
        load.Edit();
        flag.SetAsFloat(value);
        load.Post();
    }
}

// The load as read has its planned columns at 0: first comes what the plan rows of other lines put on
// its days, so that the totals shown and saved are those of every factory.
void addOtherPlans(kv::TClientDataSet& load, const TKrta07OtherPlans& others) {
    if (others.isEmpty()) return;
    kv::TField& td005 = load.FieldByName(QStringLiteral("TD005"));
    kv::TField& td007 = load.FieldByName(QStringLiteral("TD007"));
    load.DisableControls();
    const auto enable = qScopeGuard([&load] { load.EnableControls(); });
    for (auto it = others.cbegin(); it != others.cend(); ++it) {
        if (!load.Locate(QStringLiteral("TD001;TD002"), QVariantList{it.key().resource, it.key().day}))
            continue;
        load.Edit();
        td005.SetAsFloat(td005.AsFloat() + it->main);
        td007.SetAsFloat(td007.AsFloat() + it->nonMain);
        load.Post();
    }
}

// The plan rows of a line on one resource, by the set's key fields.
const QString kPlanKeyFields = QStringLiteral("TF001;TF003;TF004;TF011;TF005;TF006;TF007");
QVariantList planKey(const QString& resource, const TKrta07ConsumingLine& p) {
    return {resource, QStringLiteral("2"), p.TB003, p.TB051, p.TB004, p.TB005, p.TB037};
}

// One plan row as the plan set's loader takes it: texts by pool id, amounts as numbers.
struct PlanColumns {
    int32_t TF001 = -1, TF002 = -1, TF003 = -1, TF004 = -1, TF011 = -1, TF005 = -1, TF006 = -1, TF007 = -1,
            TF010 = -1;
    double TF008 = 0, TF009 = 0;
};

// Loads plan rows into the empty plan set, a column at a time by its field.
class PlanLoader {
public:
    explicit PlanLoader(kv::TClientDataSet& plan) : FPlan(plan) {
        const char* names[kColumns] = {"TF001", "TF002", "TF003", "TF004", "TF011", "TF005",
                                       "TF006", "TF007", "TF008", "TF009", "TF010", "FLAG"};
        for (int c = 0; c < kColumns; ++c)
            FFieldOf[c] = plan.FieldByName(QString::fromLatin1(names[c])).Index();
    }
    void load(const PlanColumns& row) {
        const int32_t texts[kColumns] = {row.TF001, row.TF002, row.TF003, row.TF004, row.TF011, row.TF005,
                                         row.TF006, row.TF007, -1,        -1,        row.TF010, -1};
        const double none = std::nan("");
        const double numbers[kColumns] = {none, none, none,      none,      none, none,
                                          none, none, row.TF008, row.TF009, none, none};
        FPlan.loadRowIds(texts, numbers, FFieldOf, kColumns);
    }

private:
    static constexpr int kColumns = 12;
    kv::TClientDataSet& FPlan;
    int FFieldOf[kColumns];
};

// The fields of a line the computation reads, looked up once.
class LineFields {
public:
    explicit LineFields(const kv::TClientDataSet& lines) : FLines(lines) {
        const char* names[8] = {"TB001", "TB003", "TB051", "TB004", "TB005", "TB037", "TB006", "TB036"};
        for (int i = 0; i < 8; ++i)
            FField[i] = lines.FieldByName(QString::fromLatin1(names[i])).Index();
    }
    TKrta07ConsumingLine at(int r) const {
        return {keyPart(r, 1), keyPart(r, 2), keyPart(r, 3), keyPart(r, 4),
                keyPart(r, 5), text(r, 6),    text(r, 7)};
    }
    // The line's key (LineKeyOf TB001 and its key parts).
    QString keyAt(int r, const TKrta07ConsumingLine& p) const {
        return QStringList{keyPart(r, 0), p.TB003, p.TB051, p.TB004, p.TB005, p.TB037}.join(
            Krta07KeySeparator);
    }

private:
    QString keyPart(int r, int i) const { return Krta07RTrim(FLines.valueAt(r, FField[i]).toString()); }
    QString text(int r, int i) const { return FLines.valueAt(r, FField[i]).toString().trimmed(); }
    const kv::TClientDataSet& FLines;
    int FField[8];
};

} // namespace

TKrta07Consumption::TKrta07Consumption(TSources sources) : FSources(std::move(sources)) {}

std::array<quint64, 4> TKrta07Consumption::basis() const {
    return {FSources.Lines->Generation(), FSources.DaysGeneration(), FSources.ResourcesGeneration(),
            FSources.Plan->Generation()};
}

TKrta07ConsumingLine TKrta07Consumption::lineAt(int row) const {
    return LineFields(*FSources.Lines).at(row);
}

void TKrta07Consumption::ComputeAll(bool keepLoadedFlags) {
    kv::TClientDataSet& plan = *FSources.Plan;
    // Nothing the plan rows are made of has changed since they were computed (a query computes them
    // while loading and once more): only the load is read again, for the range it has now.
    if (!(FTotals.computed && plan.Active() && basis() == FTotals.basis)) computeRows();
    loadSums(FTotals.order, keepLoadedFlags);
}

void TKrta07Consumption::RebuildLoad() {
    // The rows read before keep the FLAG they were loaded with: the save's guards compare with what
    // the planner loaded, and a row another save changed meanwhile must still refuse this one.
    // In key order, so that the appended days come in a stable order.
    std::vector<LoadKey> keys;
    keys.reserve(size_t(FTotals.days.size()));
    for (auto it = FTotals.days.cbegin(); it != FTotals.days.cend(); ++it)
        keys.push_back(it.key());
    std::sort(keys.begin(), keys.end(), [](const LoadKey& a, const LoadKey& b) {
        return a.resource != b.resource ? a.resource < b.resource : a.day < b.day;
    });
    loadSums(keys, true);
}

void TKrta07Consumption::Clear() {
    FSources.Plan->Close();
    FSources.Load->Close();
    FKeys = QStringList();
    FTotals = TKrta07PlanTotals();
}

void TKrta07Consumption::loadSums(const std::vector<LoadKey>& order, bool keepLoadedFlags) {
    kv::TClientDataSet& load = *FSources.Load;
    // The FLAG each stored row had, when the rows read again are to keep it.
    QHash<LoadKey, double> loaded;
    if (keepLoadedFlags && load.Active()) {
        const LoadFields f(load);
        loaded.reserve(load.RecordCount());
        for (int r = 0; r < load.RecordCount(); ++r)
            if (const double flag = load.valueAt(r, f.flag).toDouble(); flag != -1)
                loaded.insert(f.key(load, r), flag);
    }
    load.Close();
    load.Open();
    restoreLoadedFlags(load, loaded);
    const TKrta07OtherPlans& others = FSources.OtherPlans();
    addOtherPlans(load, others);
    std::vector<Amounts> sums;
    sums.reserve(order.size());
    for (const LoadKey& k : order)
        sums.push_back(FTotals.days.value(k).sum);
    addToLoad(load, order, sums, others);
}

void TKrta07Consumption::computeRows() {
    kv::TClientDataSet& plan = *FSources.Plan;
    FTotals = TKrta07PlanTotals();
    plan.Close();
    plan.Open();
    FKeys = QStringList();

    const kv::TClientDataSet& lines = *FSources.Lines;
    const LineFields fields(lines);
    const int n = lines.RecordCount();
    // A line has one cell per day and an item each resource once, so every (resource, day, line)
    // comes up once: plan rows go into the empty plan set as they come, by the loader instead of one
    // post each, their few distinct texts by pool id.
    PlanLoader loader(plan);
    PlanColumns row;
    plan.beginLoad();
    row.TF003 = plan.PoolTextId(QStringLiteral("2"));
    row.TF010 = plan.PoolTextId(QString());
    // Days by day number, with their text and pool id.
    QStringList dayTexts;
    std::vector<int32_t> dayIds;
    QHash<qint64, int> dayIndex;
    // Sums per resource day under a number made of the resource's and the day's index, in the order
    // the days first come up: hashing two texts per plan row cost more than the sums themselves.
    QHash<QString, int> resourceIndex;
    std::vector<int32_t> resourceIds;
    QHash<qint64, int> loadIndex;
    std::vector<Amounts> loadSums;
    std::vector<int> loadRows; // plan rows adding to each resource day
    std::vector<TKrta07DayQuantity> days;
    std::vector<int> cells; // day index of each of the line's days
    // A computation that fails half-way leaves no plan rows, as one that never ran.
    auto unfinished = qScopeGuard([&plan] {
        plan.endLoad();
        plan.EmptyDataSet();
    });
    // The plan rows are counted first, so that millions of them are stored without growing.
    std::vector<int> rowOfLine(size_t(n), -1);
    qint64 planRows = 0;
    for (int r = 0; r < n; ++r) {
        const TKrta07ConsumingLine p = fields.at(r);
        const int i = FSources.RowOfLine(fields.keyAt(r, p));
        rowOfLine[size_t(r)] = i;
        if (i < 0) continue;
        FSources.DayQuantities(i, days);
        if (!days.empty()) planRows += qint64(days.size()) * qint64(FSources.ItemResources(p.TB006).size());
    }
    plan.ReserveRecords(int(std::min<qint64>(planRows, std::numeric_limits<int>::max())));
    for (int r = 0; r < n; ++r) {
        if (r % 500 == 0 && FSources.Progress) FSources.Progress(r, n);
        const TKrta07ConsumingLine p = fields.at(r);
        days.clear();
        if (rowOfLine[size_t(r)] >= 0) FSources.DayQuantities(rowOfLine[size_t(r)], days);
        cells.clear();
        for (const TKrta07DayQuantity& day : days) {
            const qint64 dayNumber = qint64(std::floor(day.Date));
            auto found = dayIndex.constFind(dayNumber);
            if (found == dayIndex.cend()) {
                found = dayIndex.insert(dayNumber, int(dayTexts.size()));
                dayTexts.append(Krta07DayText(day.Date));
                dayIds.push_back(plan.PoolTextId(dayTexts.back()));
            }
            cells.push_back(*found);
        }
        if (!cells.empty()) {
            row.TF004 = plan.PoolTextId(p.TB003);
            row.TF011 = plan.PoolTextId(p.TB051);
            row.TF005 = plan.PoolTextId(p.TB004);
            row.TF006 = plan.PoolTextId(p.TB005);
            row.TF007 = plan.PoolTextId(p.TB037);
        }
        for (const TItemResource& res : FSources.ItemResources(p.TB006)) {
            FKeys.append(QStringList{res.MC002, QStringLiteral("2"), p.TB003, p.TB051, p.TB004, p.TB005,
                                     p.TB037, QString()}
                             .join(Krta07KeySeparator));
            if (cells.empty()) continue;
            auto known = resourceIndex.constFind(res.MC002);
            if (known == resourceIndex.cend()) {
                known = resourceIndex.insert(res.MC002, int(resourceIndex.size()));
                resourceIds.push_back(plan.PoolTextId(res.MC002));
            }
            const qint64 resourceId = *known;
            row.TF001 = resourceIds[size_t(resourceId)];
            for (size_t c = 0; c < cells.size(); ++c) {
                const int d = cells[c];
                const Amounts a = amountsOf(res, p.TB036, days[c].Quantity);
                row.TF002 = dayIds[size_t(d)];
                row.TF008 = a.main;
                row.TF009 = a.nonMain;
                loader.load(row);
                const qint64 key = resourceId << 32 | qint64(d);
                auto at = loadIndex.constFind(key);
                if (at == loadIndex.cend()) {
                    loadIndex.insert(key, int(FTotals.order.size()));
                    FTotals.order.push_back({res.MC002, dayTexts[d]});
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
    if (FSources.Progress) FSources.Progress(n, n);
    FTotals.days.reserve(qsizetype(FTotals.order.size()));
    for (size_t k = 0; k < FTotals.order.size(); ++k)
        FTotals.days.insert(FTotals.order[k], {loadSums[k], loadRows[k]});
    FTotals.basis = basis();
    FTotals.computed = true;
}

std::vector<TKrta07PlanRow> TKrta07Consumption::LineRows(const TKrta07ConsumingLine& line,
                                                         const std::vector<TKrta07DayQuantity>& days) {
    // The line's days, the same for every resource.
    std::vector<QString> dayTexts;
    dayTexts.reserve(days.size());
    for (const TKrta07DayQuantity& day : days)
        dayTexts.push_back(Krta07DayText(day.Date));
    std::vector<TKrta07PlanRow> rows;
    for (const TItemResource& res : FSources.ItemResources(line.TB006))
        for (size_t d = 0; d < days.size(); ++d)
            if (days[d].Quantity != 0)
                rows.push_back(
                    {res.MC002, dayTexts[d], amountsOf(res, line.TB036, days[d].Quantity), QString()});
    return rows;
}

std::vector<TKrta07PlanRow> TKrta07Consumption::StoredLineRows(int row) {
    std::vector<TKrta07PlanRow> rows;
    kv::TClientDataSet& plan = *FSources.Plan;
    const kv::TClientDataSet& lines = *FSources.Lines;
    if (!plan.Active() || !lines.Active() || row < 0 || row >= lines.RecordCount()) return rows;
    const TKrta07ConsumingLine p = lineAt(row);
    auto at = [&plan](const char* n) { return plan.FieldByName(QString::fromLatin1(n)).Index(); };
    const int tf001 = at("TF001"), tf002 = at("TF002"), tf008 = at("TF008"), tf009 = at("TF009"),
              tf010 = at("TF010");
    auto text = [&plan](int pos, int f) { return plan.valueAt(pos, f).toString().trimmed(); };
    for (const TItemResource& res : FSources.ItemResources(p.TB006))
        for (int pos : plan.LocateAll(kPlanKeyFields, planKey(res.MC002, p)))
            rows.push_back({text(pos, tf001),
                            text(pos, tf002),
                            {plan.valueAt(pos, tf008).toDouble(), plan.valueAt(pos, tf009).toDouble()},
                            text(pos, tf010)});
    return rows;
}

std::vector<TKrta07LoadKey> TKrta07Consumption::SetLineRows(int row, const std::vector<TKrta07PlanRow>& rows,
                                                            bool updateLoad) {
    kv::TClientDataSet& plan = *FSources.Plan;
    const kv::TClientDataSet& lines = *FSources.Lines;
    if (!plan.Active() || !lines.Active() || row < 0 || row >= lines.RecordCount()) return {};
    const TKrta07ConsumingLine p = lineAt(row);

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
    const auto enable = qScopeGuard([&plan] { plan.EnableControls(); });
    for (const TItemResource& res : FSources.ItemResources(p.TB006)) {
        // The line's rows of this resource are found by key and go in one step, not through a filter
        // over every plan row of the factory.
        const QVariantList key = planKey(res.MC002, p);
        for (int pos : plan.LocateAll(kPlanKeyFields, key)) {
            const LoadKey k{res.MC002, plan.valueAt(pos, tf002).toString().trimmed()};
            const Amounts a{-plan.valueAt(pos, tf008).toDouble(), -plan.valueAt(pos, tf009).toDouble()};
            delta.add(k, a);
            auto t = FTotals.days.find(k);
            if (t != FTotals.days.end()) {
                t->sum.main += a.main;
                t->sum.nonMain += a.nonMain;
                if (--t->rows <= 0) FTotals.days.erase(t);
            }
        }
        plan.DeleteMatching(kPlanKeyFields, key);
    }
    for (const TKrta07PlanRow& r : rows) {
        const LoadKey k{r.resource, r.day};
        delta.add(k, r.amounts);
        TKrta07PlanTotal& t = FTotals.days[k];
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
    // The load changes only by this line's difference; rebuilding it from every plan row would cost
    // a pass over the whole factory per edit.
    if (updateLoad) addToLoad(*FSources.Load, delta.keys, delta.sums, FSources.OtherPlans(), &FTotals);
    return delta.keys;
}
