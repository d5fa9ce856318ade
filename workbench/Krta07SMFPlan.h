#pragma once
// Sums of plan consumption per resource and day, shared by the consumption passes.
#include <QHash>
#include <QString>
#include <array>
#include <vector>

#include "platform/DateTime.h"

// "yyyymmdd" of a date-time.
QString Krta07DayText(kv::TDateTime date);

// Joins the parts of a record key: a line's key, a consumption key, a resource day.
inline constexpr QChar Krta07KeySeparator(5);

// A text of the database without the blanks that fixed-width columns of some servers pad it with. The
// parts of a line's key (TB001, TB003, TB051, TB004, TB005, TB037 and the columns of the day and plan
// rows that repeat them) are held so in every key of the workbench, as the database compares
// fixed-width texts and the data sets' look-ups do. A leading blank is part of the stored value:
// dropped, the line's days and plan rows would no longer be found under it.
inline QString Krta07RTrim(const QString& text) {
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1) == u' ')
        --n;
    return n == text.size() ? text : text.left(n);
}

struct TKrta07Amounts {
    double main = 0, nonMain = 0;
};

// A plan row of one line: the resource and day it loads, and by how much.
struct TKrta07PlanRow {
    QString resource, day;
    TKrta07Amounts amounts;
    QString remark;
    bool operator==(const TKrta07PlanRow& o) const {
        return resource == o.resource && day == o.day && amounts.main == o.amounts.main &&
               amounts.nonMain == o.amounts.nonMain && remark == o.remark;
    }
};

struct TKrta07LoadKey {
    QString resource, day;
    bool operator==(const TKrta07LoadKey& o) const { return resource == o.resource && day == o.day; }
};
inline size_t qHash(const TKrta07LoadKey& k, size_t seed = 0) {
    return qHashMulti(seed, k.resource, k.day);
}

struct TKrta07PlanTotal {
    TKrta07Amounts sum;
    int rows = 0; // plan rows adding to this resource day
};

struct TKrta07PlanTotals {
    QHash<TKrta07LoadKey, TKrta07PlanTotal> days;
    // The resource days in the order the last full computation first met them, and what that
    // computation was made from (generations of the lines, the bars, the item resources and the
    // plan rows it wrote): while all four are unchanged, its plan rows are still the result.
    std::vector<TKrta07LoadKey> order;
    std::array<quint64, 4> basis{};
    bool computed = false;
};

// Planned load per resource and day of plan rows the workbench does not compute.
using TKrta07OtherPlans = QHash<TKrta07LoadKey, TKrta07Amounts>;
