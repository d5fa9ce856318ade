// The aligned string grid: effective properties, editors, movement, sorting, row and column moves
// and its stored form.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <gtest/gtest.h>

#include "controls/Aligrid.h"

namespace {

struct Grid {
    QWidget window;
    TStringAlignGrid* grid;
    Grid() {
        grid = new TStringAlignGrid(&window);
        grid->setGeometry(0, 0, 400, 200);
        window.resize(400, 200);
        window.show();
        QApplication::setActiveWindow(&window);
        grid->setFocus();
    }
    QPoint cellCenter(int col, int row) const {
        return grid->visualRect(grid->model()->index(row, col)).center();
    }
};

} // namespace

TEST(Aligrid, EffectivePropertiesFollowTheLevels) {
    TStringAlignGrid g;
    EXPECT_EQ(g.EffectiveAlign(2, 2), alLeft); // no records: left
    g.SetAlign(plCol, 2, -1, alCenter);
    EXPECT_EQ(g.EffectiveAlign(2, 2), alCenter);
    g.SetWordwrapAt(plCell, 2, 2, ww_ellipsis);
    EXPECT_EQ(g.EffectiveAlign(2, 2), alCenter); // the cell's record sets no alignment
    g.SetAlign(plRow, -1, 2, alRight);
    EXPECT_EQ(g.EffectiveAlign(2, 2), alCenter); // the column comes before the row
    EXPECT_EQ(g.EffectiveAlign(3, 2), alRight);
    g.SetAlign(plCell, 2, 2, alRight);
    EXPECT_EQ(g.EffectiveAlign(2, 2), alRight);
    // Fixed cells use the fixed levels.
    g.SetAlign(plFixedCol, 0, -1, alCenter);
    EXPECT_EQ(g.EffectiveAlign(0, 3), alCenter);
    EXPECT_EQ(g.EffectiveAlign(1, 3), alLeft);
    // Editability: a record, else the grid's property.
    g.SetEditable(false);
    EXPECT_FALSE(g.EffectiveEditable(1, 1));
    g.SetEditableAt(plRow, 1, -1, true);
    EXPECT_TRUE(g.EffectiveEditable(3, 1));
    g.SetBrushAt(plCol, 3, -1, TKvBrush{0x0000FF, 0});
    EXPECT_EQ(g.EffectiveBrush(3, 4, false)->Color, 0x0000FF);
    EXPECT_FALSE(g.EffectiveBrush(3, 4, true).has_value());
}

TEST(Aligrid, StoredFormRoundTripsAndDropsEmptyRecords) {
    TStringAlignGrid g;
    g.SetCells(1, 1, QStringLiteral("it's\nnew"));
    g.SetCells(0, 0, QStringLiteral("标题"));
    g.SetCellHint(2, 1, "hint");
    g.SetAlign(plCell, 1, 1, alCenter);
    g.SetFontAt(plCell, 1, 1, TKvFont{0x00FF00, -14, "Arial", 0, 5}, true);
    g.SetBrushAt(plRow, 2, 2, TKvBrush{0x123456, 1});
    g.SetHintAt(plFixedRow, 0, -1, QStringLiteral("表头"));
    g.SetCellControl(3, -1, true, "A\nB\nC", ck_PickList);
    g.SetCellControl(-1, 3, false, "Y;N", ck_CheckBox);
    g.SetCellControl(2, 2, false, QStringLiteral("选择"), ck_Button);
    g.SetWordwrapAt(plCol, 4, -1, ww_wordwrap);
    g.SetEditableAt(plFixedCol, 0, -1, false);
    g.SetAlign(plCell, 4, 4, alRight);
    g.SetAlign(plCell, 4, 4, alDefault); // reset to unset: the record disappears
    const QString text = g.SaveToText();
    EXPECT_FALSE(text.contains("4 4 "));
    EXPECT_TRUE(text.contains("PropCell = (1 1 1 2 7 65280 -14 'Arial' 0 5 0 2 2 9 4")) << text.toStdString();

    TStringAlignGrid h;
    ASSERT_TRUE(h.LoadFromText(text));
    EXPECT_EQ(h.SaveToText(), text);
    EXPECT_EQ(h.StoredCell(1, 1), QStringLiteral("it's\nnew"));
    EXPECT_EQ(h.Cells(0, 0), QStringLiteral("标题"));
    EXPECT_EQ(h.CellHint(2, 1), "hint");
    EXPECT_EQ(*h.Record(plCell, 1, 1), *g.Record(plCell, 1, 1));
    EXPECT_EQ(h.EffectiveControl(3, 2)->Items.Lines, (QStringList{"A", "B", "C"}));
    EXPECT_TRUE(h.EffectiveControl(3, 2)->Items.Search);
    EXPECT_EQ(h.EffectiveControl(1, 3)->UncheckedText, "N");
    EXPECT_EQ(h.EffectiveControl(2, 2)->Caption, QStringLiteral("选择"));
    EXPECT_EQ(h.Record(plFixedRow, 0)->Hint, QStringLiteral("表头"));
    EXPECT_EQ(h.Record(plFixedCol, 0)->Editable, 1);

    // A malformed text leaves the grid as it was.
    EXPECT_FALSE(h.LoadFromText("PropCell = (0 0 1 'x' 0)"));
    EXPECT_FALSE(h.LoadFromText("Cells = (0 0 'open"));
    EXPECT_EQ(h.SaveToText(), text);
}

TEST(Aligrid, ReadsTheStoredExampleAndOlderKeys) {
    TStringAlignGrid g;
    ASSERT_TRUE(g.LoadFromText("PropCell = (0 0 1 2 0 1 0 1 2 0)"));
    EXPECT_EQ(g.EffectiveAlign(0, 0), alCenter);
    EXPECT_EQ(g.EffectiveAlign(1, 0), alCenter);
    EXPECT_EQ(g.EffectiveAlign(2, 0), alLeft);

    ASSERT_TRUE(g.LoadFromText("AlignCol = (2 0)\nFixedAlignRow = (0 2)\nEditCell = (1 1 0)\n"
                               "FontRow = (3 255 -20 'Courier' 1 1)\nColorCell = (2 2 65280)\n"
                               "SelectedColorCol = (1 16711680)\nBrushFixedCol = (0 8421504 0)"));
    EXPECT_EQ(g.EffectiveAlign(2, 3), alRight);
    EXPECT_EQ(g.EffectiveAlign(3, 0), alCenter);
    EXPECT_FALSE(g.EffectiveEditable(1, 1));
    EXPECT_EQ(g.EffectiveFont(3, 3, false)->Name, "Courier");
    EXPECT_EQ(g.EffectiveBrush(2, 2, false)->Color, 65280);
    EXPECT_EQ(g.EffectiveBrush(1, 4, true)->Color, 16711680);
    const QString text = g.SaveToText();
    for (const char* old : {"AlignCol", "FixedAlignRow", "EditCell", "FontRow", "ColorCell",
                            "SelectedColorCol", "BrushFixedCol"})
        EXPECT_FALSE(text.contains(QLatin1String(old) + " =")) << old;
    EXPECT_TRUE(text.contains("PropCol = (1 5 16711680 0 0 2 1 0 0)")) << text.toStdString();
}

TEST(Aligrid, RowsAndColumnsCarryTheirRecords) {
    TStringAlignGrid g;
    g.SetCells(2, 2, "b");
    g.SetAlign(plCell, 2, 2, alCenter);
    g.SetCellHint(2, 2, "h");
    g.SetAlign(plRow, 2, -1, alRight);
    g.InsertRow(1);
    EXPECT_EQ(g.RowCount(), 6);
    EXPECT_EQ(g.StoredCell(2, 3), "b");
    EXPECT_EQ(g.Record(plCell, 2, 3)->Align, alCenter);
    EXPECT_EQ(g.CellHint(2, 3), "h");
    EXPECT_EQ(g.Record(plRow, 3)->Align, alRight);
    EXPECT_EQ(g.Record(plCell, 2, 2), nullptr);
    g.InsertCol(0);
    EXPECT_EQ(g.Record(plCell, 3, 3)->Align, alCenter);
    g.RemoveRow(3);
    EXPECT_EQ(g.Record(plCell, 3, 3), nullptr);
    EXPECT_EQ(g.Record(plRow, 3), nullptr);
    EXPECT_TRUE(g.RecordKeys(plCell).isEmpty());
    g.RemoveCol(0);
    EXPECT_EQ(g.ColCount(), 5);

    // The only data row is emptied, not removed.
    TStringAlignGrid one;
    one.SetRowCount(2);
    one.SetCells(1, 1, "x");
    one.RemoveRow(1);
    EXPECT_EQ(one.RowCount(), 2);
    EXPECT_EQ(one.StoredCell(1, 1), "");
}

TEST(Aligrid, SortsRowsWithTheirRecordsAndTheCompareEvent) {
    TStringAlignGrid g;
    g.SetCells(0, 0, "head");
    const QStringList values{"30", "4", "100", "4"};
    for (int i = 0; i < 4; ++i)
        g.SetCells(1, i + 1, values[i]);
    g.SetCells(2, 4, "second 4");
    g.SetAlign(plCell, 1, 3, alCenter); // "100"
    g.SortRows(1);
    EXPECT_EQ(g.StoredCell(1, 1), "100"); // texts by default
    EXPECT_EQ(g.Record(plCell, 1, 1)->Align, alCenter);
    g.OnCompareRow = [](TStringAlignGrid* s, int col, int r1, int r2) {
        return s->StoredCell(col, r1).toInt() - s->StoredCell(col, r2).toInt();
    };
    g.SortRows(1);
    EXPECT_EQ(g.StoredCell(1, 1), "4");
    EXPECT_EQ(g.StoredCell(1, 2), "4");
    EXPECT_EQ(g.StoredCell(2, 2), "second 4"); // merge sort keeps equal rows in order
    EXPECT_EQ(g.StoredCell(1, 4), "100");
    EXPECT_EQ(g.Record(plCell, 1, 4)->Align, alCenter);
    EXPECT_EQ(g.StoredCell(0, 0), "head");
}

TEST(Aligrid, SortingMovesTheRecordsAndLinesOfWholeRowsAndColumns) {
    TStringAlignGrid rows;
    rows.SetColCount(2);
    rows.SetRowCount(4);
    const QStringList values{"c", "a", "b"};
    for (int i = 0; i < 3; ++i)
        rows.SetCells(1, i + 1, values[i]);
    rows.SetAlign(plRow, -1, 1, alCenter);     // the row of "c"
    rows.SetAlign(plFixedRow, -1, 1, alRight); // its fixed cell
    rows.SetRowLines(1, {"lines of c"});
    rows.SetRowLines(2, {"lines of a"});
    rows.SortRows(1);
    ASSERT_EQ(rows.StoredCell(1, 3), "c");
    EXPECT_EQ(rows.EffectiveAlign(1, 3), alCenter);
    EXPECT_EQ(rows.EffectiveAlign(0, 3), alRight);
    EXPECT_EQ(rows.EffectiveAlign(1, 1), alLeft);
    EXPECT_EQ(rows.RowLines(3), QStringList{"lines of c"});
    EXPECT_EQ(rows.RowLines(1), QStringList{"lines of a"});
    EXPECT_TRUE(rows.RowLines(2).isEmpty());

    TStringAlignGrid cols;
    cols.SetColCount(4);
    cols.SetRowCount(2);
    for (int i = 0; i < 3; ++i)
        cols.SetCells(i + 1, 1, values[i]);
    cols.SetAlign(plCol, 1, -1, alCenter);
    cols.SetAlign(plFixedCol, 1, -1, alRight);
    cols.SetColLines(1, {"lines of c"});
    cols.SortCols(1);
    ASSERT_EQ(cols.StoredCell(3, 1), "c");
    EXPECT_EQ(cols.EffectiveAlign(3, 1), alCenter);
    EXPECT_EQ(cols.EffectiveAlign(3, 0), alRight);
    EXPECT_EQ(cols.EffectiveAlign(1, 1), alLeft);
    EXPECT_EQ(cols.ColLines(3), QStringList{"lines of c"});
    EXPECT_TRUE(cols.ColLines(1).isEmpty());
}

TEST(AligridGui, TypingEscapeAndEnter) {
    Grid t;
    QSignalSpy after(t.grid, &TStringAlignGrid::OnAfterEdit);
    QSignalSpy cancel(t.grid, &TStringAlignGrid::OnCancelEdit);
    t.grid->SetCells(1, 1, "old");
    t.grid->setCurrentCell(1, 1);
    QTest::mouseClick(t.grid->viewport(), Qt::LeftButton, {}, t.cellCenter(1, 1));
    QTest::keyClick(t.grid, Qt::Key_N); // typing opens the editor with the key
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "ew");
    EXPECT_EQ(editor->text(), "new");
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(t.grid->Cells(1, 1), "old");
    EXPECT_EQ(cancel.count(), 1);
    QTest::keyClick(t.grid, Qt::Key_F2);
    editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "typed");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(t.grid->Cells(1, 1), "typed");
    EXPECT_EQ(after.count(), 1);
    // Not editable cells and fixed cells open no editor.
    t.grid->SetEditableAt(plCell, 2, 1, false);
    t.grid->setCurrentCell(1, 2);
    QTest::keyClick(t.grid, Qt::Key_F2);
    EXPECT_EQ(QApplication::focusWidget(), t.grid);
}

TEST(AligridGui, TabAndAutoEditMoveByTheirRules) {
    Grid t;
    t.grid->SetColCount(3);
    t.grid->SetRowCount(3);
    t.grid->setCurrentCell(1, 1);
    QTest::keyClick(t.grid, Qt::Key_Tab);
    EXPECT_EQ(t.grid->currentColumn(), 2);
    QTest::keyClick(t.grid, Qt::Key_Tab); // end of the row: next row, first data column
    EXPECT_EQ(t.grid->currentRow(), 2);
    EXPECT_EQ(t.grid->currentColumn(), 1);
    t.grid->setCurrentCell(2, 2);
    QTest::keyClick(t.grid, Qt::Key_Tab); // after the last cell: lc_first
    EXPECT_EQ(t.grid->currentRow(), 1);
    EXPECT_EQ(t.grid->currentColumn(), 1);

    // Shift+Tab goes back the same way with an editor open as without one, keeping what was typed.
    t.grid->setCurrentCell(1, 2);
    QTest::keyClick(t.grid, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(t.grid->currentColumn(), 1);
    t.grid->setCurrentCell(1, 2);
    QTest::keyClick(t.grid, Qt::Key_F2);
    auto* typed = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(typed, nullptr);
    QTest::keyClicks(typed, "b");
    QTest::keyClick(typed, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(t.grid->Cells(2, 1), "b");
    EXPECT_EQ(t.grid->currentRow(), 1);
    EXPECT_EQ(t.grid->currentColumn(), 1);
    EXPECT_EQ(QApplication::focusWidget(), t.grid);

    // Enter with AutoEditNextCell going down, and a new row after the last one.
    t.grid->setProperty("AutoEditNextCell", true);
    t.grid->setProperty("NextCellEdit", int(nc_downright));
    t.grid->setCurrentCell(2, 2);
    ASSERT_TRUE(t.grid->OpenEditor());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "z");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(t.grid->Cells(2, 2), "z");
    EXPECT_EQ(t.grid->ColCount(), 4); // lc_newcolrow: a new column to the right
    EXPECT_EQ(t.grid->currentColumn(), 3);
    EXPECT_EQ(t.grid->currentRow(), 1);
    EXPECT_NE(qobject_cast<QLineEdit*>(QApplication::focusWidget()), nullptr); // editing goes on
}

TEST(AligridGui, CheckBoxCellsToggleWithSpace) {
    Grid t;
    t.grid->SetCellControl(2, -1, false, "Y;N", ck_CheckBox);
    t.grid->SetCells(2, 1, "?");
    EXPECT_EQ(t.grid->Cells(2, 1), "N"); // neither text reads as unchecked
    t.grid->setCurrentCell(1, 2);
    QTest::keyClick(t.grid, Qt::Key_Space);
    EXPECT_EQ(t.grid->StoredCell(2, 1), "Y");
    QTest::keyClick(t.grid, Qt::Key_Space);
    EXPECT_EQ(t.grid->StoredCell(2, 1), "N");
    QTest::keyClick(t.grid, Qt::Key_A); // nothing else is typed
    EXPECT_EQ(t.grid->StoredCell(2, 1), "N");
    EXPECT_EQ(QApplication::focusWidget(), t.grid);
}

TEST(AligridGui, PickListSearchAndEditButton) {
    Grid t;
    t.grid->SetCellControl(1, -1, true, QStringLiteral("Alpha\nBeta\nBetter\nGamma"), ck_PickList);
    t.grid->SetCellControl(2, -1, false, "", ck_EditButton);
    t.grid->setCurrentCell(1, 1);
    ASSERT_TRUE(t.grid->OpenEditor());
    auto* combo = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_NE(combo, nullptr);
    QTest::keyClicks(combo, "bett");
    EXPECT_EQ(t.grid->StoredCell(1, 1), "Better");
    QTest::keyClick(combo, Qt::Key_X); // nothing begins with "bettx": dropped
    EXPECT_EQ(t.grid->StoredCell(1, 1), "Better");
    QTest::keyClick(combo, Qt::Key_Backspace);
    EXPECT_EQ(t.grid->StoredCell(1, 1), "Beta");
    QTest::qWait(2100); // a slow key starts a new search
    QTest::keyClick(combo, Qt::Key_G);
    EXPECT_EQ(t.grid->StoredCell(1, 1), "Gamma");
    QTest::keyClick(combo, Qt::Key_Return);

    QSignalSpy clicked(t.grid, &TStringAlignGrid::OnEditButtonClick);
    t.grid->setCurrentCell(1, 2);
    ASSERT_TRUE(t.grid->OpenEditor());
    auto* button = t.grid->findChild<QToolButton*>("EditButton");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->width(), 16);
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked[0][1].toInt(), 2);
}

// A value the pick list lacks shows as no item: leaving the list by a click, Enter or Tab keeps the
// value; choosing an item replaces it.
TEST(AligridGui, PickListKeepsAValueItLacksUntilAnItemIsChosen) {
    Grid t;
    t.grid->SetCellControl(1, -1, true, QStringLiteral("1.A\n2.B"), ck_PickList);
    t.grid->SetCells(1, 1, "5.Other");
    auto open = [&] {
        t.grid->setCurrentCell(1, 1);
        QTest::keyClick(t.grid, Qt::Key_F2);
        auto* combo = qobject_cast<QComboBox*>(QApplication::focusWidget());
        EXPECT_NE(combo, nullptr);
        return combo;
    };
    ASSERT_NE(open(), nullptr);
    QTest::mouseClick(t.grid->viewport(), Qt::LeftButton, {}, t.cellCenter(2, 1));
    EXPECT_EQ(t.grid->StoredCell(1, 1), "5.Other");
    for (Qt::Key leave : {Qt::Key_Return, Qt::Key_Tab}) {
        QComboBox* combo = open();
        ASSERT_NE(combo, nullptr);
        QTest::keyClick(combo, Qt::Key_Z); // matches nothing
        QTest::keyClick(combo, leave);
        EXPECT_EQ(t.grid->StoredCell(1, 1), "5.Other") << leave;
    }
    QComboBox* combo = open();
    ASSERT_NE(combo, nullptr);
    QTest::keyClick(combo, Qt::Key_2);
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(t.grid->StoredCell(1, 1), "2.B");
}

TEST(AligridGui, CellsPaintTheirBrushAndAlignment) {
    Grid t;
    t.grid->SetCells(1, 1, "X");
    t.grid->SetBrushAt(plCell, 1, 1, TKvBrush{0x0000FF, 0}); // red
    t.grid->SetAlign(plCell, 1, 1, alRight);
    t.grid->setCurrentCell(2, 2);
    const QImage image = t.grid->viewport()->grab().toImage();
    const QRect r = t.grid->visualRect(t.grid->model()->index(1, 1));
    EXPECT_EQ(image.pixelColor(r.left() + 3, r.top() + 3), QColor(255, 0, 0));
    // The text sits at the right edge.
    int darkLeft = r.right();
    for (int x = r.left(); x < r.right(); ++x)
        for (int y = r.top(); y < r.bottom(); ++y)
            if (image.pixelColor(x, y).red() < 128) darkLeft = qMin(darkLeft, x);
    EXPECT_GT(darkLeft, r.center().x());
}

TEST(AligridGui, FixedCellsPaintTheBrushesOfTheFixedLevels) {
    Grid t;
    const auto colourOf = [&t](int col, int row) {
        const QImage image = t.grid->viewport()->grab().toImage();
        const QRect r = t.grid->visualRect(t.grid->model()->index(row, col));
        return image.pixelColor(r.left() + 3, r.top() + 3);
    };
    const QColor plainFixed = colourOf(0, 2);
    t.grid->SetBrushAt(plFixedCol, 0, -1, TKvBrush{0x00FF00, 0}); // green
    t.grid->SetBrushAt(plFixedRow, -1, 0, TKvBrush{0xFF0000, 0}); // blue
    EXPECT_EQ(colourOf(0, 2), QColor(0, 255, 0));
    EXPECT_EQ(colourOf(3, 0), QColor(0, 0, 255));
    EXPECT_NE(colourOf(0, 2), plainFixed);
    // The older keys of a stored form land on the same levels and paint too.
    ASSERT_TRUE(t.grid->LoadFromText("BrushFixedCol = (0 255 0)\nColorFixedRow = (0 65535)"));
    EXPECT_EQ(colourOf(0, 3), QColor(255, 0, 0));
    EXPECT_EQ(colourOf(2, 0), QColor(255, 255, 0));
    // A data cell of that column keeps the plain base colour.
    EXPECT_EQ(colourOf(2, 2), t.grid->palette().color(QPalette::Base));
}

TEST(AligridGui, MultiLineEditorKeepsLinesAndEnterStillMoves) {
    Grid t;
    t.grid->setProperty("EditMultiline", true);
    t.grid->setProperty("AutoEditNextCell", true);
    t.grid->SetCells(1, 1, "one\ntwo");
    t.grid->setCurrentCell(1, 1);
    QTest::keyClick(t.grid, Qt::Key_F2);
    auto* memo = qobject_cast<QPlainTextEdit*>(QApplication::focusWidget());
    ASSERT_NE(memo, nullptr) << "a multi-line grid edits in a multi-line editor";
    EXPECT_EQ(memo->toPlainText(), "one\ntwo");
    memo->moveCursor(QTextCursor::End);
    QTest::keyClick(memo, Qt::Key_Return, Qt::ControlModifier); // breaks the line
    QTest::keyClicks(memo, "three");
    QTest::keyClick(memo, Qt::Key_Return); // goes to the grid: commit and move on
    EXPECT_EQ(t.grid->Cells(1, 1), "one\ntwo\nthree");
    EXPECT_EQ(t.grid->currentColumn(), 2);
    // A masked grid keeps its one-line editor.
    t.grid->setProperty("EditMask", "999");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    t.grid->setCurrentCell(1, 1);
    QTest::keyClick(t.grid, Qt::Key_F2);
    EXPECT_NE(qobject_cast<QLineEdit*>(QApplication::focusWidget()), nullptr);
}

TEST(AligridGui, CellColoursEventChangesTheTextColour) {
    Grid t;
    t.grid->SetCells(1, 1, "MMMM");
    t.grid->setCurrentCell(3, 3);
    t.grid->OnCalcCellColors = [](TStringAlignGrid*, int col, int row, const QRect&, bool, QFont& font,
                                  QColor& fontColor, QBrush&) {
        if (col == 1 && row == 1) {
            font.setPixelSize(16);
            fontColor = QColor(255, 0, 0);
        }
    };
    const QImage image = t.grid->viewport()->grab().toImage();
    const QRect r = t.grid->visualRect(t.grid->model()->index(1, 1));
    int red = 0;
    for (int x = r.left(); x < r.right(); ++x)
        for (int y = r.top(); y < r.bottom(); ++y) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) ++red;
        }
    EXPECT_GT(red, 10);
}

TEST(AligridGui, EditMaskAndCellHints) {
    Grid t;
    t.grid->setProperty("EditMask", "999");
    t.grid->setCurrentCell(1, 1);
    QTest::keyClick(t.grid, Qt::Key_A); // the mask takes no letter: no editor
    EXPECT_EQ(QApplication::focusWidget(), t.grid);
    QTest::keyClick(t.grid, Qt::Key_5);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->inputMask(), "999");
    QTest::keyClick(editor, Qt::Key_Escape);

    t.grid->SetCellHint(2, 2, QStringLiteral("单元格提示"));
    t.grid->SetHintAt(plCol, 3, -1, QStringLiteral("列提示"));
    auto hintAt = [&](int col, int row) {
        QToolTip::hideText();
        for (int i = 0; i < 100 && QToolTip::isVisible(); ++i)
            QTest::qWait(20);
        const QPoint pos = t.cellCenter(col, row);
        QHelpEvent help(QEvent::ToolTip, pos, t.grid->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(t.grid->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(hintAt(2, 2), QStringLiteral("单元格提示"));
    EXPECT_EQ(hintAt(3, 1), QStringLiteral("列提示"));
    t.grid->OnShowHintCell = [](TStringAlignGrid*, int col, int, QString& hint, bool& canShow) {
        hint = "changed";
        canShow = col != 3;
    };
    EXPECT_EQ(hintAt(2, 2), "changed");
    EXPECT_EQ(hintAt(3, 1), "");
    t.grid->setProperty("ShowCellHints", false);
    EXPECT_EQ(hintAt(2, 2), "");
}
