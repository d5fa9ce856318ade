// The row grid: display order, sorting keys, in-place editing, selection.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "common/TestSupport.h"
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
    // Texts that look like the key of a negative number (an "A" and 17 more letters) sort as texts.
    Grid a({"ACCCCCCCCCCCCCCCCC", "ABBBBBBBBBBBBBBBBB", "ADDDDDDDDDDDDDDDDD"}, false);
    a.grid.SortByColumn(0);
    EXPECT_EQ(a.column(), QStringList({"ABBBBBBBBBBBBBBBBB", "ACCCCCCCCCCCCCCCCC", "ADDDDDDDDDDDDDDDDD"}));
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

namespace {

// A grid on screen with its cells painted, as a module builds it.
struct Shown {
    TphGrid grid;
    explicit Shown(int width = 420, int height = 240) {
        grid.resize(width, height);
        grid.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&grid));
        QApplication::setActiveWindow(&grid);
    }
    TphDataEntity_GridTreeNode* add(const QStringList& cells, TphDataEntity_GridTreeNode* parent = nullptr) {
        TphDataEntity_GridTreeNode* node = grid.Tree()->AddNode(parent);
        for (int c = 0; c < cells.size(); ++c)
            node->SetCellText(c, cells[c]);
        return node;
    }
    QImage shot() { return grid.grab().toImage(); }
    QRect cell(int col, int displayRow) { return grid.CellRect(col, grid.GridRowOf(displayRow)); }
    QPoint at(int col, int displayRow) { return cell(col, displayRow).center(); }
};

// Pixels of a part of a picture that pass a test.
template <class Test> int pixels(const QImage& image, const QRect& area, Test test) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

bool isInk(const QColor& c) {
    return c.lightness() < 160;
}

TphGrid_Column column(int width, const QString& layout = QString(), TColumnKind kind = tckSimpleEdit) {
    TphGrid_Column c;
    c.Width = width;
    c.LayoutName = layout;
    c.Kind = kind;
    return c;
}

} // namespace

TEST(GridLayouts, EveryPropertyShapesThePaintedCell) {
    Shown t(520, 260);
    TphCellLayout red;
    red.Name = "Red";
    red.BackColor = clRed;
    red.FrontColor = clBlue;
    red.HorzAlignRight = true;
    red.VertAlignCenter = true;
    red.FrameOptionsUse = true;
    red.FrameOptions = foLeft | foBottom;
    red.FrameColor = clGreen;
    TphCellLayout wrap;
    wrap.Name = "wrap"; // names are matched without regard to case
    wrap.WrapTextAndFit = true;
    wrap.MinWidth = 90;
    wrap.MinHeight = 24;
    TphCellLayout flags;
    flags.Name = "Flags";
    flags.WindowsFlagDraw = true;
    flags.WindowsFlags = 0x1 | 0x4 | 0x20; // centred both ways on one line
    flags.FrameOptionsUse = true;
    flags.FrameOptions = foLeft | foTop | foRight | foBottom;
    flags.FrameKind = fk3d;
    TphCellLayout big;
    big.Name = "Big";
    big.UseFontInfo = true;
    big.Font = QFont(t.grid.font().family(), -1);
    big.Font.setPixelSize(20);
    big.EndEllipsis = true;
    t.grid.CellLayouts() = {red, wrap, flags, big};
    t.grid.SetHasInfoCol(false);
    t.grid.SetColumns(
        {column(80), column(100, "RED"), column(40, "Wrap"), column(100, "Flags"), column(60, "Big")});
    t.add({"M", "MM", "short", "MM", "MMMMMMMMMMMMMMMM"});
    t.add({"M", "MM", "a text long enough to need several lines in its narrow column", "MM", "M"});
    t.add({"M", "MM", "x", "MM", "M"});

    // Sizes: the column grows to its layout's MinWidth, rows to MinHeight and to their wrapped text.
    EXPECT_EQ(t.grid.ColumnWidth(2), 90);
    EXPECT_EQ(t.grid.RowHeight(0), 24);
    EXPECT_GT(t.grid.RowHeight(1), 2 * 24);

    // The grid's events take part: one cell's layout changes before it is painted, one the module draws.
    t.grid.OnBeforeRenderCell = [](TphGrid*, int col, int gridRow, TphCellLayout& layout) {
        if (col == 0 && gridRow == 2) layout.BackColor = clYellow;
    };
    t.grid.OnUserRenderCell = [](TphGrid*, int col, int gridRow, QPainter* canvas, const QRect& r,
                                 bool& done) {
        if (col != 0 || gridRow != 3) return;
        canvas->fillRect(r.adjusted(r.width() / 2, 2, -2, -2), Qt::black);
        done = true;
    };
    const QImage image = t.shot();
    image.save(testsupport::pictureDir("grid") + "/layouts.png");
    // Background and text colours, text at the right edge.
    const QRect r0 = t.cell(1, 0);
    EXPECT_EQ(image.pixelColor(r0.left() + 4, r0.top() + 3), QColor(255, 0, 0));
    const auto blue = [](const QColor& c) { return c.blue() > 150 && c.red() < 100 && c.green() < 100; };
    EXPECT_EQ(pixels(image, QRect(r0.left() + 1, r0.top() + 1, r0.width() / 2, r0.height() - 3), blue), 0);
    EXPECT_GT(pixels(image, QRect(r0.center().x(), r0.top() + 1, r0.width() / 2 - 2, r0.height() - 3), blue),
              5);
    // The frame: left and bottom in the frame colour.
    EXPECT_EQ(image.pixelColor(r0.left(), r0.center().y()), QColor(0, 128, 0));
    EXPECT_EQ(image.pixelColor(r0.center().x(), r0.bottom()), QColor(0, 128, 0));
    // The 3-D frame: light on the top and left, shadow on the bottom and right.
    const QRect f0 = t.cell(3, 0);
    const QPalette pal = t.grid.palette();
    EXPECT_EQ(image.pixel(f0.center().x(), f0.top()), pal.color(QPalette::Light).rgb());
    EXPECT_EQ(image.pixel(f0.right(), f0.center().y()), pal.color(QPalette::Mid).rgb());
    // Platform flags: the text sits in the middle of the cell.
    int inkLeft = f0.right(), inkRight = f0.left();
    for (int x = f0.left() + 2; x < f0.right() - 1; ++x)
        for (int y = f0.top() + 2; y < f0.bottom() - 1; ++y)
            if (isInk(image.pixelColor(x, y))) {
                inkLeft = std::min(inkLeft, x);
                inkRight = std::max(inkRight, x);
            }
    EXPECT_NEAR((inkLeft + inkRight) / 2.0, f0.center().x(), 3);
    // Wrapped text reaches down into the lower lines of its tall row.
    const QRect w1 = t.cell(2, 1);
    EXPECT_GT(pixels(image,
                     QRect(w1.left() + 1, w1.top() + w1.height() / 2, w1.width() - 3, w1.height() / 2 - 2),
                     isInk),
              5);
    // The layout's own font: taller characters than the grid's.
    const QRect b1 = t.cell(4, 1);
    int top = b1.bottom(), bottom = b1.top();
    for (int y = b1.top() + 1; y < b1.bottom(); ++y)
        for (int x = b1.left() + 1; x < b1.right(); ++x)
            if (isInk(image.pixelColor(x, y))) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_GE(bottom - top, 12);
    // A text too long for its cell ends in an ellipsis inside the cell: its last ink stays clear of the
    // next column.
    const QRect b0 = t.cell(4, 0);
    EXPECT_EQ(pixels(image, QRect(b0.right() - 2, b0.top() + 1, 2, b0.height() - 3), isInk), 0);
    // The events: a yellow cell, a cell the module drew.
    const QRect yellow = t.cell(0, 1);
    EXPECT_EQ(image.pixelColor(yellow.left() + 2, yellow.top() + 2), QColor(255, 255, 0));
    const QRect drawnByModule = t.cell(0, 2);
    EXPECT_EQ(image.pixelColor(drawnByModule.right() - 4, drawnByModule.center().y()), QColor(0, 0, 0));
    // Done: the grid drew nothing more, so the row's text is not there.
    EXPECT_EQ(pixels(image,
                     QRect(drawnByModule.left() + 1, drawnByModule.top() + 1, drawnByModule.width() / 2 - 2,
                           drawnByModule.height() - 3),
                     isInk),
              0);

    // A module may draw a frame line itself.
    t.grid.CellLayouts()[0].OnFrameLineDraw = [](const TphCellLayout&, QPainter* canvas, TphFrameOption side,
                                                 QPoint from, QPoint to, bool& handled) {
        if (side != foBottom) return;
        canvas->setPen(QColor(255, 0, 255));
        canvas->drawLine(from, to);
        handled = true;
    };
    const QImage drawn = t.shot();
    EXPECT_EQ(drawn.pixelColor(r0.center().x(), r0.bottom()), QColor(255, 0, 255));
    EXPECT_EQ(drawn.pixelColor(r0.left(), r0.center().y()), QColor(0, 128, 0));
}

TEST(GridLayouts, IconsGroupCellsAndFocusRectangles) {
    Shown t;
    QPixmap red(8, 8);
    red.fill(Qt::red);
    t.grid.ImageList = {QPixmap(), red};
    TphGrid_Column icon = column(100);
    icon.HasIcon = true;
    icon.OnGetIconIndex = [](TphGrid* g, int, int gridRow, int& index) {
        index = g->NodeOfGridRow(gridRow)->CellText(1) == "B" ? 1 : -1;
    };
    TphGrid_Column group = column(100);
    group.Groupcells = true;
    t.grid.SetColumns({icon, group});
    t.grid.SetHasHeaders(false);
    for (const char* g : {"A", "A", "B", "B", "B", "C"})
        t.add({"item", g});
    const QImage image = t.shot();
    image.save(testsupport::pictureDir("grid") + "/groups.png");
    const auto isRed = [](const QColor& c) { return c == QColor(255, 0, 0); };
    // Icons on the rows that ask for one, before the text.
    EXPECT_GT(pixels(image, t.cell(0, 2), isRed), 40);
    EXPECT_EQ(pixels(image, t.cell(0, 0), isRed), 0);
    EXPECT_GT(t.grid.CellInset(0, t.grid.GridRowOf(2)), t.grid.CellInset(0, t.grid.GridRowOf(0)));
    // Group cells: text on the first row of each group only, and no line between rows of a group.
    const auto ink = [&](int row) {
        const QRect c = t.cell(1, row);
        return pixels(image, QRect(c.left() + 1, c.top() + 1, c.width() - 3, c.height() - 3), isInk);
    };
    EXPECT_GT(ink(0), 0);
    EXPECT_EQ(ink(1), 0);
    EXPECT_GT(ink(2), 0);
    EXPECT_EQ(ink(3), 0);
    EXPECT_EQ(ink(4), 0);
    EXPECT_GT(ink(5), 0);
    const QRect first = t.cell(1, 0);
    EXPECT_EQ(image.pixelColor(first.center().x(), first.bottom()), QColor(Qt::white));
    EXPECT_NE(image.pixelColor(first.center().x(), t.cell(1, 1).bottom()), QColor(Qt::white));
    // A module's comparison groups differently: everything from B on is one group.
    t.grid.Columns()[1].OnGroupcellCompare = [](TphGrid* g, int, int row1, int row2, bool& same) {
        same = g->Cell(1, row1) >= "B" && g->Cell(1, row2) >= "B";
    };
    EXPECT_TRUE(t.grid.SameGroup(1, 4, 5));
    EXPECT_FALSE(t.grid.SameGroup(1, 1, 2));

    // Focus rectangles around the focused cell and around the grid.
    t.grid.SetFocusedRow(1, false);
    t.grid.setFocus();
    QApplication::setActiveWindow(&t.grid);
    ASSERT_TRUE(QTest::qWaitFor([&] { return t.grid.hasFocus(); }));
    const auto dotted = [&](const QImage& img) {
        const QRect c = t.cell(t.grid.FocusedColumn(), 1);
        return std::pair(pixels(img, QRect(c.left() + 2, c.top(), c.width() - 6, 1), isInk) > 3,
                         pixels(img, QRect(1, img.height() - 1, img.width() - 2, 1), isInk) > 3);
    };
    EXPECT_EQ(dotted(t.shot()), std::pair(true, true));
    t.grid.SetFocusRect_Cell(false);
    t.grid.SetFocusRect_Grid(false);
    EXPECT_EQ(dotted(t.shot()), std::pair(false, false));
}

namespace {

// The platform's formats as the user has them, for the length of a test.
class DefaultLocale {
public:
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(FOld); }

private:
    QLocale FOld;
};

} // namespace

TEST(GridEditors, DateAndTimeInThePlatformsFormats) {
    const DefaultLocale us(QLocale(QLocale::English, QLocale::UnitedStates));
    Shown t;
    TphGrid_Column date = column(110, QString(), tckDate);
    TphGrid_Column time = column(110, QString(), tckTime);
    TphGrid_Column optional = column(110, QString(), tckDate);
    optional.CheckBoxOnDateTime = true;
    t.grid.SetColumns({date, time, optional});
    t.add({"3/9/24", "2:05:09 PM", "3/9/24"});
    int stops = 0;
    t.grid.OnEditStop = [&stops](TphGrid*, int, int) { ++stops; };

    // A date: the picker opens on the cell's date; the day goes up by one; Enter writes it back.
    QTest::mouseDClick(&t.grid, Qt::LeftButton, {}, t.at(0, 0));
    auto* picker = t.grid.Editor() ? t.grid.Editor()->findChild<QDateTimeEdit*>() : nullptr;
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->date(), QDate(2024, 3, 9));
    picker->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(picker, Qt::Key_Up);
    QTest::keyClick(picker, Qt::Key_Return);
    EXPECT_EQ(t.grid.Cell(0, 1), "3/10/24");
    EXPECT_FALSE(t.grid.Editing());

    // A time, written in the platform's time format (here with AM and PM), not in a fixed 24-hour one.
    EXPECT_EQ(TphGrid::TimeFormat(), "h:mm:ss AP");
    QTest::mouseDClick(&t.grid, Qt::LeftButton, {}, t.at(1, 0));
    picker = t.grid.Editor()->findChild<QDateTimeEdit*>();
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->time(), QTime(14, 5, 9));
    picker->setCurrentSection(QDateTimeEdit::HourSection);
    QTest::keyClick(picker, Qt::Key_Up);
    QTest::keyClick(picker, Qt::Key_Return);
    EXPECT_EQ(t.grid.Cell(1, 1), "3:05:09 PM");

    // With the box: cleared, the cell is left empty; an empty cell opens with the box cleared.
    QTest::mouseDClick(&t.grid, Qt::LeftButton, {}, t.at(2, 0));
    auto* box = t.grid.Editor()->findChild<QCheckBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() / 2, box->height() / 2));
    EXPECT_FALSE(box->isChecked());
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(t.grid.Cell(2, 1), "");
    QTest::mouseDClick(&t.grid, Qt::LeftButton, {}, t.at(2, 0));
    EXPECT_FALSE(t.grid.Editor()->findChild<QCheckBox*>()->isChecked());
    // Escape leaves the cell as it was and ends no edit.
    QTest::keyClick(t.grid.Editor()->findChild<QCheckBox*>(), Qt::Key_Escape);
    EXPECT_FALSE(t.grid.Editing());
    EXPECT_EQ(stops, 3);
}

TEST(GridEditors, TypedDatesWithMonthNames) {
    // The platform's short date format here names the month: "d MMM yyyy".
    const DefaultLocale c(QLocale::c());
    ASSERT_TRUE(QLocale().dateFormat(QLocale::ShortFormat).contains("MMM"));
    QDate d;
    ASSERT_TRUE(TphGrid::ReadDateText("3 Feb 2024", d));
    EXPECT_EQ(d, QDate(2024, 2, 3));
    ASSERT_TRUE(TphGrid::ReadDateText(" 28 sep 2023 ", d));
    EXPECT_EQ(d, QDate(2023, 9, 28));
    ASSERT_TRUE(TphGrid::ReadDateText("1 September 2023", d)); // a long name is not read as "Sep"
    EXPECT_EQ(d, QDate(2023, 9, 1));
    EXPECT_FALSE(TphGrid::ReadDateText("3 Foo 2024", d));
    // A date column sorts such dates by the day they name.
    Grid g({}, false);
    g.grid.Columns()[0].Kind = tckDate;
    for (const char* text : {"3 Feb 2024", "28 Sep 2023", "1 Jan 2024"})
        g.grid.Tree()->AddNode(nullptr)->SetCellText(0, text);
    g.grid.SortByColumn(0);
    EXPECT_EQ(g.column(), QStringList({"28 Sep 2023", "1 Jan 2024", "3 Feb 2024"}));
}

TEST(GridEditors, ComboItemsReadOnlyEditorsAndMemos) {
    Shown t;
    TphGrid_Column combo = column(100, QString(), tckCombo);
    combo.ComboItems = {"first"};
    TphGrid_Column memo = column(100, QString(), tckMemo);
    t.grid.SetColumns({combo, column(100), memo});
    t.add({"first", "kept", "line"});
    QStringList offered;
    t.grid.OnBeforeEditWithCombo = [&offered](TphGrid*, int, int, QStringList& items) {
        items << "second";
        offered = items;
    };
    QTest::mouseDClick(&t.grid, Qt::LeftButton, {}, t.at(0, 0));
    auto* box = qobject_cast<QComboBox*>(t.grid.Editor());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(offered, QStringList({"first", "second"}));
    box->setCurrentIndex(1);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(t.grid.Cell(0, 1), "second");

    // The module refuses changes to a cell: its editor shows the text and keeps it.
    t.grid.OnEditorCanModify = [](TphGrid*, int col, int, bool& canModify) { canModify = col != 1; };
    QTest::mouseDClick(&t.grid, Qt::LeftButton, {}, t.at(1, 0));
    auto* edit = qobject_cast<QLineEdit*>(t.grid.Editor());
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isReadOnly());
    QTest::keyClicks(edit, "xyz");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(t.grid.Cell(1, 1), "kept");
    // A read-only combo cannot show a text that is none of its items: ending its edit keeps the text.
    t.grid.OnEditorCanModify = [](TphGrid*, int, int, bool& canModify) { canModify = false; };
    t.grid.NodeAt(0)->SetCellText(0, "retired");
    QTest::mouseDClick(&t.grid, Qt::LeftButton, {}, t.at(0, 0));
    ASSERT_NE(qobject_cast<QComboBox*>(t.grid.Editor()), nullptr);
    t.grid.EndEdit();
    EXPECT_EQ(t.grid.Cell(0, 1), "retired");
    t.grid.OnEditorCanModify = nullptr;

    // A memo takes Enter as a line break and ends with Ctrl+Enter.
    QTest::mouseDClick(&t.grid, Qt::LeftButton, {}, t.at(2, 0));
    auto* lines = qobject_cast<QPlainTextEdit*>(t.grid.Editor());
    ASSERT_NE(lines, nullptr);
    lines->moveCursor(QTextCursor::End);
    QTest::keyClick(lines, Qt::Key_Return);
    QTest::keyClicks(lines, "two");
    QTest::keyClick(lines, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(t.grid.Cell(2, 1), "line\ntwo");
}

TEST(GridSubGrids, ASubGridOpensBelowItsCellFilledForThatCell) {
    Shown t(420, 300);
    TphGrid_SubGrid parts;
    parts.Name = "Parts";
    parts.Columns = {column(80), column(60)};
    parts.HasInfoCol = false;
    t.grid.SubGrids() = {parts};
    TphGrid_Column sub = column(100, QString(), tckSubGrid);
    sub.SubGridName = "parts";
    std::vector<std::pair<int, int>> asked;
    sub.OnContextSensitiveSubGrid = [&asked](TphGrid* grid, int col, int gridRow, TphGrid* subGrid) {
        asked.emplace_back(col, gridRow);
        const QString line = grid->Cell(0, gridRow);
        for (int i = 1; i <= 2; ++i) {
            TphDataEntity_GridTreeNode* n = subGrid->Tree()->AddNode(nullptr);
            n->SetCellText(0, line + "-" + QString::number(i));
        }
    };
    TphGrid_Column tree = column(100, QString(), tckSubTree);
    tree.SubGridName = "Parts";
    t.grid.SetColumns({column(80), sub, tree});
    t.add({"L1", "parts of L1", "tree"});
    t.add({"L2", "parts of L2", "tree"});
    int stops = 0;
    t.grid.OnEditStop = [&stops](TphGrid*, int, int) { ++stops; };

    QTest::mouseDClick(&t.grid, Qt::LeftButton, {}, t.at(1, 1));
    TphGrid* subGrid = t.grid.SubGrid();
    ASSERT_NE(subGrid, nullptr);
    EXPECT_TRUE(subGrid->isVisible());
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{1, 2}}));
    // The sub grid's own settings, its rows for the cell it opened on, below that cell.
    EXPECT_EQ(subGrid->Columns().size(), 2u);
    EXPECT_FALSE(subGrid->HasInfoCol());
    EXPECT_EQ(subGrid->DisplayRowCount(), 2);
    EXPECT_EQ(subGrid->NodeAt(1)->CellText(0), "L2-2");
    EXPECT_GE(subGrid->y(), t.cell(1, 1).bottom());
    EXPECT_EQ(subGrid->x(), t.cell(1, 1).left());
    EXPECT_TRUE(subGrid->hasFocus());
    // Enter ends it: the cell keeps its text.
    QTest::keyClick(subGrid, Qt::Key_Return);
    EXPECT_FALSE(t.grid.Editing());
    EXPECT_EQ(t.grid.Cell(1, 2), "parts of L2");
    EXPECT_EQ(stops, 1);

    // A sub tree: the same grid with tree buttons in its first column.
    QTest::mouseDClick(&t.grid, Qt::LeftButton, {}, t.at(2, 0));
    ASSERT_NE(t.grid.SubGrid(), nullptr);
    EXPECT_TRUE(t.grid.SubGrid()->Columns()[0].TreeButton);
    QTest::keyClick(t.grid.SubGrid(), Qt::Key_Escape);
    EXPECT_EQ(t.grid.SubGrid(), nullptr);
    EXPECT_EQ(stops, 1);
}

TEST(GridSizing, DraggingEdgesResizesColumnsAndRows) {
    Shown t;
    t.grid.SetColumns({column(80), column(80)});
    t.add({"a", "b"});
    t.add({"c", "d"});
    std::vector<int> columns, rows;
    int afterSize = 0, resized = 0;
    t.grid.OnColumnResized = [&columns](TphGrid*, int col) { columns.push_back(col); };
    t.grid.OnRowResized = [&rows](TphGrid*, int gridRow) { rows.push_back(gridRow); };
    t.grid.OnAfterUserSize = [&afterSize](TphGrid*) { ++afterSize; };
    t.grid.OnGridResize = [&resized](TphGrid*) { ++resized; };
    // The header's edge between the two columns, dragged 30 pixels to the right.
    const int edge = t.grid.ColumnLeft(0) + t.grid.ColumnWidth(0);
    QTest::mousePress(&t.grid, Qt::LeftButton, {}, QPoint(edge, 5));
    QTest::mouseMove(&t.grid, QPoint(edge + 15, 5));
    QTest::mouseMove(&t.grid, QPoint(edge + 30, 5));
    EXPECT_EQ(afterSize, 0);
    QTest::mouseRelease(&t.grid, Qt::LeftButton, {}, QPoint(edge + 30, 5));
    EXPECT_EQ(t.grid.ColumnWidth(0), 110);
    ASSERT_FALSE(columns.empty());
    EXPECT_EQ(columns.back(), 0);
    EXPECT_EQ(afterSize, 1);
    // A row's lower edge in the info column, dragged 10 pixels down.
    const QRect first = t.cell(0, 0);
    QTest::mousePress(&t.grid, Qt::LeftButton, {}, QPoint(4, first.bottom() + 1));
    QTest::mouseMove(&t.grid, QPoint(4, first.bottom() + 11));
    QTest::mouseRelease(&t.grid, Qt::LeftButton, {}, QPoint(4, first.bottom() + 11));
    EXPECT_EQ(t.grid.RowHeight(0), TphGrid::DefaultRowHeight + 10);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back(), 1);
    EXPECT_EQ(afterSize, 2);
    // Nothing was selected by the presses on the edges.
    EXPECT_TRUE(t.grid.SelectedNodes().empty());
    t.grid.resize(300, 200);
    EXPECT_GE(resized, 1);
}

TEST(GridTree, ButtonsChildrenOnDemandAndTheirEvents) {
    Shown t;
    TphGrid_Column first = column(160);
    first.TreeButton = true;
    t.grid.SetColumns({first});
    t.grid.SetHasHeaders(false);
    TphDataEntity_GridTreeNode* plain = t.add({"plain"});
    TphDataEntity_GridTreeNode* lazy = t.add({"lazy"});
    TphDataEntity_GridTreeNode* shown = t.add({"parent"});
    TphDataEntity_GridTreeNode* child = t.add({"child"}, shown);
    TphDataEntity_GridTreeNode* hidden = t.add({"hidden child"}, shown);
    hidden->SetVisible(false);
    EXPECT_EQ(t.grid.DisplayRowCount(), 4); // the hidden child has no row

    // The module knows that "lazy" has children before any is there.
    t.grid.OnIsButtonTerminal = [lazy](TphGrid*, TphDataEntity_GridTreeNode* node, bool& terminal) {
        if (node == lazy) terminal = false;
    };
    std::vector<TphDataEntity_GridTreeNode*> initialised, clicked, loaded;
    t.grid.OnInitTreeSubDataList = [&](TphGrid*, TphDataEntity_GridTreeNode* parent,
                                       TphDataList_GridTree* list) {
        initialised.push_back(parent);
        if (parent == lazy) list->AddUnloaded(3);
    };
    t.grid.OnVirtualLoad = [&](TphGrid*, TphDataEntity_GridTreeNode* node) {
        loaded.push_back(node);
        node->SetCellText(0, "loaded " + QString::number(node->GetIndex()));
    };
    t.grid.OnButtonClick = [&](TphGrid*, TphDataEntity_GridTreeNode* node) { clicked.push_back(node); };
    lazy->Expanded = false;
    const auto buttonOf = [&](int row) {
        return QPoint(t.grid.ColumnLeft(0) + 3 + 4, t.cell(0, row).center().y());
    };
    QTest::mouseClick(&t.grid, Qt::LeftButton, {}, buttonOf(0)); // "plain" has no button
    EXPECT_TRUE(clicked.empty());
    QTest::mouseClick(&t.grid, Qt::LeftButton, {}, buttonOf(1));
    EXPECT_EQ(clicked, std::vector<TphDataEntity_GridTreeNode*>{lazy});
    EXPECT_EQ(initialised, std::vector<TphDataEntity_GridTreeNode*>{lazy});
    EXPECT_EQ(t.grid.DisplayRowCount(), 7);
    // The rows come into memory as they are shown.
    const QImage image = t.shot();
    image.save(testsupport::pictureDir("grid") + "/tree.png");
    EXPECT_EQ(loaded.size(), 3u);
    EXPECT_EQ(t.grid.Cell(0, 3), "loaded 1");
    EXPECT_EQ(t.grid.DisplayIndexOf(t.grid.NodeAt(4)), 4);
    // Children sit one indent further in, after their parent's button.
    EXPECT_EQ(t.grid.CellInset(0, 3) - t.grid.CellInset(0, 1), TphGrid::TreeIndent);
    // The tree line of a child leads to its parent's button cell.
    int col = -2, row = -2;
    t.grid.ParentButtonCell(t.grid.NodeAt(3), col, row);
    EXPECT_EQ(std::pair(col, row), std::pair(0, 1));
    t.grid.ParentButtonCell(plain, col, row);
    EXPECT_EQ(std::pair(col, row), std::pair(-1, -1));
    // A closed node hides its rows again; the module may decide otherwise.
    QTest::mouseClick(&t.grid, Qt::LeftButton, {}, buttonOf(1));
    EXPECT_EQ(t.grid.DisplayRowCount(), 4);
    t.grid.OnIsButtonExpanded = [lazy](TphGrid*, TphDataEntity_GridTreeNode* node, bool& expanded) {
        if (node == lazy) expanded = true;
    };
    t.grid.AxisChanged();
    EXPECT_EQ(t.grid.DisplayRowCount(), 7);
    // Children that are all hidden leave their parent without a button, unless the module says otherwise.
    EXPECT_FALSE(t.grid.IsButtonTerminal(shown));
    child->SetVisible(false);
    EXPECT_TRUE(t.grid.IsButtonTerminal(shown));
    t.grid.OnButtonHasNonHiddenChildren = [](TphGrid*, TphDataEntity_GridTreeNode*, bool& has) {
        has = true;
    };
    EXPECT_FALSE(t.grid.IsButtonTerminal(shown));
    // The inset of a cell is the module's to change.
    t.grid.OnCellInset = [](TphGrid*, int, int, int& inset) { inset = 50; };
    EXPECT_EQ(t.grid.CellInset(0, 1), 50);
}

TEST(GridTree, RowsLeaveMemoryOnlyWhenTheModuleLetsThem) {
    Shown t;
    t.grid.SetColumns({column(160)});
    t.grid.SetHasHeaders(false);
    t.grid.OnVirtualLoad = [](TphGrid*, TphDataEntity_GridTreeNode* node) {
        node->SetCellText(0, "row " + QString::number(node->GetIndex()));
    };
    int unloadAsked = 0;
    std::vector<int> unloaded;
    t.grid.OnVirtualUnLoad = [&](TphGrid*, TphDataEntity_GridTreeNode* node, bool& unload) {
        ++unloadAsked;
        unload = node->GetIndex() < 600;
        if (unload) unloaded.push_back(node->GetIndex());
    };
    t.grid.Tree()->Root()->AddUnloaded(1200);
    EXPECT_EQ(t.grid.DisplayRowCount(), 1200);
    t.shot(); // the rows on screen come in
    EXPECT_EQ(t.grid.Cell(0, 0), "row 0");
    // Going far down loads the rows on the way; the list then drops the ones the module lets go.
    t.grid.SetFocusedRow(1100);
    EXPECT_GT(unloadAsked, 0);
    ASSERT_FALSE(unloaded.empty());
    EXPECT_EQ(unloaded.front(), 0);
    EXPECT_EQ(t.grid.DisplayRowCount(), 1200);
    EXPECT_EQ(t.grid.Cell(0, 1100), "row 1100");
    // Back at the top, the dropped rows come in again, filled once more.
    t.grid.SetTopRow(0);
    EXPECT_EQ(t.grid.Cell(0, 0), "row 0");
    EXPECT_EQ(t.grid.DisplayIndexOf(t.grid.NodeAt(5)), 5);
}
