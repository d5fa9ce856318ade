// Plan consumption without the workbench: a data module's line, plan and load sets on the small
// company of the workbench tests, with day quantities and other factories' plans given here.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <map>

#include "platform/KvError.h"
#include "platform/data/ClientDataSet.h"
#include "support/LibStrs.h"
#include "workbench/Krta07Consumption.h"
#include "workbench/Krta07SDF.h"
#include "workbench/common/WorkbenchTestSupport.h"

namespace {

class Consumption : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        dm = std::make_unique<TdmKrta07S>(nullptr, "DEMO", wbtest::sqliteCompany(FDir.path()));
        dm->FFactory = "F1";
        dm->FResource = dm->FSourceDoc = "";
        dm->FRangeStart = "20260101";
        dm->FRangeEnd = "20260131";
        dm->qryMPSTB->Open();
        const QStringList keyFields{"TB001", "TB003", "TB051", "TB004", "TB005", "TB037"};
        for (int r = 0; r < dm->qryMPSTB->RecordCount(); ++r) {
            QStringList parts;
            for (const QString& f : keyFields)
                parts << dm->qryMPSTB->valueAt(r, dm->qryMPSTB->FieldByName(f).Index()).toString().trimmed();
            rowOf.insert(parts.join(Krta07KeySeparator), r);
        }
        ASSERT_EQ(dm->qryMPSTB->RecordCount(), 9);
        TKrta07Consumption::TSources s;
        s.Lines = dm->qryMPSTB;
        s.Plan = dm->qryMPSTF;
        s.Load = dm->qryMPSTD;
        s.RowOfLine = [this](const QString& key) { return rowOf.value(key, -1); };
        s.DayQuantities = [this](int row, std::vector<TKrta07DayQuantity>& out) {
            if (row == failAt) throw EKvError("no days");
            out.clear();
            for (const auto& [day, q] : days[row])
                out.push_back({TransDateIn(day), q});
        };
        s.ItemResources = [this](const QString& item) -> const std::vector<TItemResource>& {
            return dm->ItemResources(item);
        };
        s.DaysGeneration = [this] { return daysGeneration; };
        s.ResourcesGeneration = [this] { return dm->ItemResourcesGeneration(); };
        s.OtherPlans = [this]() -> const TKrta07OtherPlans& { return others; };
        consumption = std::make_unique<TKrta07Consumption>(std::move(s));
    }

    // TD005|TD007|FLAG of a load row; "none" when the load has no such row.
    QString load(const char* resource, const char* day) const {
        kv::TClientDataSet& d = *dm->qryMPSTD;
        if (!d.Locate("TD001;TD002", {resource, day})) return "none";
        return QString("%1|%2|%3")
            .arg(d.FieldByName("TD005").AsFloat())
            .arg(d.FieldByName("TD007").AsFloat())
            .arg(d.FieldByName("FLAG").AsInteger());
    }
    std::vector<TKrta07DayQuantity> dayQuantities(int row) const {
        std::vector<TKrta07DayQuantity> out;
        for (const auto& [day, q] : days.at(row))
            out.push_back({TransDateIn(day), q});
        return out;
    }

    QTemporaryDir FDir;
    std::unique_ptr<TdmKrta07S> dm;
    QHash<QString, int> rowOf;
    std::map<int, std::map<QString, double>> days;
    quint64 daysGeneration = 1;
    int failAt = -1;
    TKrta07OtherPlans others;
    std::unique_ptr<TKrta07Consumption> consumption;
};

// Lines of F1 in row order: 0 item A (R1 2 per 10, R2 2 per 10; main R1), 1 to 3 item B (R2 1 per 1,
// R3 4 per 0; main R2), 4 item C (R1 1 per 1; main R1), 5 to 8 item D (R3; main R3).
TEST_F(Consumption, PlanRowsAndPlannedLoadComeFromTheDaysGiven) {
    days[0] = {{"20260110", 100}};
    days[1] = {{"20260106", 10}};
    days[4] = {{"20260110", 5}};
    others.insert({"R9", "20260120"}, {1.5, 0});
    others.insert({"R2", "20260110"}, {0, 3});
    consumption->ComputeAll();

    EXPECT_EQ(dm->qryMPSTF->RecordCount(), 5);
    const QStringList keys = consumption->Keys();
    ASSERT_EQ(keys.size(), 13); // every resource of every line, days or not
    EXPECT_EQ(
        keys[0],
        QStringList({"R1", "2", "1", "5101", "20260100001", "0001", "01", ""}).join(Krta07KeySeparator));
    // Main resource R1: 2 x 100 / 10 main, R2 the same non-main, next to the work orders read.
    EXPECT_EQ(load("R1", "20260110"), "25|0|5");
    EXPECT_EQ(dm->qryMPSTD->FieldByName("TD004").AsFloat(), 7);
    // A day the load lacks comes in memory (FLAG -1) with what other factories planned there.
    EXPECT_EQ(load("R2", "20260110"), "0|23|-1");
    EXPECT_EQ(load("R2", "20260106"), "10|0|999");
    // A zero divisor consumes nothing, yet the day has its row.
    EXPECT_EQ(load("R3", "20260106"), "0|0|-1");
    EXPECT_EQ(load("R9", "20260120"), "1.5|0|0");

    // Nothing the rows are made of changed: the plan set stays, the load is read again.
    const quint64 planGeneration = dm->qryMPSTF->Generation();
    others[{"R9", "20260120"}] = {2.5, 0};
    consumption->ComputeAll();
    EXPECT_EQ(dm->qryMPSTF->Generation(), planGeneration);
    EXPECT_EQ(load("R9", "20260120"), "2.5|0|0");
    EXPECT_EQ(load("R1", "20260110"), "25|0|5");
    // Days that changed are computed again.
    days[4] = {{"20260110", 7}};
    ++daysGeneration;
    consumption->ComputeAll();
    EXPECT_EQ(load("R1", "20260110"), "27|0|5");

    // A computation that fails half-way leaves no plan rows behind.
    failAt = 4;
    ++daysGeneration;
    EXPECT_THROW(consumption->ComputeAll(), EKvError);
    EXPECT_EQ(dm->qryMPSTF->RecordCount(), 0);
}

TEST_F(Consumption, ALinesRowsReplacedMoveTheLoadByTheirDifference) {
    days[0] = {{"20260110", 100}};
    days[1] = {{"20260106", 10}};
    days[4] = {{"20260110", 5}};
    others.insert({"R2", "20260110"}, {0, 3});
    consumption->ComputeAll();

    const TKrta07ConsumingLine line0{"1", "5101", "20260100001", "0001", "01", "A", "R1"};
    days[0] = {{"20260111", 50}};
    const std::vector<TKrta07PlanRow> rows = consumption->LineRows(line0, dayQuantities(0));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (TKrta07PlanRow{"R1", "20260111", {10, 0}, ""}));
    EXPECT_EQ(rows[1], (TKrta07PlanRow{"R2", "20260111", {0, 10}, ""}));
    const std::vector<TKrta07LoadKey> changed = consumption->SetLineRows(0, rows, true);
    EXPECT_EQ(changed.size(), 4u);
    EXPECT_EQ(consumption->StoredLineRows(0), rows);
    EXPECT_EQ(load("R1", "20260110"), "5|0|5");
    EXPECT_EQ(load("R1", "20260111"), "10|0|-1");
    EXPECT_EQ(load("R2", "20260111"), "0|10|-1");
    // Another factory still plans on this day: it stays, with their share only.
    EXPECT_EQ(load("R2", "20260110"), "0|3|-1");
    // A day in memory that nobody plans on any more goes; a day as read keeps its row.
    consumption->SetLineRows(1, {}, true);
    EXPECT_TRUE(consumption->StoredLineRows(1).empty());
    EXPECT_EQ(load("R3", "20260106"), "none");
    EXPECT_EQ(load("R2", "20260106"), "0|0|999");
    EXPECT_EQ(dm->qryMPSTF->RecordCount(), 3);

    // The load built anew from the kept sums is the same.
    consumption->RebuildLoad();
    EXPECT_EQ(load("R1", "20260110"), "5|0|5");
    EXPECT_EQ(load("R1", "20260111"), "10|0|-1");
    EXPECT_EQ(load("R2", "20260106"), "0|0|999");
    EXPECT_EQ(load("R3", "20260106"), "none");

    consumption->Clear();
    EXPECT_FALSE(dm->qryMPSTF->Active());
    EXPECT_FALSE(dm->qryMPSTD->Active());
    EXPECT_TRUE(consumption->Keys().isEmpty());
}

} // namespace
