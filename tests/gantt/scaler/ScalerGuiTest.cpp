// The ruler and the offscreen base driven like a user does: real mouse, key and paint events.
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

#include "gantt/phScaler.h"

namespace {

using kv::encodeDate;

struct ShownScaler {
    TphDateScaler s;
    ShownScaler(double start, double stop, int width = 1000) {
        s.SetCodePage(437);
        s.resize(width, 45);
        s.SetStart(start);
        s.SetStop(stop);
        s.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&s));
    }
};

} // namespace

TEST(ScalerGui, DraggingRightByHundredPixelsDoublesTheScale) {
    ShownScaler w(encodeDate(2024, 3, 4), encodeDate(2024, 3, 14));
    TphDateScaler& s = w.s;
    const double scale = s.Scale();
    const double pressDate = s.SnapDown(s.DateAtPixel(300), s.FineStep());
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, QPoint(300, 35));
    QTest::mouseMove(&s, QPoint(350, 35));
    QTest::mouseMove(&s, QPoint(400, 35));
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, QPoint(400, 35));
    EXPECT_NEAR(s.Scale(), 2 * scale, scale * 1e-3);
    EXPECT_NEAR(s.PixelAtDate(pressDate), 300, 1);
    EXPECT_TRUE(s.hasFocus());
}

TEST(ScalerGui, CtrlDragScrollsUnlessCtrlIsTheZoomKey) {
    ShownScaler w(encodeDate(2024, 3, 4), encodeDate(2024, 3, 14));
    TphDateScaler& s = w.s;
    const double start = s.Start();
    const double scale = s.Scale();
    QTest::mousePress(&s, Qt::LeftButton, Qt::ControlModifier, QPoint(500, 35));
    QTest::mouseMove(&s, QPoint(450, 35));
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::ControlModifier, QPoint(450, 35));
    // Dragging left by 50 pixels moves the window 50 pixels on, at the same scale.
    EXPECT_NEAR(s.Start(), start + 50 * scale, 1e-9);
    EXPECT_NEAR(s.Scale(), scale, 1e-12);

    s.SetRescaleWithCtrl(true);
    const double start2 = s.Start();
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, QPoint(500, 35));
    QTest::mouseMove(&s, QPoint(560, 35));
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, QPoint(560, 35));
    EXPECT_NEAR(s.Start(), start2 - 60 * scale, 1e-9);

    // Scrolling never passes MinStart.
    s.SetMinStart(s.Start() - 10 * scale);
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, QPoint(500, 35));
    QTest::mouseMove(&s, QPoint(600, 35));
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, QPoint(600, 35));
    EXPECT_GE(s.Start(), s.MinStart());
}

// Waits (at most 3 s) until the window's start moves; returns the milliseconds it took.
static qint64 waitForScroll(TphDateScaler& s, double start) {
    QElapsedTimer clock;
    clock.start();
    while (s.Start() == start && clock.elapsed() < 3000)
        QTest::qWait(2);
    return clock.elapsed();
}

TEST(ScalerGui, ScrollButtonsScrollWhileHeld) {
    ShownScaler w(encodeDate(2024, 3, 4), encodeDate(2024, 3, 14));
    TphDateScaler& s = w.s;
    const double start = s.Start();
    const double step = 15 * s.Scale();
    const QPoint forward = s.ForwardButtonRect().center();
    ASSERT_GT(forward.x(), 900);
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, forward);
    EXPECT_TRUE(s.Scrolling());
    EXPECT_GE(waitForScroll(s, start), 40);
    // Each tick moves 15 pixels' worth.
    EXPECT_NEAR(s.Start(), start + step, 1e-9);
    QTest::qWait(120);
    const double moved = s.Start() - start;
    EXPECT_NEAR(moved / step, std::round(moved / step), 1e-6);
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, forward);
    EXPECT_FALSE(s.Scrolling());
    const double after = s.Start();
    QTest::qWait(120);
    EXPECT_EQ(s.Start(), after);

    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, s.BackButtonRect().center());
    waitForScroll(s, after);
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, s.BackButtonRect().center());
    EXPECT_NEAR(s.Start(), after - step, 1e-9);

    // Leaving the button stops the scrolling at the next tick.
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, forward);
    QTest::mouseMove(&s, QPoint(500, 35));
    QElapsedTimer clock;
    clock.start();
    while (s.Scrolling() && clock.elapsed() < 3000)
        QTest::qWait(2);
    EXPECT_FALSE(s.Scrolling());
    EXPECT_NEAR(s.Start(), after - step, 1e-9);
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, QPoint(500, 35));
}

TEST(ScalerGui, KeyboardScrollingUsesTheSlowTimer) {
    ShownScaler w(encodeDate(2024, 3, 4), encodeDate(2024, 3, 14));
    TphDateScaler& s = w.s;
    const double start = s.Start();
    s.ScrollBackwardStart();
    EXPECT_GE(waitForScroll(s, start), 140); // 150 ms interval
    EXPECT_NEAR(s.Start(), start - 15 * s.Scale(), 1e-9);
    s.ScrollStop();
    EXPECT_FALSE(s.Scrolling());
}

TEST(ScalerGui, ChangeIsReportedThroughTheQueueAfterThePaint) {
    ShownScaler w(encodeDate(2024, 3, 4), encodeDate(2024, 3, 14));
    TphDateScaler& s = w.s;
    QCoreApplication::processEvents();
    int changes = 0;
    s.OnChange = [&](TphDateScaler* sender) {
        EXPECT_EQ(sender, &s);
        ++changes;
    };
    s.SetStart(encodeDate(2024, 3, 6));
    s.SetStop(encodeDate(2024, 3, 20));
    EXPECT_EQ(changes, 0);
    s.repaint();
    EXPECT_EQ(changes, 0); // posted, not sent
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 1);
    s.repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 1);

    // A zoom drag reports once, after the button is released.
    QTest::mousePress(&s, Qt::LeftButton, Qt::NoModifier, QPoint(300, 35));
    QTest::mouseMove(&s, QPoint(340, 35));
    s.repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 1);
    QTest::mouseRelease(&s, Qt::LeftButton, Qt::NoModifier, QPoint(340, 35));
    s.repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 2);
}

namespace {

struct CountingPaint : TphOffscreenPaint {
    int paints = 0;
    void Paint() override {
        ++paints;
        Canvas()->fillRect(QRect(10, 10, 5, 5), Qt::red);
    }
};

} // namespace

TEST(OffscreenPaint, FillsWithTheControlColourAndCountsInvalidations) {
    CountingPaint c;
    c.resize(60, 40);
    c.SetColor(0x00FF8000); // blue 255, green 128
    c.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&c));
    QCoreApplication::processEvents();
    const QImage img = c.grab().toImage();
    EXPECT_EQ(img.pixelColor(2, 2), QColor(0, 128, 255));
    EXPECT_EQ(img.pixelColor(12, 12), QColor(Qt::red));

    const int before = c.paints;
    c.Invalidate();
    c.Invalidate();
    c.Invalidate();
    EXPECT_EQ(c.PendingInvalidates(), 3);
    QCoreApplication::processEvents();
    EXPECT_EQ(c.PendingInvalidates(), 0);
    EXPECT_EQ(c.paints, before + 1);

    // System colours come from the palette; the printing factors apply only while printing.
    c.SetColor(clBtnFace);
    EXPECT_EQ(c.grab().toImage().pixelColor(2, 2), c.palette().color(QPalette::Button));
    c.SetPrintFactors(2, 3);
    EXPECT_EQ(c.PrintFactorHorz(), 1);
    c.SetPrinting(true);
    EXPECT_EQ(c.PrintFactorHorz(), 2);
    EXPECT_EQ(c.PrintFactorVert(), 3);
}

TEST(OffscreenPaint, KeysReachOnKeyDownAndOwnersDrawThroughOnPaint) {
    TphOffscreenPaint c;
    c.resize(40, 40);
    c.setFocusPolicy(Qt::StrongFocus);
    int painted = 0;
    c.OnPaint = [&](TphOffscreenPaint* sender) {
        ++painted;
        sender->Canvas()->fillRect(QRect(0, 0, 40, 40), Qt::green);
    };
    std::vector<int> keys;
    c.OnKeyDown = [&](TphOffscreenPaint*, int& key, int shift) { keys.push_back(key + shift); };
    std::vector<std::tuple<TMouseButton, int, int, int>> downs;
    std::vector<std::tuple<TMouseButton, int>> ups;
    int doubleClicks = 0;
    c.OnMouseDown = [&](TphOffscreenPaint*, TMouseButton b, int shift, int x, int y) {
        downs.emplace_back(b, shift, x, y);
    };
    c.OnMouseUp = [&](TphOffscreenPaint*, TMouseButton b, int shift, int, int) {
        ups.emplace_back(b, shift);
    };
    c.OnDblClick = [&](TphOffscreenPaint*) { ++doubleClicks; };
    c.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&c));
    c.setFocus();
    QTest::keyClick(&c, Qt::Key_Right);
    QTest::keyClick(&c, Qt::Key_Home, Qt::ShiftModifier | Qt::ControlModifier);
    // The modifier keys themselves come first; the last key carries the shift bits.
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(keys.front(), Qt::Key_Right);
    EXPECT_EQ(keys.back(), int(Qt::Key_Home) + int(ssShift) + int(ssCtrl));
    QTest::mouseClick(&c, Qt::RightButton, Qt::ControlModifier, QPoint(5, 7));
    QTest::mouseDClick(&c, Qt::LeftButton, Qt::NoModifier, QPoint(8, 9));
    ASSERT_GE(downs.size(), 2u);
    EXPECT_EQ(downs.front(), std::make_tuple(mbRight, int(ssCtrl), 5, 7));
    EXPECT_EQ(downs.back(), std::make_tuple(mbLeft, int(ssDouble), 8, 9));
    EXPECT_EQ(ups.front(), std::make_tuple(mbRight, int(ssCtrl)));
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(c.grab().toImage().pixelColor(20, 20), QColor(Qt::green));
    EXPECT_GT(painted, 0);
}
