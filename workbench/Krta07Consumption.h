#pragma once
// Plan consumption without a window: the plan rows (consumption source "2") that the day quantities
// of the loaded lines put on the resources of their items, and the planned columns of the resource
// load summed from them. It is fed by the data sets, the item resources and the bars' day quantities;
// the workbench keeps the charts and the overload marks that show the result.
#include <QStringList>
#include <array>
#include <functional>
#include <vector>

#include "platform/DateTime.h"
#include "workbench/Krta07SMFPlan.h"

namespace kv {
class TClientDataSet;
}
struct TItemResource;

// A day of a bar and its quantity.
struct TKrta07DayQuantity {
    kv::TDateTime Date = 0;
    double Quantity = 0;
};

// What a line's plan rows are made of besides its days: its key parts (TB003, TB051, TB004, TB005,
// TB037), its item (TB006) and its main resource (TB036).
struct TKrta07ConsumingLine {
    QString TB003, TB051, TB004, TB005, TB037, TB006, TB036;
};

class TKrta07Consumption {
public:
    struct TSources {
        // The working set of lines, one per record.
        kv::TClientDataSet* Lines = nullptr;
        // The plan rows, computed here; the set's fields are TF001 to TF011.
        kv::TClientDataSet* Plan = nullptr;
        // The resource load: opened again (its planned columns as read) before the sums go in.
        kv::TClientDataSet* Load = nullptr;
        // The bar row of the line with the key (LineKeyOf its TB001 and key parts); -1 when none.
        std::function<int(const QString& lineKey)> RowOfLine;
        // The days of row's bar whose quantity is not 0, in the bar's order.
        std::function<void(int row, std::vector<TKrta07DayQuantity>& days)> DayQuantities;
        std::function<const std::vector<TItemResource>&(const QString& item)> ItemResources;
        // Change whenever the bars' days or the item resources may have changed.
        std::function<quint64()> DaysGeneration, ResourcesGeneration;
        // The planned load of plan rows not computed here, per resource day.
        std::function<const TKrta07OtherPlans&()> OtherPlans;
        // Told how many lines are done, now and then.
        std::function<void(int done, int total)> Progress;
    };

    explicit TKrta07Consumption(TSources sources);

    // Plan rows of every line and the planned load from them and the other plans. Nothing the rows
    // are made of changed since the last time: only the load is read and summed again.
    // With keepLoadedFlags the load rows read again keep the FLAG they had (a save's guards compare
    // with what the planner loaded).
    void ComputeAll(bool keepLoadedFlags = false);
    // The load read again, with the other plans and the sums of the plan rows kept; the rows read
    // before keep the FLAG they had.
    void RebuildLoad();
    // Frees the plan rows, the load and the sums, as before the first computation.
    void Clear();

    // The plan rows of a line with these days, in the order of its item's resources, then its days.
    std::vector<TKrta07PlanRow> LineRows(const TKrta07ConsumingLine& line,
                                         const std::vector<TKrta07DayQuantity>& days);
    // Row counts the lines of the working set, as bar rows do. The plan rows of row's line, in the plan
    // set's order.
    std::vector<TKrta07PlanRow> StoredLineRows(int row);
    // Puts rows in place of the plan rows of row's line. With updateLoad the load follows by the
    // difference. The resource days whose sums changed come back.
    std::vector<TKrta07LoadKey> SetLineRows(int row, const std::vector<TKrta07PlanRow>& rows,
                                            bool updateLoad);

    // The consumption key of every resource and line the last full computation covered.
    const QStringList& Keys() const { return FKeys; }

private:
    std::array<quint64, 4> basis() const;
    TKrta07ConsumingLine lineAt(int row) const;
    void computeRows();
    // The load as read, with the other plans, then the sums in order (appending missing days).
    void loadSums(const std::vector<TKrta07LoadKey>& order, bool keepLoadedFlags = false);

    TSources FSources;
    QStringList FKeys;
    TKrta07PlanTotals FTotals;
};
