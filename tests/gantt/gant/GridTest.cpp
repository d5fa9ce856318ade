// The row grid: display order, sorting keys, in-place editing, selection.
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "gantt/phGrid.h"

namespace {

struct Grid {
    TphGrid grid;
    Grid(const QStringList& texts, bool numeric) {
        TphGrid_Column col;
        col.Width = 120;
        col.NumericSort = numeric;
        TphGrid_Column other;
        other.Kind = tckBool;
        grid.SetColumns({col, other});
        grid.resize(300, 200);
        for (const QString& t : texts)
            grid.Tree()->AddNode(nullptr)->SetCellText(0, t);
    }
    QStringList column() {
        QStringList out;
        for (int r = 0; r < grid.DisplayRowCount(); ++r)
            out << grid.NodeAt(r)->CellText(0);
        return out;
    }
};

} // namespace

TEST(Grid, NumericSortPutsLargerNegativesFirst) {
    Grid g({"10", "9", "-3", "-12"}, true);
    g.grid.SortByColumn(0);
    EXPECT_EQ(g.column(), QStringList({"-12", "-3", "9", "10"}));
    g.grid.SortByColumn(0, true);
    EXPECT_EQ(g.column(), QStringList({"10", "9", "-3", "-12"}));
    EXPECT_EQ(g.grid.SortKey(0, 0), QStringLiteral("B00000000000000010###0000000000"));
}

TEST(Grid, EqualTextsKeepTheirOrder) {
    Grid g({"b", "A", "a", "B", "-1", "-1"}, false);
    for (int r = 0; r < 6; ++r)
        g.grid.NodeAt(r)->SetCellText(1, QString::number(r));
    g.grid.SortByColumn(0);
    QStringList order;
    for (int r = 0; r < 6; ++r)
        order << g.grid.NodeAt(r)->CellText(1);
    EXPECT_EQ(order, QStringList({"4", "5", "1", "2", "0", "3"}));
    // Equal negative numbers keep their order too.
    Grid n({"-1", "-1", "-1"}, true);
    for (int r = 0; r < 3; ++r)
        n.grid.NodeAt(r)->SetCellText(1, QString::number(r));
    n.grid.SortByColumn(0);
    EXPECT_EQ(n.grid.NodeAt(0)->CellText(1), QStringLiteral("0"));
    EXPECT_EQ(n.grid.NodeAt(2)->CellText(1), QStringLiteral("2"));
}

TEST(Grid, TreeOrderCellsAndRemoval) {
    Grid g({"a", "b"}, false);
    TphDataEntity_GridTreeNode* child = g.grid.Tree()->AddNode(g.grid.NodeAt(0));
    child->SetCellText(0, QStringLiteral("a.1"));
    EXPECT_EQ(g.column(), QStringList({"a", "a.1", "b"}));
    EXPECT_EQ(g.grid.Cell(0, 2), QStringLiteral("a.1")); // row 0 is the header
    g.grid.SetCell(0, 0, QStringLiteral("Name"));
    EXPECT_EQ(g.grid.Columns()[0].HeaderText, QStringLiteral("Name"));
    std::vector<TphDataEntity_GridTreeNode*> gone;
    g.grid.OnNodeDeleted = [&](TphDataEntity_GridTreeNode* n) { gone.push_back(n); };
    g.grid.Tree()->Root()->Delete(0);
    EXPECT_EQ(gone.size(), 2u); // the child goes with its parent
    EXPECT_EQ(g.column(), QStringList({"b"}));
}

TEST(Grid, BoolEditorWritesTrueOrFalse) {
    Grid g({"a"}, false);
    g.grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g.grid));
    int stops = 0;
    std::vector<std::pair<int, int>> cells;
    g.grid.OnEditStop = [&](TphGrid*, int col, int row) {
        cells.emplace_back(col, row);
        ++stops;
    };
    g.grid.BeginEdit(1, 0);
    auto* box = qobject_cast<QCheckBox*>(g.grid.Editor());
    ASSERT_NE(box, nullptr);
    box->setChecked(true);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(g.grid.NodeAt(0)->CellText(1), QStringLiteral("TRUE"));
    g.grid.BeginEdit(1, 0);
    qobject_cast<QCheckBox*>(g.grid.Editor())->setChecked(false);
    g.grid.EndEdit();
    EXPECT_EQ(g.grid.NodeAt(0)->CellText(1), QStringLiteral("FALSE"));
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(cells.back(), std::make_pair(1, 1)); // grid row 1: the header is row 0
    // A simple edit typed by the user.
    g.grid.BeginEdit(0, 0);
    auto* edit = qobject_cast<QLineEdit*>(g.grid.Editor());
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("xyz"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(g.grid.NodeAt(0)->CellText(0), QStringLiteral("xyz"));
}

TEST(Grid, ClicksSelectRowsWithCtrlAndShift) {
    Grid g({"a", "b", "c", "d"}, false);
    g.grid.SetMultiSelect(true);
    g.grid.SetRowSelect(true);
    g.grid.SetHasHeaders(false);
    g.grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g.grid));
    auto rowY = [](int r) { return r * TphGrid::DefaultRowHeight + 5; };
    QTest::mouseClick(&g.grid, Qt::LeftButton, Qt::NoModifier, QPoint(40, rowY(0)));
    QTest::mouseClick(&g.grid, Qt::LeftButton, Qt::ControlModifier, QPoint(40, rowY(2)));
    EXPECT_EQ(g.grid.SelectedNodes().size(), 2u);
    QTest::mouseClick(&g.grid, Qt::LeftButton, Qt::ShiftModifier, QPoint(40, rowY(3)));
    EXPECT_EQ(g.grid.SelectedNodes().size(), 2u); // rows 2..3 from the anchor
    EXPECT_TRUE(g.grid.NodeAt(3)->Selected);
    QTest::mouseClick(&g.grid, Qt::LeftButton, Qt::NoModifier, QPoint(40, rowY(1)));
    EXPECT_EQ(g.grid.SelectedNodes(), std::vector<TphDataEntity_GridTreeNode*>({g.grid.NodeAt(1)}));
    QTest::keyClick(&g.grid, Qt::Key_Down);
    EXPECT_EQ(g.grid.FocusedRow(), 2);
}
