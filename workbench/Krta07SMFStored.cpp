#include "workbench/Krta07SMFStored.h"

#include <QSet>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "frame/KvADO.h"
#include "platform/KvError.h"

// Eight digits are one byte each in every code page, so the byte count needs no conversion.
kv::TDateTime Krta07DayOf(const QString& text) {
    if (text.size() != 8) return 0;
    int v[8];
    for (int i = 0; i < 8; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return 0;
        v[i] = c - u'0';
    }
    kv::TDateTime result = 0;
    if (!kv::tryEncodeDate(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7],
                           result))
        return 0;
    return result;
}

QString Krta07NumberText(double value) {
    // Up to five digits a whole number reads the same either way; from 1e+05 on QVariant's text
    // may take an exponent.
    if (std::fabs(value) < 100000 && value == std::trunc(value)) return QString::number(qint64(value));
    return QVariant(value).toString();
}

int32_t TKrta07DayRows::intern(const QString& text) {
    auto it = ids.constFind(text);
    if (it != ids.cend()) return *it;
    const auto id = int32_t(texts.size());
    texts.push_back(text);
    dates.push_back(Krta07DayOf(text));
    ids.insert(text, id);
    return id;
}

const QString& TKrta07DayRows::none() {
    static const QString text;
    return text;
}

TKrta07LineDays TKrta07DayRows::find(const TKrta07DayLine& line) const {
    auto found = lines.constFind(line);
    return found == lines.cend() ? TKrta07LineDays() : TKrta07LineDays(this, runs[size_t(*found)]);
}

namespace {

inline size_t rowHash(int32_t resource, int32_t day, int32_t line) {
    uint64_t h = uint64_t(uint32_t(resource)) * 0x9E3779B97F4A7C15ULL;
    h ^= (uint64_t(uint32_t(day)) + 0x632BE59BD9B4E019ULL + (h << 6) + (h >> 2)) * 0xBF58476D1CE4E5B9ULL;
    h ^= (uint64_t(uint32_t(line)) + 0x94D049BB133111EBULL + (h << 6) + (h >> 2)) * 0x94D049BB133111EBULL;
    return size_t(h ^ (h >> 31));
}

} // namespace

const QString& TKrta07PlanRows::remarkText(int32_t id) const {
    return id < 0 ? TKrta07DayRows::none() : FRemarks[size_t(id)];
}

int32_t TKrta07PlanRows::remarkId(const QString& text) {
    if (text.isEmpty()) return -1;
    auto it = FRemarkIds.constFind(text);
    if (it != FRemarkIds.cend()) return *it;
    const auto id = int32_t(FRemarks.size());
    FRemarks.push_back(text);
    FRemarkIds.insert(text, id);
    return id;
}

TKrta07PlanKey TKrta07PlanRows::keyOf(size_t at) const {
    const Entry& e = FEntries[at];
    TKrta07PlanKey key;
    key.id[0] = e.resource;
    key.id[1] = e.day;
    std::copy(FLines[size_t(e.line)].id, FLines[size_t(e.line)].id + 5, key.id + 2);
    return key;
}

size_t TKrta07PlanRows::slotOf(int32_t resource, int32_t day, int32_t line) const {
    const size_t mask = FSlots.size() - 1;
    for (size_t s = rowHash(resource, day, line) & mask;; s = (s + 1) & mask) {
        const uint32_t at = FSlots[s];
        if (at == 0) return s;
        const Entry& e = FEntries[at - 1];
        if (e.resource == resource && e.day == day && e.line == line) return s;
    }
}

TKrta07PlanRows::iterator TKrta07PlanRows::find(const TKrta07PlanKey& key) {
    if (FSlots.empty()) return end();
    LineKey line;
    std::copy(key.id + 2, key.id + 7, line.id);
    auto known = FLineIds.constFind(line);
    if (known == FLineIds.cend()) return end();
    const uint32_t at = FSlots[slotOf(key.id[0], key.id[1], *known)];
    return at == 0 ? end() : iterator(this, at - 1);
}

void TKrta07PlanRows::grow() {
    // Slots at most three quarters full, erased entries included.
    if (!FSlots.empty() && (FEntries.size() + 1) * 4 <= FSlots.size() * 3) return;
    std::vector<uint32_t>(std::max<size_t>(64, std::bit_ceil((FEntries.size() + 1) * 3 / 2))).swap(FSlots);
    for (size_t i = 0; i < FEntries.size(); ++i) {
        const Entry& e = FEntries[i];
        if (e.line >= 0) FSlots[slotOf(e.resource, e.day, e.line)] = uint32_t(i + 1);
    }
}

void TKrta07PlanRows::insert(const TKrta07PlanKey& key, const TKrta07StoredPlanRow& row) {
    LineKey line;
    std::copy(key.id + 2, key.id + 7, line.id);
    auto known = FLineIds.constFind(line);
    if (known == FLineIds.cend()) {
        known = FLineIds.insert(line, int32_t(FLines.size()));
        FLines.push_back(line);
    }
    grow();
    const size_t slot = slotOf(key.id[0], key.id[1], *known);
    if (FSlots[slot] != 0) {
        Entry& e = FEntries[FSlots[slot] - 1];
        e.main = row.main;
        e.nonMain = row.nonMain;
        e.remark = remarkId(row.remark);
        FKept[FSlots[slot] - 1] = row.kept ? 1 : 0;
        return;
    }
    FEntries.push_back({row.main, row.nonMain, key.id[0], key.id[1], *known, remarkId(row.remark)});
    FKept.push_back(row.kept ? 1 : 0);
    FSlots[slot] = uint32_t(FEntries.size());
    ++FCount;
}

TKrta07PlanRows::iterator TKrta07PlanRows::erase(iterator it) {
    // The entry stays as a mark its slot's probes pass; the slots are made anew when they fill.
    FEntries[it.FAt].line = -1;
    --FCount;
    return iterator(this, it.FAt + 1);
}

int32_t TKrta07StoredPlan::intern(const QString& text) {
    auto it = ids.constFind(text);
    if (it != ids.cend()) return *it;
    const auto id = int32_t(texts.size());
    texts.push_back(text);
    ids.insert(text, id);
    return id;
}

namespace {

// Columns of the day statement: TC001, TC002, TC003, TC004, TC005, TC006, TC007, TC008, TC009, FLAG.
enum { cTC002 = 1, cTC003, cTC004, cTC005, cTC006, cTC007, cTC008, cTC009, cFLAG };

// Texts of one column as read: a factory's hundreds of thousands of day rows repeat a few hundred
// days and remarks, each made a text once.
class TReadTexts {
public:
    template <class Make> int32_t id(QStringView read, Make make) {
        FKey.resize(read.size());
        if (!read.isEmpty()) std::memcpy(FKey.data(), read.data(), size_t(read.size()) * sizeof(QChar));
        auto it = FIds.constFind(FKey);
        if (it == FIds.cend()) it = FIds.insert(FKey, make(FKey));
        return *it;
    }

private:
    QString FKey;
    QHash<QString, int32_t> FIds;
};

TKrta07DayRows readDays(TKvADOConnection& c, const QString& sql, const QString& factory,
                        const std::atomic_bool& stop) {
    TKvADORowReader r(c, c.translated(sql, QStringLiteral("S")), {factory});
    TKrta07DayRows result;
    // The line of each row while reading; its rows are brought together at the end if they came apart.
    std::vector<int32_t> lineOf;
    bool apart = false;
    int32_t line = -1;
    TKrta07DayLine key;
    // The row's line as read, and its key parts as stored: a line's rows mostly come one after the
    // other, so its texts are made once.
    static constexpr int kKeyColumns[] = {cTC002, cTC009, cTC003, cTC004, cTC005};
    QString raw[std::size(kKeyColumns)];
    bool rawRead = false;
    TKrta07DayLine k;
    // Quantity texts by the bits of the number: a factory has a few hundred distinct quantities.
    QHash<quint64, int32_t> quantityIds;
    TReadTexts dayIds, remarkIds;
    auto pooled = [&result](const QString& text) -> QString { return result.text(result.intern(text)); };
    while (r.Next()) {
        if ((result.rows & 4095) == 0 && stop) break;
        bool sameLine = rawRead;
        for (size_t i = 0; i < std::size(kKeyColumns) && sameLine; ++i)
            sameLine = r.Text(kKeyColumns[i]) == raw[i];
        if (!sameLine) {
            QString* parts[] = {&k.TB003, &k.TB051, &k.TB004, &k.TB005, &k.TB037};
            for (size_t i = 0; i < std::size(kKeyColumns); ++i) {
                raw[i] = r.String(kKeyColumns[i]);
                *parts[i] = Krta07RTrim(raw[i]);
            }
            rawRead = true;
        }
        const int32_t day = dayIds.id(
            r.Text(cTC006), [&result](const QString& text) { return result.intern(text.trimmed()); });
        if (result.dates[size_t(day)] == 0 && result.text(day) != QLatin1String("18991230")) {
            // A day no bar can place stays out of the rows: the save then neither rewrites nor deletes it.
            // (18991230 is day zero, a date.)
            if (result.undated.size() < TKrta07DayRows::kUndatedNamed)
                result.undated.push_back(
                    QStringLiteral("%1 %2-%3-%4 %5: %6")
                        .arg(k.TB003, k.TB051, k.TB004, k.TB005, k.TB037, result.text(day)));
            ++result.undatedCount;
            result.undatedQuantity[k] += r.Number(cTC007);
            continue;
        }
        // A line's rows mostly come one after the other.
        if (line < 0 || !(k == key)) {
            key = {pooled(k.TB003), pooled(k.TB051), pooled(k.TB004), pooled(k.TB005), pooled(k.TB037)};
            auto found = result.lines.constFind(key);
            if (found == result.lines.cend()) {
                line = int32_t(result.runs.size());
                result.lines.insert(key, line);
                result.runs.push_back({int32_t(result.rows), 0});
            } else {
                line = *found;
                apart = true;
            }
        }
        ++result.runs[size_t(line)].count;
        lineOf.push_back(line);
        result.day.push_back(day);
        const bool noQuantity = r.IsNull(cTC007);
        const double amount = noQuantity ? 0 : r.Number(cTC007);
        int32_t text = -1;
        if (!noQuantity) {
            quint64 bits;
            std::memcpy(&bits, &amount, sizeof bits);
            auto known = quantityIds.constFind(bits);
            // The text a number field gives, whatever type the driver hands over.
            if (known == quantityIds.cend())
                known = quantityIds.insert(bits, result.intern(Krta07NumberText(amount)));
            text = *known;
        }
        result.quantityText.push_back(text);
        result.quantity.push_back(amount);
        result.remark.push_back(remarkIds.id(
            r.Text(cTC008), [&result](const QString& text) { return result.intern(Krta07RTrim(text)); }));
        result.flag.push_back(r.Number(cFLAG));
        ++result.rows;
    }
    // Rows taken in a new order: every column follows.
    auto reorder = [&result](const std::vector<int32_t>& order) {
        auto apply = [&order](auto& v) {
            std::remove_reference_t<decltype(v)> sorted(v.size());
            for (size_t i = 0; i < order.size(); ++i)
                sorted[i] = v[size_t(order[i])];
            v.swap(sorted);
        };
        apply(result.day);
        apply(result.quantityText);
        apply(result.remark);
        apply(result.quantity);
        apply(result.flag);
    };
    if (apart) {
        // Each line's rows in one run, in the order they came.
        std::vector<int32_t> next(result.runs.size());
        int32_t first = 0;
        for (size_t l = 0; l < result.runs.size(); ++l) {
            result.runs[l].first = next[l] = first;
            first += result.runs[l].count;
        }
        std::vector<int32_t> order(lineOf.size());
        for (size_t r = 0; r < lineOf.size(); ++r)
            order[size_t(next[size_t(lineOf[r])]++)] = int32_t(r);
        reorder(order);
    }
    // A line's bar runs from its first row to its last: each run in day order, whatever order the
    // engine read the table in (a server reads updated rows where they were written last).
    const auto dateOf = [&result](int32_t row) { return result.dates[size_t(result.day[size_t(row)])]; };
    std::vector<int32_t> order;
    for (const auto& run : result.runs) {
        const int32_t end = run.first + run.count;
        bool ascending = true;
        for (int32_t r = run.first + 1; r < end && ascending; ++r)
            ascending = dateOf(r - 1) <= dateOf(r);
        if (ascending) continue;
        if (order.empty()) {
            order.resize(result.day.size());
            std::iota(order.begin(), order.end(), 0);
        }
        std::stable_sort(order.begin() + run.first, order.begin() + end,
                         [&dateOf](int32_t a, int32_t b) { return dateOf(a) < dateOf(b); });
    }
    if (!order.empty()) reorder(order);
    for (auto* v : {&result.day, &result.quantityText, &result.remark})
        v->shrink_to_fit();
    result.quantity.shrink_to_fit();
    result.flag.shrink_to_fit();
    return result;
}

// Resource and line of a plan row as text ids: TF001, TF004, TF011, TF005, TF006, TF007.
struct PlanLine {
    int32_t id[6];
    bool operator==(const PlanLine& o) const { return std::equal(id, id + 6, o.id); }
};
size_t qHash(const PlanLine& k, size_t seed = 0) {
    return qHashBits(k.id, sizeof k.id, seed);
}

TKrta07StoredPlan readPlan(TKvADOConnection& c, const QString& sql, const QStringList& consumptionKeys,
                           const std::atomic_bool& stop) {
    TKrta07StoredPlan result;
    // A key is resource, "2", then the five line parts.
    QSet<PlanLine> covered;
    covered.reserve(consumptionKeys.size());
    for (const QString& key : consumptionKeys) {
        const QStringList p = key.split(Krta07KeySeparator);
        if (p.size() < 7) continue;
        PlanLine line;
        line.id[0] = result.intern(Krta07RTrim(p[0]));
        for (int i = 1; i < 6; ++i)
            line.id[i] = result.intern(Krta07RTrim(p[i + 1]));
        covered.insert(line);
    }
    TKvADORowReader r(c, c.translated(sql, QStringLiteral("S")), {QStringLiteral("2")});
    const auto text = [&r](int column) { return Krta07RTrim(r.String(column)); };
    PlanLine line;
    TKrta07PlanKey key;
    for (qint64 n = 0; r.Next(); ++n) {
        if ((n & 4095) == 0 && stop) break;
        // Columns: TF001, TF002, then the line parts TF004, TF011, TF005, TF006, TF007. A text no
        // consumption key holds names a line the computation does not cover.
        bool known = (line.id[0] = result.find(text(0))) >= 0;
        for (int i = 1; i < 6 && known; ++i)
            known = (line.id[i] = result.find(Krta07RTrim(r.String(i + 1)))) >= 0;
        if (!known || !covered.contains(line)) continue;
        key.id[0] = line.id[0];
        key.id[1] = result.intern(text(1));
        std::copy(line.id + 1, line.id + 6, key.id + 2);
        TKrta07StoredPlanRow row;
        row.main = r.Number(7);
        row.nonMain = r.Number(8);
        row.remark = text(9);
        result.rows.insert(key, row);
    }
    return result;
}

TKrta07OtherPlans readOtherPlans(TKvADOConnection& c, const QString& sql,
                                 const QHash<QString, QString>& params, const std::atomic_bool& stop) {
    const QStringList names = kv::ado::parameterNames(sql);
    const kv::ado::TranslatedSql& t = c.translated(sql, QString(names.size(), QLatin1Char('S')));
    QVariantList values;
    for (const QString& marker : t.markers)
        values << Krta07Text(params.value(marker.toUpper()));
    TKvADORowReader r(c, t, values);
    const auto text = [&r](int column) { return Krta07RTrim(r.String(column)); };
    TKrta07OtherPlans result;
    for (qint64 n = 0; r.Next(); ++n) {
        if ((n & 4095) == 0 && stop) break;
        TKrta07Amounts& sum = result[{text(0), text(1)}];
        sum.main += r.Number(2);
        sum.nonMain += r.Number(3);
    }
    return result;
}

} // namespace

template <typename Rows>
TKrta07StoredRead<Rows>::TKrta07StoredRead(TKvADOConnection& connection, Reader read, bool beside) {
    const QString cs = connection.ConnectionString();
    if (!beside || cs.isEmpty()) {
        FResult = std::async(std::launch::deferred, [&connection, read = std::move(read), stop = FStop] {
            return read(connection, *stop);
        });
        return;
    }
    // The reader's connection opens the company database as the workbench's does: never makes one.
    const bool existingOnly = connection.openExistingOnly();
    FResult = std::async(std::launch::async, [cs, existingOnly, read = std::move(read), stop = FStop] {
        TKvADOConnection own;
        own.SetConnectionString(cs);
        own.setOpenExistingOnly(existingOnly);
        own.setReadsOnce(true);
        own.Open();
        return read(own, *stop);
    });
}

template <typename Rows> TKrta07StoredRead<Rows>::~TKrta07StoredRead() {
    // A thread still reading stops at its next rows and is waited for; a read that never started
    // is dropped.
    *FStop = true;
    if (FResult.valid() && FResult.wait_for(std::chrono::seconds(0)) != std::future_status::deferred)
        FResult.wait();
}

template class TKrta07StoredRead<TKrta07DayRows>;
template class TKrta07StoredRead<TKrta07StoredPlan>;
template class TKrta07StoredRead<TKrta07OtherPlans>;

TKrta07DayReader::TKrta07DayReader(TKvADOConnection& connection, const QString& sql, const QString& factory)
    : TKrta07StoredRead(
          connection,
          [sql, factory](TKvADOConnection& c, const std::atomic_bool& stop) {
              return readDays(c, sql, factory, stop);
          },
          true) {}

TKrta07DayRowsBin::~TKrta07DayRowsBin() {
    if (FFreeing.valid()) FFreeing.wait();
}

void TKrta07DayRowsBin::Keep(std::unique_ptr<TKrta07DayRows> rows) {
    // Rows kept by a load that failed before its end go now.
    Empty();
    FKept = std::move(rows);
}

void TKrta07DayRowsBin::Empty() {
    // The freeing before, if still going, ends first.
    if (FFreeing.valid()) FFreeing.wait();
    FFreeing = std::async(std::launch::async, [rows = std::move(FKept)]() mutable {
        rows.reset();
#ifdef __GLIBC__
        // What the load before held, and what this one no longer needs, goes back to the system: the
        // allocator would keep it for allocations of sizes the next load may not make.
        malloc_trim(0);
#endif
    });
}

TKrta07PlanReader::TKrta07PlanReader(TKvADOConnection& connection, const QString& sql,
                                     const QStringList& consumptionKeys, bool beside)
    : TKrta07StoredRead(
          connection,
          [sql, consumptionKeys](TKvADOConnection& c, const std::atomic_bool& stop) {
              return readPlan(c, sql, consumptionKeys, stop);
          },
          beside) {}

TKrta07OtherPlanReader::TKrta07OtherPlanReader(TKvADOConnection& connection, const QString& sql,
                                               const QString& factory, const QString& resource,
                                               const QString& sourceDoc)
    : TKrta07StoredRead(
          connection,
          [sql, params = QHash<QString, QString>{{QStringLiteral("TB001"), factory},
                                                 {QStringLiteral("TB036"), resource},
                                                 {QStringLiteral("TB004"), sourceDoc}}](
              TKvADOConnection& c, const std::atomic_bool& stop) {
              return readOtherPlans(c, sql, params, stop);
          },
          true) {}
