// The schedule Gantt driven with real mouse events: day texts follow their days, bars snap to days.
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "gantt/MyGant.h"
#include "gantt/phGrid.h"
#include "gantt/phScaler.h"

namespace {

using kv::encodeDate;
const double D0 = encodeDate(2024, 5, 1);

struct Chart {
    TMyGant g;
    std::vector<int> changed; // indexes of items reported, in order
    Chart() {
        g.resize(900, 300);
        g.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&g));
        g.SetStart(D0);
        g.SetStop(D0 + 20);
        g.OnGantItemChangePos = [this](TMyGantItem* item) { changed.push_back(item->Index()); };
    }
    TMyGantItem* add(int startDay, int days) {
        TMyGantItem* item =
            g.MyGantList()->AddItem(0x00FFC080, days, D0 + startDay + days + 2, D0 + startDay);
        for (int k = 0; k < days; ++k)
            item->SetDayTexts(QString::number(10 * (k + 1)), QStringLiteral("r%1").arg(k + 1),
                              D0 + startDay + k);
        return item;
    }
    void settle() {
        g.GantArea()->repaint();
        g.UpdateAllGeometry();
    }
    QRect bar(TMyGantItem* item) { return g.ItemRect(item->Bar); }
    double pxPerDay() { return g.Scaler()->PixelAtDate(D0 + 11) - g.Scaler()->PixelAtDate(D0 + 10); }
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* area = g.GantArea();
        QTest::mousePress(area, Qt::LeftButton, mods, from);
        QTest::mouseMove(area, (from + to) / 2);
        QTest::mouseMove(area, to);
        QTest::mouseRelease(area, Qt::LeftButton, mods, to);
    }
    // Texts by date, as the workbench reads them.
    QString quantityOn(TMyGantItem* item, double day) {
        for (int k = 0; k < item->CellCount(); ++k)
            if (item->CellStart(k) >= day && item->CellStop(k) < day + 1) return item->CellQuantity(k);
        return QStringLiteral("<none>");
    }
};

} // namespace

TEST(MyGant, AddItemBuildsBarDayCellsAndMarker) {
    Chart c;
    TMyGantItem* item = c.add(2, 4);
    ASSERT_NE(item->Bar, nullptr);
    EXPECT_EQ(item->Bar->Style, 8);
    EXPECT_TRUE(item->Bar->CanEdit);
    EXPECT_EQ(item->CellCount(), 4);
    TphDataList* list = item->Bar->Owner;
    ASSERT_EQ(list->Count(), 6); // bar, marker, 4 cells
    auto* cell1 = static_cast<TphDataEntity_GantTime*>(list->Get(TMyGantItem::kFirstCell));
    EXPECT_DOUBLE_EQ(cell1->StartTime, D0 + 2.1);
    EXPECT_DOUBLE_EQ(cell1->StopTime, D0 + 2.9);
    EXPECT_EQ(cell1->UserValue, 1);
    EXPECT_EQ(cell1->TopInset, 2);
    EXPECT_EQ(cell1->Texts->Items(1)->Offset, QPoint(100, 0));
    auto* marker = static_cast<TphDataEntity_GantTime*>(list->Get(TMyGantItem::kMarker));
    EXPECT_EQ(marker->Color, clRed);
    EXPECT_DOUBLE_EQ(marker->StartTime, D0 + 8);
    EXPECT_EQ(item->RowNode->CellText(0), QStringLiteral("a new row"));
    EXPECT_EQ(item->SavedDates().value(0), QStringLiteral("2024/05/03"));
    EXPECT_DOUBLE_EQ(item->GetDayValue(D0 + 3), 20);

    // No days: a bar without length, no cells, only the marker; -1 starts at the scaler's start.
    TMyGantItem* empty = c.g.MyGantList()->AddItem(clGreen, 0, D0 + 5, -1);
    EXPECT_DOUBLE_EQ(empty->Bar->StartTime, c.g.Start());
    EXPECT_DOUBLE_EQ(empty->Bar->StopTime, c.g.Start());
    EXPECT_EQ(empty->CellCount(), 0);
    EXPECT_EQ(empty->Bar->Owner->Count(), 2);
    c.settle();
    EXPECT_EQ(c.g.ItemRect(empty->Bar).width(), 5);
}

TEST(MyGant, DayValuesAndSnapshotEdges) {
    Chart c;
    TMyGantItem* item = c.add(0, 3);
    item->SetDayTexts(QStringLiteral("abc"), QString(), D0 + 1);
    EXPECT_DOUBLE_EQ(item->GetDayValue(D0 + 1), 0);
    EXPECT_DOUBLE_EQ(item->GetDayValue(D0 + 9), 0);
    const QStringList before = item->SavedQuantities();
    item->SetDayTexts(QStringLiteral("5"), QString(), D0 + 10); // outside: nothing changes
    EXPECT_EQ(item->SavedQuantities(), before);
    item->ClearDayTexts();
    EXPECT_EQ(item->SavedQuantities(), QStringList({"", "", ""}));

    // Quantities as a planner may type them: plain digits take a shorter road than the rest, with
    // the same result.
    const std::pair<const char*, double> texts[] = {{" 12 ", 12},
                                                    {"007", 7},
                                                    {"1.5", 1.5},
                                                    {"-3", -3},
                                                    {"+4", 4},
                                                    {"1e2", 100},
                                                    {"1,200", 0},
                                                    {"12a", 0},
                                                    {"", 0},
                                                    {"  ", 0},
                                                    {"1 2", 0},
                                                    {"999999999999999", 999999999999999.0},
                                                    {"1234567890123456", 1234567890123456.0}};
    std::vector<double> values;
    for (const auto& [text, value] : texts) {
        item->SetDayTexts(QString::fromLatin1(text), QString(), D0);
        EXPECT_DOUBLE_EQ(item->GetDayValue(D0), value) << text;
        item->DayCellValues(values);
        EXPECT_DOUBLE_EQ(values.at(0), value) << text;
    }
}

// Texts of many days at once and the values of every cell agree with the one-day calls, also for
// a bar with a fractional start and after the bar moved.
TEST(MyGant, ManyDaysAtOnceAgreeWithOneDayAtATime) {
    Chart c;
    for (double start : {3.0, 3.4, 3.6}) {
        TMyGantItem* one = c.g.MyGantList()->AddItem(clBlue, 5, D0 + 9, D0 + start);
        TMyGantItem* many = c.g.MyGantList()->AddItem(clBlue, 5, D0 + 9, D0 + start);
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1)
                for (TMyGantItem* item : {one, many})
                    item->MoveByDays(1);
            std::vector<TMyGantDayTexts> days;
            for (int k = -1; k < 7; ++k)
                days.push_back({D0 + 3 + k, QString::number(pass * 100 + k), QStringLiteral("r%1").arg(k)});
            days.push_back({D0 + 4, QStringLiteral("x"), QString()}); // the last text of a day wins
            for (const TMyGantDayTexts& d : days)
                one->SetDayTexts(d.Quantity, d.Remark, d.Date);
            many->SetDayTextsOf(days);
            EXPECT_EQ(many->SavedQuantities(), one->SavedQuantities());
            EXPECT_EQ(many->SavedRemarks(), one->SavedRemarks());
            EXPECT_EQ(many->SavedDates(), one->SavedDates());
            std::vector<double> values;
            many->DayCellValues(values);
            ASSERT_EQ(values.size(), size_t(one->CellCount()));
            for (size_t i = 0; i < values.size(); ++i)
                EXPECT_EQ(values[i], one->GetDayValue(one->CellStart(int(i)))) << start << " " << i;
        }
    }
}

TEST(MyGant, MoveByDaysCarriesTextsWithoutReporting) {
    Chart c;
    TMyGantItem* item = c.add(2, 3);
    item->MoveByDays(4);
    EXPECT_DOUBLE_EQ(item->Start, D0 + 6);
    EXPECT_EQ(c.quantityOn(item, D0 + 6), QStringLiteral("10"));
    EXPECT_EQ(c.quantityOn(item, D0 + 8), QStringLiteral("30"));
    item->MoveByDays(-1);
    EXPECT_EQ(c.quantityOn(item, D0 + 5), QStringLiteral("10"));
    EXPECT_TRUE(c.changed.empty());
}

TEST(MyGant, ShiftingTheSnapshotFromADayInside) {
    Chart c;
    TMyGantItem* item = c.add(0, 4);
    const QStringList dates{"2024/05/01", "2024/05/02", "2024/05/03", "2024/05/04"};
    ASSERT_EQ(item->SavedDates(), dates);
    // From a later day forwards: that day and the ones after it move.
    item->ShiftSavedDates("2024/05/03", 2);
    EXPECT_EQ(item->SavedDates(), (QStringList{"2024/05/01", "2024/05/02", "2024/05/05", "2024/05/06"}));
    // From a later day backwards: only the days before it move.
    item->ShiftSavedDates("2024/05/02", -3);
    EXPECT_EQ(item->SavedDates(), (QStringList{"2024/04/28", "2024/05/02", "2024/05/05", "2024/05/06"}));
    // A day the snapshot does not hold, or its first day: every day moves, across a month's end.
    item->ShiftSavedDates("2024/06/30", 1);
    EXPECT_EQ(item->SavedDates(), (QStringList{"2024/04/29", "2024/05/03", "2024/05/06", "2024/05/07"}));
    item->ShiftSavedDates("2024/04/29", -1);
    EXPECT_EQ(item->SavedDates(), (QStringList{"2024/04/28", "2024/05/02", "2024/05/05", "2024/05/06"}));
    // The texts follow their shifted dates when the cells are built again.
    item->RemoveDayCells(item->Bar);
    item->BuildDayCells(item->Bar);
    EXPECT_EQ(c.quantityOn(item, D0 + 1), QStringLiteral("20"));
    EXPECT_EQ(c.quantityOn(item, D0), QString());
}

TEST(MyGant, DraggingBarThreeDaysCarriesEveryDayText) {
    Chart c;
    TMyGantItem* item = c.add(2, 4);
    c.settle();
    const QRect r = c.bar(item);
    // The bar shows above its day cells (they are inset by 2 pixels).
    const QPoint from(r.center().x(), r.top() + 1);
    ASSERT_EQ(c.g.TimeAt(from.x(), from.y()), item->Bar);
    c.drag(from, from + QPoint(int(3 * c.pxPerDay()), 0));
    EXPECT_DOUBLE_EQ(item->Bar->StartTime, D0 + 5);
    EXPECT_DOUBLE_EQ(item->Bar->StopTime, D0 + 9);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(c.quantityOn(item, D0 + 5 + k), QString::number(10 * (k + 1))) << k;
    EXPECT_EQ(item->SavedDates().value(0), QStringLiteral("2024/05/06"));
    EXPECT_EQ(c.changed, std::vector<int>({0}));
    EXPECT_EQ(c.g.MouseState(), 0);
}

TEST(MyGant, StretchingByADayKeepsTextsAndAddsAnEmptyCell) {
    Chart c;
    TMyGantItem* item = c.add(2, 4);
    c.settle();
    const QRect r = c.bar(item);
    const int right = r.left() + r.width();
    c.drag(QPoint(right - 3, r.top() + 1), QPoint(right - 3 + int(c.pxPerDay()), r.top() + 1));
    EXPECT_DOUBLE_EQ(item->Bar->StartTime, D0 + 2);
    EXPECT_DOUBLE_EQ(item->Bar->StopTime, D0 + 7);
    ASSERT_EQ(item->CellCount(), 5);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(c.quantityOn(item, D0 + 2 + k), QString::number(10 * (k + 1)));
    EXPECT_EQ(c.quantityOn(item, D0 + 6), QString());
    EXPECT_EQ(c.changed.size(), 1u);
}

// An edge released at noon (a zoom whose snap steps reach it): the bar snaps to whole days and has
// a cell for each of them, every text still on its own date.
TEST(MyGant, AnEdgeReleasedAtNoonLeavesACellForEveryDayOfTheBar) {
    for (const double edge : {-1.5, -0.5, 0.5, 2.5}) {
        SCOPED_TRACE(edge);
        Chart c;
        TMyGantItem* item = c.add(4, 4); // days 4 to 7
        c.settle();
        const QRect r = c.bar(item);
        QTest::mouseClick(c.g.GantArea(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(r.center().x(), r.top() + 1));
        ASSERT_TRUE(item->Bar->Selected);
        // As the control leaves the bar after such a release, and reports it.
        if (edge < 1)
            item->Bar->StartTime = D0 + 4 + edge;
        else
            item->Bar->StopTime = D0 + 8 + edge - 2;
        c.g.OnChangeDataEntity_GantTime(&c.g, item->Bar);
        const double start = item->Bar->StartTime, stop = item->Bar->StopTime;
        EXPECT_EQ(start, std::floor(start));
        EXPECT_EQ(stop, std::floor(stop));
        EXPECT_EQ(item->CellCount(), int(stop - start));
        for (int k = 0; k < item->CellCount(); ++k)
            EXPECT_DOUBLE_EQ(std::floor(item->CellStart(k)), start + k);
        for (int k = 0; k < 4; ++k) {
            if (D0 + 4 + k >= start && D0 + 4 + k < stop) {
                EXPECT_EQ(c.quantityOn(item, D0 + 4 + k), QString::number(10 * (k + 1)));
            }
        }
    }
}

// A move released at any pixel, noon included (a zoom whose snap steps reach it): the bar keeps its
// length, and every text goes along to its new day. Both ends of a bar of an odd number of days
// released at noon round to even days in opposite directions.
TEST(MyGant, AMoveToAnyPixelKeepsTheBarsLengthAndEveryText) {
    // 17 days on the chart give snap steps of 30 minutes, which reach noon.
    const int kDaysShown = 17;
    bool releasedAtNoon = false;
    for (const int length : {3, 4})
        for (const int startDay : {2, 3}) {
            Chart probe;
            probe.g.SetStop(D0 + kDaysShown);
            const int span = int(2 * probe.pxPerDay());
            for (int dx = 1; dx <= span; ++dx) {
                SCOPED_TRACE(testing::Message()
                             << length << " days from day " << startDay << ", " << dx << " px");
                Chart c;
                c.g.SetStop(D0 + kDaysShown);
                TMyGantItem* item = c.add(startDay, length);
                // Told before the bar snaps to whole days.
                c.g.OnGantItemChanging = [&](TMyGantItem* changing) {
                    const double start = changing->Bar->StartTime;
                    if (start - std::floor(start) == 0.5) releasedAtNoon = true;
                };
                c.settle();
                const QRect r = c.bar(item);
                const QPoint from(r.center().x(), r.top() + 1);
                c.drag(from, from + QPoint(dx, 0));
                const double start = item->Bar->StartTime;
                ASSERT_DOUBLE_EQ(item->Bar->StopTime - start, length);
                ASSERT_EQ(item->CellCount(), length);
                for (int k = 0; k < length; ++k)
                    ASSERT_EQ(c.quantityOn(item, start + k), QString::number(10 * (k + 1))) << k;
            }
        }
    EXPECT_TRUE(releasedAtNoon) << "no move was released at noon: the zoom's snap steps changed";
}

TEST(MyGant, ResizeZoneIsThreePixelsInside) {
    Chart c;
    TMyGantItem* item = c.add(2, 4);
    c.settle();
    const QRect r = c.bar(item);
    const int right = r.left() + r.width();
    QWidget* area = c.g.GantArea();
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, QPoint(right - 3, r.top() + 1));
    EXPECT_EQ(c.g.MouseState(), TphGant::msResizeStop);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, QPoint(right - 3, r.top() + 1));
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, QPoint(right - 4, r.top() + 1));
    EXPECT_EQ(c.g.MouseState(), TphGant::msMoving);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, QPoint(right - 4, r.top() + 1));
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, QPoint(r.left() + 2, r.top() + 1));
    EXPECT_EQ(c.g.MouseState(), TphGant::msResizeStart);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, QPoint(r.left() + 2, r.top() + 1));
    // Clicks without movement change nothing.
    EXPECT_DOUBLE_EQ(item->Bar->StartTime, D0 + 2);
    EXPECT_DOUBLE_EQ(item->Bar->StopTime, D0 + 6);
    EXPECT_TRUE(c.changed.empty());
}

TEST(MyGant, EverySelectedBarReportedOnceWithWholeDays) {
    Chart c;
    c.g.MoveOver12Then24 = false;
    TMyGantItem* a = c.add(1, 3);
    TMyGantItem* b = c.add(5, 2);
    TMyGantItem* idle = c.add(9, 2);
    c.settle();
    QWidget* area = c.g.GantArea();
    const QRect ra = c.bar(a);
    const QRect rb = c.bar(b);
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, QPoint(ra.center().x(), ra.top() + 1));
    QTest::mouseClick(area, Qt::LeftButton, Qt::ControlModifier, QPoint(rb.center().x(), rb.top() + 1));
    ASSERT_EQ(c.g.MyGantList()->SelectedItems().size(), 2u);
    // 2.3 days to the right: the bars land 2 days later, snapped by the wrapper.
    const QPoint from(ra.center().x(), ra.top() + 1);
    c.drag(from, from + QPoint(int(2.3 * c.pxPerDay()), 0));
    EXPECT_EQ(c.changed, std::vector<int>({0, 1}));
    EXPECT_DOUBLE_EQ(a->Start, D0 + 3);
    EXPECT_DOUBLE_EQ(a->Bar->StopTime, D0 + 6);
    EXPECT_DOUBLE_EQ(b->Start, D0 + 7);
    EXPECT_DOUBLE_EQ(idle->Start, D0 + 9);
    EXPECT_EQ(c.quantityOn(b, D0 + 8), QStringLiteral("20"));
}

TEST(MyGant, ReleaseOnOneOfSeveralSelectedLeavesItAlone) {
    Chart c;
    TMyGantItem* a = c.add(1, 3);
    TMyGantItem* b = c.add(5, 2);
    c.settle();
    QWidget* area = c.g.GantArea();
    const QPoint pa(c.bar(a).center().x(), c.bar(a).top() + 1);
    const QPoint pb(c.bar(b).center().x(), c.bar(b).top() + 1);
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, pa);
    QTest::mouseClick(area, Qt::LeftButton, Qt::ControlModifier, pb);
    EXPECT_TRUE(a->Bar->Selected && b->Bar->Selected);
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, pa);
    // Still both while pressed: the press may start a move of both.
    EXPECT_TRUE(b->Bar->Selected);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, pa);
    EXPECT_TRUE(a->Bar->Selected);
    EXPECT_FALSE(b->Bar->Selected);
    EXPECT_TRUE(c.changed.empty());
}

TEST(MyGant, ClearRemovesRowsAndItems) {
    Chart c;
    c.add(1, 3);
    c.add(2, 3);
    EXPECT_EQ(c.g.RowList()->Count(), 2);
    c.g.MyGantList()->Clear();
    EXPECT_EQ(c.g.MyGantList()->Count(), 0);
    EXPECT_EQ(c.g.RowList()->Count(), 0);
    EXPECT_EQ(c.g.Grid()->DisplayRowCount(), 0);
    c.add(1, 1);
    c.settle();
    EXPECT_EQ(c.g.RowsOnScreen().size(), 1u);
}

// A factory's day cells are no time items of the chart until it shows them: a row on screen has
// its cells and marker, a row off screen only its bar; a cell the planner picked stays while it is
// picked, wherever its row scrolls.
TEST(MyGant, OnlyRowsOnScreenHoldTheirDayCells) {
    Chart c;
    std::vector<TMyGantItem*> items;
    for (int i = 0; i < 200; ++i)
        items.push_back(c.add(i % 5, 6));
    c.settle();
    auto loaded = [](TMyGantItem* item) { return int(item->Bar->Owner->Loaded.size()); };
    const std::vector<TGantRow*> first = c.g.RowsOnScreen();
    ASSERT_GT(first.size(), 5u);
    ASSERT_LT(first.size(), 50u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(loaded(items[size_t(i)]), i < int(first.size()) ? 8 : 1) << i;
    // The cells show the item's texts.
    TphDataEntity_GantTime* cell = items[1]->DayCell(2);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->Texts->Items(0)->Text, QStringLiteral("30"));
    EXPECT_EQ(cell->Texts->Items(1)->Text, QStringLiteral("r3"));

    // The planner picks a day cell of row 1, then pages down with the scroll bar.
    const QRect rc = c.g.ItemRect(cell);
    QTest::mouseClick(c.g.GantArea(), Qt::LeftButton, Qt::NoModifier, rc.center());
    ASSERT_TRUE(cell->Selected);
    QScrollBar* bar = c.g.VertScrollBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 2, bar->height() - 20));
    c.settle();
    ASSERT_GT(c.g.Grid()->TopRow(), 2);
    const int top = c.g.Grid()->TopRow();
    // Row 1 keeps its bar, its marker and its cells up to the picked one.
    for (int i = 0; i < 200; ++i) {
        const bool shown = i >= top && i < top + int(c.g.RowsOnScreen().size());
        EXPECT_EQ(loaded(items[size_t(i)]), shown ? 8 : i == 1 ? 5 : 1) << i;
    }
    EXPECT_EQ(items[1]->DayCell(2), cell);
    EXPECT_TRUE(cell->Selected);
    // A row on screen again shows its texts, also those set while it was away.
    items[0]->SetDayTexts(QStringLiteral("77"), QStringLiteral("x"), D0 + 1);
    c.g.Grid()->SetTopRow(0);
    c.settle();
    EXPECT_EQ(loaded(items[0]), 8);
    EXPECT_EQ(items[0]->DayCell(1)->Texts->Items(0)->Text, QStringLiteral("77"));
    EXPECT_EQ(items[0]->DayCell(1)->Texts->Items(1)->Text, QStringLiteral("x"));
    EXPECT_EQ(items[0]->CellQuantity(1), QStringLiteral("77"));
}

// A bar stretched over centuries (a year typed as 9999, say) makes the cells the chart shows, not one
// time item for each of its days; the cells on screen are drawn and hit wherever the chart scrolls.
TEST(MyGant, ABarOverCenturiesMakesOnlyTheCellsOnScreen) {
    Chart c;
    const int days = 300000;
    TMyGantItem* item = c.g.MyGantList()->AddItem(0x00FFC080, days, D0 + days + 2, D0 + 2);
    item->SetDayTexts(QStringLiteral("7"), QString(), D0 + 5);
    item->SetDayTexts(QStringLiteral("9"), QString(), D0 + 250005);
    c.settle();
    TphDataList* row = item->Bar->Owner;
    ASSERT_EQ(row->Count(), days + 2);
    EXPECT_LT(row->Loaded.size(), 40u);
    auto clickDay = [&](int k, const QString& text) {
        TphDataEntity_GantTime* cell = item->DayCell(k);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->Texts->Items(0)->Text, text);
        const QRect r = c.g.ItemRect(cell);
        ASSERT_TRUE(c.g.GantArea()->rect().contains(r.center())) << k;
        QTest::mouseClick(c.g.GantArea(), Qt::LeftButton, Qt::NoModifier, r.center());
        EXPECT_TRUE(cell->Selected) << k;
    };
    clickDay(3, QStringLiteral("7"));
    EXPECT_LT(row->Loaded.size(), 40u);

    // Far into the bar: the cells there are drawn and picked as near its start.
    c.g.SetStart(D0 + 250000);
    c.g.SetStop(D0 + 250020);
    c.settle();
    clickDay(250003, QStringLiteral("9"));
}

TEST(MyGant, WorkbenchSettingsAreTheDefaults) {
    TMyGant g;
    EXPECT_EQ(g.GantPyjamasColor(), clAqua);
    EXPECT_TRUE(g.MoveOver12Then24);
    EXPECT_TRUE(g.DrawLongLines);
    EXPECT_FALSE(g.DrawShortLines);
    EXPECT_EQ(g.DefaultLinkPenWidth, 0);
    EXPECT_EQ(g.Grid()->Columns().size(), 2u);
    EXPECT_TRUE(g.Grid()->HasHeaders());
    EXPECT_DOUBLE_EQ(g.MaxStop(), 767011);
    EXPECT_EQ(g.DateFormat(), QStringLiteral("YYMMDD"));
}
