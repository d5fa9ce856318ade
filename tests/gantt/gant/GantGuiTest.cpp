// The Gantt control's geometry, hit testing and editing, driven with real mouse and key events.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

#include "gantt/phGant.h"
#include "gantt/phGrid.h"
#include "gantt/phScaler.h"

namespace {

const double D0 = kv::encodeDate(2024, 5, 1);

struct Gant {
    TphGant g;
    explicit Gant(int rows = 3, int width = 900, int height = 300) {
        g.resize(width, height);
        g.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&g));
        g.SetStart(D0);
        g.SetStop(D0 + 10);
        for (int i = 0; i < rows; ++i)
            g.GridTree()->AddNode(nullptr);
    }
    TGantRow* row(int i) { return g.RowOfNode(g.Grid()->NodeAt(i)); }
    TphDataEntity_GantTime* add(int r, double start, double stop, int layer = 0) {
        TphDataEntity_GantTime* item = row(r)->AddTime(layer);
        item->StartTime = start;
        item->StopTime = stop;
        return item;
    }
    void settle() {
        g.GantArea()->repaint();
        g.UpdateAllGeometry();
    }
    QPoint inside(TphDataEntity_GantTime* item) {
        const QRect r = g.ItemRect(item);
        return QPoint(r.left() + r.width() / 2, r.top() + r.height() / 2);
    }
    int px(double date) { return g.Scaler()->PixelAtDate(date); }
};

} // namespace

TEST(GantGeometry, ItemRectangles) {
    Gant t(40); // more rows than the area shows, so that they can scroll
    TphDataEntity_GantTime* zero = t.add(0, D0 + 2, D0 + 2);
    TphDataEntity_GantTime* fixed = t.add(1, D0 + 3 + 10.0 / 24, D0 + 4);
    fixed->FixedWidth = 9;
    t.settle();
    const QRect rz = t.g.ItemRect(zero);
    EXPECT_EQ(rz.width(), 5);
    EXPECT_EQ(rz.left(), t.px(D0 + 2));
    const QRect rf = t.g.ItemRect(fixed);
    EXPECT_EQ(rf.left(), t.px(D0 + 3 + 10.0 / 24) - 4);
    EXPECT_EQ(rf.left() + rf.width(), t.px(D0 + 3 + 10.0 / 24) + 5);
    // The band: one pixel inside the row at the top and bottom.
    const QRect row = t.row(0)->Rect;
    EXPECT_EQ(rz.top(), row.top() + 1);
    EXPECT_EQ(rz.top() + rz.height(), row.top() + row.height() - 1);
    // Rows scrolled away have no rectangle, nor their items.
    t.g.Grid()->SetTopRow(1);
    t.settle();
    EXPECT_TRUE(t.g.ItemRect(zero).isEmpty());
    EXPECT_EQ(t.g.TimeAt(rz.left() + 1, rz.top() + 1), nullptr);
}

TEST(GantGeometry, BandsOfACollisionRow) {
    Gant t;
    t.g.Grid()->SetRowHeight(0, 22); // bands: (22 - 2) / 3 = 6 pixels
    TGantRow* row = t.row(0);
    TphDataEntity_GantTime* item = t.add(0, D0 + 1, D0 + 2);
    row->CollisionLayout = true;
    row->SubRowCount = 3;
    item->SubRow = 2;
    t.settle();
    const QRect r = t.g.ItemRect(item);
    EXPECT_EQ(r.top(), row->Rect.top() + 7);
    EXPECT_EQ(r.top() + r.height(), row->Rect.top() + 13);
}

TEST(GantGeometry, HitTestFindsTheItemPaintedLast) {
    Gant t;
    TphDataEntity_GantTime* first = t.add(0, D0 + 1, D0 + 4);
    TphDataEntity_GantTime* second = t.add(0, D0 + 2, D0 + 5);
    t.settle();
    const int y = t.inside(first).y();
    EXPECT_EQ(t.g.TimeAt(t.px(D0 + 3), y), second);
    EXPECT_EQ(t.g.TimeAt(t.px(D0 + 1.5), y), first);
    EXPECT_EQ(t.g.TimeAt(t.px(D0 + 6), y), nullptr);
    // Right and bottom edges are outside.
    const QRect r = t.g.ItemRect(second);
    EXPECT_EQ(t.g.TimeAt(r.left() + r.width(), y), nullptr);
    EXPECT_EQ(t.g.TimeAt(r.left() + r.width() - 1, y), second);
}

TEST(GantMouse, MoveOver12Then24TurnsLongMovesIntoWholeDays) {
    Gant t(1);
    t.g.MoveOver12Then24 = true;
    t.g.SetStart(D0 - 0.2);
    t.g.SetStop(D0 + 3); // about 6 minutes a pixel: the start snaps to 5-minute steps
    TphDataEntity_GantTime* item = t.add(0, D0, D0 + 1);
    int changes = 0;
    t.g.OnChangeDataEntity_GantTime = [&](TphGant*, TphDataEntity_GantTime* changed) {
        EXPECT_EQ(changed, item);
        ++changes;
    };
    t.settle();
    QWidget* area = t.g.GantArea();
    auto drag = [&](double days) {
        const QPoint from = t.inside(item);
        const QPoint to(t.px(item->StartTime + days) - t.px(item->StartTime) + from.x(), from.y());
        QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(area, to);
        QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, to);
        t.settle();
    };
    drag(1 + 13.0 / 24);
    EXPECT_DOUBLE_EQ(item->StartTime, D0 + 2);
    EXPECT_DOUBLE_EQ(item->StopTime, D0 + 3);
    t.g.SetStart(D0 + 1.5);
    t.g.SetStop(D0 + 4.5);
    t.settle();
    drag(-11.0 / 24);
    // Short moves keep their snapped hours (the start snaps to the step of the zoom).
    const double step = TSnapHandler::Step(5.0 / 1440, t.g.Scaler()->DurationOfPixels(1));
    EXPECT_NEAR(item->StartTime, D0 + 2 - 11.0 / 24, step);
    EXPECT_NEAR(item->StopTime - item->StartTime, 1, 1e-9);
    EXPECT_EQ(changes, 2);
}

// A release whose move fails still ends the gesture and tells the mouse-up handler; that handler
// failing as well gives way to the first failure instead of ending the program.
TEST(GantMouse, AReleaseThatFailsEndsTheGestureAndReportsTheFirstFailure) {
    Gant t(1);
    TphDataEntity_GantTime* item = t.add(0, D0 + 1, D0 + 2);
    t.settle();
    t.g.OnChangeDataEntity_GantTime = [](TphGant*, TphDataEntity_GantTime*) {
        throw std::runtime_error("move refused");
    };
    int ups = 0;
    t.g.OnGantAreaMouseUp = [&ups](TphGantArea*, TMouseButton, int, int, int) {
        ++ups;
        throw std::runtime_error("mouse-up failed");
    };
    const QPoint from = t.inside(item), to = from + QPoint(t.px(D0 + 2) - t.px(D0 + 1), 0);
    t.g.AreaMouseDown(mbLeft, 0, from.x(), from.y(), false);
    t.g.AreaMouseMove(0, to.x(), to.y());
    try {
        t.g.AreaMouseUp(mbLeft, 0, to.x(), to.y());
        ADD_FAILURE() << "the failed move was not reported";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "move refused");
    }
    EXPECT_EQ(ups, 1);
    // The next press starts a new gesture.
    t.g.OnChangeDataEntity_GantTime = nullptr;
    t.g.OnGantAreaMouseUp = nullptr;
    t.g.AreaMouseDown(mbLeft, 0, to.x(), to.y(), false);
    t.g.AreaMouseUp(mbLeft, 0, to.x(), to.y());
    EXPECT_EQ(t.g.CurrentItem(), item);
}

TEST(GantMouse, SnappingFollowsThePixelDuration) {
    TSnapHandler snap;
    snap.PixelDuration = 27.0 / 1440;
    EXPECT_NEAR(TSnapHandler::Step(snap.StartStep, snap.PixelDuration), 25.0 / 1440, 1e-12);
    EXPECT_NEAR(TSnapHandler::Step(snap.StopStep, snap.PixelDuration), 27.0 / 1440, 1e-12);
    double start = D0 + 0.5 + 13.0 / 1440; // 12:13 -> 12:05 (29 x 25 minutes)
    double stop = D0 + 0.5 + 20.0 / 1440;  // 12:20 -> 12:09 (27 x 27 minutes)
    snap.Snap(start, stop);
    EXPECT_NEAR((start - D0) * 1440, 725, 1e-6);
    EXPECT_NEAR((stop - D0) * 1440, 729, 1e-6);
}

TEST(GantMouse, CopyAndRowChangeGoThroughHandlers) {
    Gant t;
    TphDataEntity_GantTime* item = t.add(0, D0 + 1, D0 + 2);
    t.settle();
    TGantRow* targetSeen = nullptr;
    t.g.OnTimeChangeRow = [&](TphGant*, TphDataEntity_GantTime*, TGantRow* from, TGantRow* to, double, double,
                              TphDataEntity_GantTime*& select) {
        EXPECT_EQ(from, t.row(0));
        targetSeen = to;
        select = nullptr;
    };
    int copies = 0;
    t.g.OnTimeCopy = [&](TphGant*, TphDataEntity_GantTime*, TGantRow*, TGantRow* to, double start, double,
                         TphDataEntity_GantTime*& select) {
        ++copies;
        select = t.add(2, start, start + 1);
        EXPECT_EQ(to, t.row(2));
    };
    QWidget* area = t.g.GantArea();
    const QPoint from = t.inside(item);
    const int rowStep = t.row(1)->Rect.top() - t.row(0)->Rect.top();
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(area, from + QPoint(0, rowStep));
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, from + QPoint(0, rowStep));
    EXPECT_EQ(targetSeen, t.row(1));
    EXPECT_DOUBLE_EQ(item->StartTime, D0 + 1); // moved to another row only by the handler
    QTest::mousePress(area, Qt::LeftButton, Qt::ControlModifier, from);
    QTest::mouseMove(area, from + QPoint(0, 2 * rowStep));
    QTest::mouseRelease(area, Qt::LeftButton, Qt::ControlModifier, from + QPoint(0, 2 * rowStep));
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(t.g.SelectedItems().size(), 2u);
}

TEST(GantKeys, ArrowKeysWalkTheLayer) {
    Gant t;
    TphDataEntity_GantTime* a = t.add(0, D0 + 1, D0 + 2);
    TphDataEntity_GantTime* b = t.add(0, D0 + 3, D0 + 4);
    TphDataEntity_GantTime* c = t.add(0, D0 + 5, D0 + 6);
    TphDataEntity_GantTime* below = t.add(1, D0 + 4.5, D0 + 5.5);
    TphDataEntity_GantTime* far = t.add(1, D0 + 8, D0 + 9);
    (void)far;
    t.settle();
    QWidget* area = t.g.GantArea();
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, t.inside(b));
    ASSERT_EQ(t.g.CurrentItem(), b);
    QTest::keyClick(area, Qt::Key_Right);
    EXPECT_EQ(t.g.CurrentItem(), c);
    EXPECT_TRUE(c->Selected);
    EXPECT_FALSE(b->Selected);
    QTest::keyClick(area, Qt::Key_Left);
    EXPECT_EQ(t.g.CurrentItem(), b);
    QTest::keyClick(area, Qt::Key_Home);
    EXPECT_EQ(t.g.CurrentItem(), a);
    QTest::keyClick(area, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(t.g.CurrentItem(), c);
    EXPECT_TRUE(a->Selected && c->Selected);
    QTest::keyClick(area, Qt::Key_Down);
    EXPECT_EQ(t.g.CurrentItem(), below);
    EXPECT_EQ(t.g.Grid()->FocusedRow(), 1);
    QTest::keyClick(area, Qt::Key_Space);
    EXPECT_FALSE(below->Selected);
    QTest::keyClick(area, Qt::Key_Down); // row 2 is empty
    EXPECT_EQ(t.g.CurrentItem(), nullptr);
}

TEST(GantEvents, ClickDoubleClickAndHints) {
    Gant t;
    TphDataEntity_GantTime* item = t.add(0, D0 + 1, D0 + 2);
    t.settle();
    std::vector<TphDataEntity_GantTime*> clicks, doubles;
    std::vector<double> hintLengths;
    t.g.OnClickGantArea = [&](TphGant*, TphDataEntity_GantTime* i) { clicks.push_back(i); };
    t.g.OnDblClickGantArea = [&](TphGant*, TphDataEntity_GantTime* i) { doubles.push_back(i); };
    t.g.OnHintInfo = [&](TphDataEntity_GantTime*, double length, double, double) {
        hintLengths.push_back(length);
    };
    QWidget* area = t.g.GantArea();
    QTest::mouseDClick(area, Qt::LeftButton, Qt::NoModifier, t.inside(item));
    EXPECT_EQ(doubles, std::vector<TphDataEntity_GantTime*>({item}));
    EXPECT_GE(clicks.size(), 1u);
    EXPECT_EQ(t.g.MouseState(), 0);
    EXPECT_DOUBLE_EQ(item->StartTime, D0 + 1);
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(clicks.back(), nullptr);
    EXPECT_FALSE(item->Selected);
    ASSERT_FALSE(hintLengths.empty());
    EXPECT_DOUBLE_EQ(hintLengths.front(), 1);
    EXPECT_EQ(t.g.HintText(item).count(QLatin1Char('\r')), 2);
}

// A window that opens while the mouse is pressed (the daily editor on a double click, a refusal to
// leave the line) takes the release: the gesture of that press ends with the next move without a
// button or the next press, and never stretches or moves the bar afterwards.
TEST(GantMouse, AGestureWhoseReleaseAWindowTookEndsWithTheNextMoveOrPress) {
    Gant t;
    TphDataEntity_GantTime* item = t.add(0, D0 + 1, D0 + 3);
    t.settle();
    QWidget* area = t.g.GantArea();
    auto send = [area](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, at, area->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(area, &e);
    };
    t.g.OnGantAreaMouseDown = [](QWidget*, TMouseButton, int, int, int) {
        QDialog modal;
        QTimer::singleShot(10, &modal, &QDialog::accept);
        modal.exec();
    };
    const QRect r = t.g.ItemRect(item);
    const QPoint stopEdge(r.left() + r.width() - 2, r.center().y());
    const QPoint later(t.px(D0 + 7), r.center().y());
    // The press on the stop edge starts a resize; its release never comes.
    send(QEvent::MouseButtonPress, stopEdge, Qt::LeftButton, Qt::LeftButton);
    t.g.OnGantAreaMouseDown = nullptr;
    EXPECT_NE(t.g.MouseState(), 0);
    send(QEvent::MouseMove, later, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(t.g.MouseState(), 0);
    send(QEvent::MouseButtonPress, later, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, later, Qt::LeftButton, Qt::NoButton);
    EXPECT_DOUBLE_EQ(item->StartTime, D0 + 1);
    EXPECT_DOUBLE_EQ(item->StopTime, D0 + 3);

    // The same without a move in between: the next press ends the old gesture.
    t.g.OnGantAreaMouseDown = [](QWidget*, TMouseButton, int, int, int) {
        QDialog modal;
        QTimer::singleShot(10, &modal, &QDialog::accept);
        modal.exec();
    };
    send(QEvent::MouseButtonPress, stopEdge, Qt::LeftButton, Qt::LeftButton);
    t.g.OnGantAreaMouseDown = nullptr;
    send(QEvent::MouseButtonPress, later, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, later, Qt::LeftButton, Qt::NoButton);
    EXPECT_DOUBLE_EQ(item->StartTime, D0 + 1);
    EXPECT_DOUBLE_EQ(item->StopTime, D0 + 3);
    EXPECT_EQ(t.g.MouseState(), 0);
}

TEST(GantEvents, ScalerChangeRaisesAlignAndChange) {
    Gant t;
    int aligns = 0;
    double seenStart = 0;
    t.g.OnAlignNeed = [&](TphGant*, int width, double, double) {
        EXPECT_EQ(width, t.g.GantArea()->width());
        ++aligns;
    };
    t.g.OnScalerChange = [&](TphGant*, double start, double) { seenStart = start; };
    t.g.SetStart(D0 + 2);
    t.g.Scaler()->repaint();
    QTest::qWait(20);
    EXPECT_GE(aligns, 1);
    EXPECT_DOUBLE_EQ(seenStart, D0 + 2);
}

TEST(GantGrid, ScrollingTheGridMovesTheRows) {
    Gant t(40);
    TphDataEntity_GantTime* item = t.add(5, D0 + 1, D0 + 2);
    t.settle();
    const int y0 = t.g.ItemRect(item).top();
    t.g.VertScrollBar()->setValue(2);
    EXPECT_EQ(t.g.Grid()->TopRow(), 2);
    t.settle();
    EXPECT_EQ(t.g.ItemRect(item).top(), y0 - 2 * TphGrid::DefaultRowHeight);
    t.g.Grid()->ScrollRows(1);
    EXPECT_EQ(t.g.VertScrollBar()->value(), 3);
    // Rows scroll no further than the scroll bar reaches (what lists the rows beside the area follows
    // the bar), however far the wheel or a drag at the bottom edge pushes them.
    t.g.Grid()->ScrollRows(100);
    EXPECT_EQ(t.g.Grid()->TopRow(), t.g.VertScrollBar()->maximum());
    EXPECT_EQ(t.g.VertScrollBar()->value(), t.g.VertScrollBar()->maximum());
    TphDataEntity_GantTime* last = t.add(39, D0 + 1, D0 + 2);
    t.settle();
    EXPECT_LE(t.g.ItemRect(last).bottom(), t.g.GantArea()->height());
    EXPECT_GE(t.g.ItemRect(last).bottom(), t.g.GantArea()->height() - 2 * TphGrid::DefaultRowHeight);
    // A grid too low to show the focused row whole stops where the rows stop.
    t.g.Grid()->SetTopRow(0);
    t.g.Grid()->hide();
    t.g.Grid()->resize(t.g.Grid()->width(), 10);
    t.g.Grid()->SetFocusedRow(39, false);
    EXPECT_EQ(t.g.Grid()->TopRow(), t.g.VertScrollBar()->maximum());
}

TEST(GantEvents, HintShowsAfterASecondThroughTheQueue) {
    Gant t;
    TphDataEntity_GantTime* item = t.add(0, D0 + 1, D0 + 2);
    t.settle();
    t.g.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&t.g));
    QElapsedTimer clock;
    clock.start();
    t.g.RequestHint(item);
    EXPECT_FALSE(t.g.HintWindow()->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return t.g.HintWindow()->isVisible(); }, 3000));
    EXPECT_GE(clock.elapsed(), 950);
    EXPECT_TRUE(t.g.HintWindow()->Text.startsWith(kv::formatDateTime("YYMMDD", D0 + 1)));
    // Start, stop and length each on a line of its own, all three drawn.
    const QImage hint = t.g.HintWindow()->grab().toImage();
    const int line = t.g.HintWindow()->fontMetrics().height();
    for (int l = 0; l < 3; ++l) {
        int ink = 0;
        for (int y = 1 + l * line; y < std::min(hint.height() - 1, 1 + (l + 1) * line); ++y)
            for (int x = 3; x < hint.width() - 2; ++x)
                ink += qGray(hint.pixel(x, y)) < 100;
        EXPECT_GT(ink, 10) << "line " << l;
    }
    // Moving off the item takes the hint away at once.
    t.g.RequestHint(nullptr);
    EXPECT_FALSE(t.g.HintWindow()->isVisible());
}

TEST(GantEvents, HintShowsWhileTheMainFormIsActive) {
    // The chart sits in a tool window of the main form; the main form keeps the focus.
    QWidget mainForm;
    mainForm.resize(300, 200);
    QWidget tool(&mainForm, Qt::Window);
    tool.resize(900, 300);
    auto* g = new TphGant(&tool);
    g->resize(900, 300);
    tool.show();
    mainForm.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tool));
    g->SetStart(D0);
    g->SetStop(D0 + 10);
    g->GridTree()->AddNode(nullptr);
    TphDataEntity_GantTime* item = g->RowOfNode(g->Grid()->NodeAt(0))->AddTime(0);
    item->StartTime = D0 + 1;
    item->StopTime = D0 + 2;
    mainForm.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainForm));
    ASSERT_FALSE(tool.isActiveWindow());
    g->RequestHint(item);
    EXPECT_TRUE(QTest::qWaitFor([&] { return g->HintWindow()->isVisible(); }, 3000));
    g->RequestHint(nullptr);
    // Another window of no relation to the chart being active: no hint.
    QWidget other;
    other.resize(200, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    g->RequestHint(item);
    QTest::qWait(1400);
    EXPECT_FALSE(g->HintWindow()->isVisible());
}

TEST(GantEvents, ListEventsRepaintTheArea) {
    Gant t(40);
    TphDataEntity_GantTime* a = t.add(0, D0 + 1, D0 + 3);
    t.add(0, D0 + 2, D0 + 4);
    int paints = 0;
    t.g.GantArea()->OnPaint = [&paints](TphOffscreenPaint*) { ++paints; };
    const auto paintsAfter = [&](auto change) {
        QTest::qWait(30);
        paints = 0;
        change();
        QTest::qWait(30);
        return paints;
    };
    EXPECT_EQ(paintsAfter([] {}), 0);
    // The items swap places in their layer: the other one is now drawn on top.
    EXPECT_GE(paintsAfter([a] { a->MoveTo(1); }), 1);
    EXPECT_EQ(a->GetIndex(), 1);
    // Asking whether an item may be edited lets a handler change it: the area follows.
    EXPECT_GE(paintsAfter([a] { a->GetCanEdit(); }), 1);
    // Items loaded on demand (here of a row below the screen, which painting does not load).
    TphDataList* layer = t.add(35, D0 + 1, D0 + 2)->Owner;
    layer->AddUnloaded(2);
    EXPECT_GE(paintsAfter([layer] { layer->Get(layer->Count() - 1); }), 1);
}

TEST(GantGrid, TheChartRepublishesItsGridsSurface) {
    Gant t(30);
    TphGant& g = t.g;
    // Settings by their published names, as stored forms set them.
    EXPECT_TRUE(g.setProperty("Grid_HasHeaders", true));
    EXPECT_TRUE(g.setProperty("Grid_RowSelect", true));
    EXPECT_TRUE(g.setProperty("Grid_FocusRect_Grid", false));
    EXPECT_TRUE(g.Grid()->HasHeaders());
    EXPECT_TRUE(g.Grid()->RowSelect());
    EXPECT_FALSE(g.Grid()->FocusRect_Grid());
    EXPECT_EQ(g.property("Grid_MultiSelect").toBool(), g.Grid()->MultiSelect());
    TphCellLayout layout;
    layout.Name = "Bold";
    g.Grid_CellLayouts().push_back(layout);
    g.Grid_Columns().front().LayoutName = "Bold";
    g.Grid_Columns().front().HeaderText = "Line";
    EXPECT_EQ(g.Grid()->CellLayoutOf(0).Name, "Bold");
    EXPECT_EQ(g.Grid()->Cell(0, 0), "Line");
    // Headers on: the first row still lines up with the top of the area.
    QTest::qWait(10);
    t.settle();
    const QRect firstCell = g.Grid()->CellRect(0, 1);
    EXPECT_EQ(g.Grid()->mapTo(&g, firstCell.topLeft()).y(), g.GantArea()->mapTo(&g, QPoint(0, 0)).y());

    // Events under their "_Grid" names; the chart still follows the grid's scrolling itself.
    int stops = 0, topLeft = 0, axis = 0, selections = 0;
    g.OnEditStop_Grid = [&stops](TphGrid*, int, int) { ++stops; };
    g.OnTopLeftChanged_Grid = [&topLeft](TphGrid*) { ++topLeft; };
    g.OnAxisChanged_Grid = [&axis](TphGrid*) { ++axis; };
    g.OnSelectionChanged_Grid = [&selections](TphGrid*) { ++selections; };
    TphGrid* grid = g.Grid();
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(0, 2).center());
    EXPECT_EQ(selections, 1);
    QTest::mouseDClick(grid, Qt::LeftButton, {}, grid->CellRect(0, 2).center());
    auto* edit = qobject_cast<QLineEdit*>(grid->Editor());
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, "x");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(stops, 1);
    g.VertScrollBar()->setValue(3);
    EXPECT_EQ(topLeft, 1);
    EXPECT_EQ(grid->TopRow(), 3);
    g.GridTree()->AddNode(nullptr);
    EXPECT_GE(axis, 1);
    t.settle();
    EXPECT_EQ(g.VertScrollBar()->maximum(), std::max(0, 31 - g.VertScrollBar()->pageStep()));
}

// A row deleted while out of memory: the grid counts it until it lays out again, and the chart beside
// it lays out its rows in the meantime without the missing last one.
TEST(GantGrid, ARowDeletedOutOfMemoryLeavesTheChartStanding) {
    Gant t(0);
    TphGrid* grid = t.g.Grid();
    grid->OnVirtualUnLoad = [](TphGrid*, TphDataEntity_GridTreeNode*, bool& unload) { unload = true; };
    t.g.GridTree()->Root()->AddUnloaded(1200);
    t.settle();
    grid->SetFocusedRow(1199);
    t.settle();
    ASSERT_GT(grid->TopRow(), 1000);
    ASSERT_GT(t.g.GridTree()->Root()->UnloadedBefore, 0);
    t.g.GridTree()->Root()->Delete(0);
    t.settle();
    QTest::mouseClick(t.g.GantArea(), Qt::LeftButton, {}, QPoint(50, t.g.GantArea()->height() - 5));
    EXPECT_EQ(t.g.GridTree()->Root()->Count(), 1199);
}

// A module told of a new time item sees it as the row makes it (white, style 0, editable), and what
// it sets then stays.
TEST(GantEvents, AnInsertedItemIsToldWithItsDefaultsAndKeepsWhatTheModuleSets) {
    Gant t(1);
    bool sawDefaults = false;
    t.g.OnInsertItem_GantTime = [&](TphGant*, TphDataEntity_GantTime* item) {
        sawDefaults = item->Color == clWhite && item->Style == 0 && item->CanEdit;
        item->Color = clRed;
        item->CanEdit = false;
    };
    TphDataEntity_GantTime* item = t.add(0, D0 + 1, D0 + 2);
    EXPECT_TRUE(sawDefaults);
    EXPECT_EQ(item->Color, TColor(clRed));
    EXPECT_FALSE(item->CanEdit);
}
