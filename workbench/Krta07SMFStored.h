#pragma once
// Rows as the database holds them, read on a connection of their own in a thread beside other work:
// the day quantities of a factory's lines (the biggest read of a load, compared with the bars when
// saving), the plan consumption rows a save compares the computed ones with, and the planned load of
// the plan rows the loaded lines do not cover.
#include <QHash>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "gantt/MyGant.h"
#include "platform/BlockVector.h"
#include "workbench/Krta07SMFPlan.h"

class TKvADOConnection;

// TransDateIn for the hundreds of thousands of day texts of a load: "yyyymmdd" to a date, 0 when
// the text is no date.
kv::TDateTime Krta07DayOf(const QString& text);
// The text as a value to bind: a null text would go to the database as NULL, which no column holds.
inline QString Krta07Text(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}
// The text a number column gives (as QVariant's), quicker for the small whole numbers days mostly hold.
QString Krta07NumberText(double value);

// A line's key parts as the day rows name them (TC002, TC009, TC003, TC004, TC005).
struct TKrta07DayLine {
    QString TB003, TB051, TB004, TB005, TB037;
    bool operator==(const TKrta07DayLine& o) const {
        return TB003 == o.TB003 && TB051 == o.TB051 && TB004 == o.TB004 && TB005 == o.TB005 &&
               TB037 == o.TB037;
    }
};
inline size_t qHash(const TKrta07DayLine& k, size_t seed = 0) {
    return qHashMulti(seed, k.TB003, k.TB051, k.TB004, k.TB005, k.TB037);
}

class TKrta07LineDays;

// The day rows of a factory as read, a few arrays side by side with each line's rows one run in
// them: hundreds of thousands of rows repeat a few thousand days, quantities and remarks, so each
// text is kept once and a row costs a few dozen bytes.
struct TKrta07DayRows {
    // The rows of the line, in the database's order; none when it has no rows.
    TKrta07LineDays find(const TKrta07DayLine& line) const;
    qsizetype rows = 0;

    // Each text once, with the date it names (0 when none); id -1 is a null.
    std::vector<QString> texts;
    std::vector<kv::TDateTime> dates;
    QHash<QString, int32_t> ids;
    // Per row: TC006 as stored, TC007 as the bar shows it, TC008 without trailing blanks (text ids);
    // TC007 as a number (0 when null) and FLAG.
    std::vector<int32_t> day, quantityText, remark;
    std::vector<double> quantity, flag;
    // Per line: its first row and the number of its rows.
    struct Run {
        int32_t first = 0, count = 0;
    };
    std::vector<Run> runs;
    QHash<TKrta07DayLine, int32_t> lines;
    // Stored rows whose day names no date, left out of the rows above: the first few as
    // "TC002 TC009-TC003-TC004 TC005: TC006", how many there were, and what they hold per line.
    static constexpr size_t kUndatedNamed = 20;
    std::vector<QString> undated;
    qsizetype undatedCount = 0;
    QHash<TKrta07DayLine, double> undatedQuantity;

    int32_t intern(const QString& text);
    const QString& text(int32_t id) const { return id < 0 ? none() : texts[size_t(id)]; }
    static const QString& none();
};

// One line's run of day rows, valid while its rows are.
class TKrta07LineDays {
public:
    TKrta07LineDays() = default;
    TKrta07LineDays(const TKrta07DayRows* rows, TKrta07DayRows::Run run) : FRows(rows), FRun(run) {}
    size_t size() const { return size_t(FRun.count); }
    // TC006 as stored, and the date it names (0 when none).
    const QString& day(size_t i) const { return FRows->text(FRows->day[at(i)]); }
    kv::TDateTime date(size_t i) const {
        const int32_t id = FRows->day[at(i)];
        return id < 0 ? 0 : FRows->dates[size_t(id)];
    }
    double quantity(size_t i) const { return FRows->quantity[at(i)]; }
    // The quantity as a day cell shows it: empty when null.
    const QString& quantityText(size_t i) const { return FRows->text(FRows->quantityText[at(i)]); }
    const QString& remark(size_t i) const { return FRows->text(FRows->remark[at(i)]); }
    double flag(size_t i) const { return FRows->flag[at(i)]; }
    // TC006 of the first and the last row; empty when there are none.
    const QString& first() const { return size() > 0 ? day(0) : TKrta07DayRows::none(); }
    const QString& last() const { return size() > 0 ? day(size() - 1) : TKrta07DayRows::none(); }

private:
    size_t at(size_t i) const { return size_t(FRun.first) + i; }
    const TKrta07DayRows* FRows = nullptr;
    TKrta07DayRows::Run FRun;
};

// A plan row's key as ids of its texts without trailing blanks: resource, day, then the line
// (TF001, TF002, TF004, TF011, TF005, TF006, TF007).
struct TKrta07PlanKey {
    int32_t id[7];
    bool operator==(const TKrta07PlanKey& o) const { return std::equal(id, id + 7, o.id); }
};
inline size_t qHash(const TKrta07PlanKey& k, size_t seed = 0) {
    return qHashBits(k.id, sizeof k.id, seed);
}

struct TKrta07StoredPlanRow {
    double main = 0, nonMain = 0; // TF008, TF009
    QString remark;               // TF010
    bool kept = false;            // the computation still has the row
};

// Stored plan rows by key, a few dozen bytes each: a large factory has millions of them, and a save
// keeps them from one save to the next. A row is its resource, day and line (an index into the lines
// met), its amounts and its remark (an index into the few remarks met); a slot table finds it.
class TKrta07PlanRows {
    struct Entry {
        double main = 0, nonMain = 0;
        int32_t resource = 0, day = 0, line = -1; // line -1: erased
        int32_t remark = -1;                      // -1: empty
    };

public:
    // A row as the save reads and changes it.
    class RemarkRef {
    public:
        RemarkRef(TKrta07PlanRows& rows, int32_t& id) : FRows(rows), FId(id) {}
        operator const QString&() const { return FRows.remarkText(FId); }
        bool operator==(const QString& text) const { return FRows.remarkText(FId) == text; }
        RemarkRef& operator=(const QString& text) {
            FId = FRows.remarkId(text);
            return *this;
        }

    private:
        TKrta07PlanRows& FRows;
        int32_t& FId;
    };
    class KeptRef {
    public:
        explicit KeptRef(uint8_t& flag) : FFlag(flag) {}
        operator bool() const { return FFlag != 0; }
        KeptRef& operator=(bool value) {
            FFlag = value ? 1 : 0;
            return *this;
        }

    private:
        uint8_t& FFlag;
    };
    struct RowRef {
        double& main;
        double& nonMain;
        RemarkRef remark;
        KeptRef kept;
    };

    class iterator {
    public:
        iterator(TKrta07PlanRows* rows, size_t at) : FRows(rows), FAt(at) { skipErased(); }
        // The row a copy refers to is made again when asked for.
        iterator(const iterator& o) : FRows(o.FRows), FAt(o.FAt) {}
        iterator& operator=(const iterator& o) {
            FRows = o.FRows;
            FAt = o.FAt;
            FRef.reset();
            return *this;
        }
        bool operator==(const iterator& o) const { return FAt == o.FAt; }
        bool operator!=(const iterator& o) const { return FAt != o.FAt; }
        iterator& operator++() {
            ++FAt;
            skipErased();
            return *this;
        }
        RowRef* operator->() {
            Entry& e = FRows->FEntries[FAt];
            FRef.emplace(RowRef{e.main, e.nonMain, RemarkRef(*FRows, e.remark), KeptRef(FRows->FKept[FAt])});
            return &*FRef;
        }
        TKrta07PlanKey key() const { return FRows->keyOf(FAt); }

    private:
        friend class TKrta07PlanRows;
        void skipErased() {
            while (FAt < FRows->FEntries.size() && FRows->FEntries[FAt].line < 0)
                ++FAt;
        }
        TKrta07PlanRows* FRows;
        size_t FAt;
        std::optional<RowRef> FRef;
    };

    TKrta07PlanRows() = default;
    TKrta07PlanRows(TKrta07PlanRows&&) = default;
    TKrta07PlanRows& operator=(TKrta07PlanRows&&) = default;

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, FEntries.size()); }
    iterator find(const TKrta07PlanKey& key);
    // A key already held gets the new row.
    void insert(const TKrta07PlanKey& key, const TKrta07StoredPlanRow& row);
    iterator erase(iterator it);
    qsizetype size() const { return FCount; }

private:
    struct LineKey {
        int32_t id[5];
        bool operator==(const LineKey& o) const { return std::equal(id, id + 5, o.id); }
    };
    friend size_t qHash(const LineKey& k, size_t seed) { return qHashBits(k.id, sizeof k.id, seed); }

    const QString& remarkText(int32_t id) const;
    int32_t remarkId(const QString& text);
    TKrta07PlanKey keyOf(size_t at) const;
    // The slot of the key, or of the empty slot it would take.
    size_t slotOf(int32_t resource, int32_t day, int32_t line) const;
    void grow();

    kv::TBlockVector<Entry> FEntries;
    kv::TBlockVector<uint8_t> FKept;
    // Entry index + 1 per slot; 0 empty. Erased entries keep their slot, so probes pass them.
    std::vector<uint32_t> FSlots;
    qsizetype FCount = 0;
    std::vector<LineKey> FLines;
    QHash<LineKey, int32_t> FLineIds;
    std::vector<QString> FRemarks;
    QHash<QString, int32_t> FRemarkIds;
};

// The stored plan rows of the resources and lines a computation covers, keyed by the ids of their
// texts: hundreds of thousands of rows repeat a few thousand texts.
struct TKrta07StoredPlan {
    std::vector<QString> texts;
    QHash<QString, int32_t> ids;
    TKrta07PlanRows rows;
    // For the rows a save wrote: the FLAG it gave each line (by line key). While every line still
    // has it, nobody has saved these lines since, and the rows are still as written.
    QHash<QString, double> lineFlags;
    int32_t find(const QString& text) const { return ids.value(text, -1); }
    int32_t intern(const QString& text);
};

// One read that runs beside other work: when beside is set and the connection has a connection
// string, in a thread of its own on a new connection from construction on; otherwise on the given
// connection when taken (inside its transaction, say). A read dropped before it is taken stops early.
template <typename Rows> class TKrta07StoredRead {
public:
    using Reader = std::function<Rows(TKvADOConnection&, const std::atomic_bool& stop)>;
    TKrta07StoredRead(TKvADOConnection& connection, Reader read, bool beside);
    ~TKrta07StoredRead();
    TKrta07StoredRead(const TKrta07StoredRead&) = delete;
    TKrta07StoredRead& operator=(const TKrta07StoredRead&) = delete;
    // Waits for the rows; throws what stopped the read.
    Rows Take() { return FResult.get(); }

private:
    std::shared_ptr<std::atomic_bool> FStop = std::make_shared<std::atomic_bool>(false);
    std::future<Rows> FResult;
};

class TKrta07DayReader : public TKrta07StoredRead<TKrta07DayRows> {
public:
    // sql takes the factory as its only parameter.
    TKrta07DayReader(TKvADOConnection& connection, const QString& sql, const QString& factory);
};

// Day rows replaced by a new load, freed on a thread of their own once that load is done; then the
// memory the process no longer uses goes back to the system, which takes a while after a large load.
class TKrta07DayRowsBin {
public:
    ~TKrta07DayRowsBin();
    void Keep(std::unique_ptr<TKrta07DayRows> rows);
    // Frees what is kept and hands unused memory back, in the background.
    void Empty();

private:
    std::unique_ptr<TKrta07DayRows> FKept;
    std::future<void> FFreeing;
};

class TKrta07PlanReader : public TKrta07StoredRead<TKrta07StoredPlan> {
public:
    // sql takes "2" (the plan kind) as its only parameter and gives TF001, TF002, TF004, TF011,
    // TF005, TF006, TF007, TF008, TF009, TF010; consumptionKeys name the resources and lines kept.
    TKrta07PlanReader(TKvADOConnection& connection, const QString& sql, const QStringList& consumptionKeys,
                      bool beside);
};

// The planned load of the plan rows the loaded lines do not cover, per resource and day: what other
// factories planned, and the lines of this one that a narrower query left out.
class TKrta07OtherPlanReader : public TKrta07StoredRead<TKrta07OtherPlans> {
public:
    // sql takes the line conditions TB001, TB036 and TB004 and gives TF001, TF002, TF008, TF009.
    TKrta07OtherPlanReader(TKvADOConnection& connection, const QString& sql, const QString& factory,
                           const QString& resource, const QString& sourceDoc);
};
