// Drawing of the ruler and its mouse handling.
#include <QCoreApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QScopeGuard>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QtDebug>
#include <algorithm>
#include <cmath>

#include "gantt/phScaler.h"
#include "platform/KvError.h"

namespace {

// Rows across the axis: the indicator above the coarse labels above the fine labels.
struct Across {
    int coarse;
    int fine;
    int sub;
};

} // namespace

void TphDateScaler::UpdateButtonRects() {
    const int s = FScrollButtons == tsbClassic ? 20 : FScrollButtons == tsbSmall ? 12 : 0;
    if (s == 0) {
        FBtnBack = FBtnForward = QRect();
        return;
    }
    FBtnBack = QRect(1, 1, s, s);
    FBtnForward = FHorizontal ? QRect(width() - 1 - s, 1, s, s) : QRect(1, height() - 1 - s, s, s);
}

void TphDateScaler::DrawButton(QPainter& p, const QRect& r, bool forward, bool pressed) {
    const QColor face = phColorToQColor(clBtnFace, palette());
    const QColor light = Qt::white;
    const QColor dark = phColorToQColor(clGray, palette());
    p.fillRect(r, face);
    const QColor topLeft = pressed ? dark : light;
    const QColor bottomRight = pressed ? light : dark;
    p.setPen(topLeft);
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.setPen(bottomRight);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    const int m = r.width() / 4;
    const QRect in = r.adjusted(m, m, -m, -m);
    QPolygon tri;
    if (FHorizontal) {
        if (forward)
            tri << QPoint(in.left(), in.top()) << QPoint(in.right(), in.center().y())
                << QPoint(in.left(), in.bottom());
        else
            tri << QPoint(in.right(), in.top()) << QPoint(in.left(), in.center().y())
                << QPoint(in.right(), in.bottom());
    } else {
        if (forward)
            tri << QPoint(in.left(), in.top()) << QPoint(in.center().x(), in.bottom())
                << QPoint(in.right(), in.top());
        else
            tri << QPoint(in.left(), in.bottom()) << QPoint(in.center().x(), in.top())
                << QPoint(in.right(), in.bottom());
    }
    if (pressed) tri.translate(1, 1);
    p.setPen(Qt::black);
    p.setBrush(Qt::black);
    p.drawPolygon(tri);
    p.setBrush(Qt::NoBrush);
}

void TphDateScaler::DrawLabels(QPainter& p, const std::vector<TScaleMark>& marks, double step, int across,
                               int font, bool sub) {
    const double fx = PrintFactorHorz();
    const int band = FHorizontal ? int(15 * PrintFactorVert()) : int(20 * PrintFactorVert());
    const bool fromMark = step < 1.0;
    double lastEnd = -1e9;
    for (size_t i = 0; i < marks.size(); ++i) {
        const TScaleMark& m = marks[i];
        const QString& text = sub ? m.SubText : m.Text;
        if (m.Hidden || text.isEmpty()) continue;
        const int fontIndex = std::clamp(sub ? m.SubFont : (m.Font ? m.Font : font), 1, 3) - 1;
        p.setFont(FTextFont[fontIndex]);
        const QFontMetrics fm(p.font());
        const double next =
            i + 1 < marks.size() ? marks[i + 1].Pos : m.Pos + (i > 0 ? m.Pos - marks[i - 1].Pos : 50.0);
        const int w = fm.horizontalAdvance(text);
        const bool along = FHorizontal || FVerticalText;
        const int extent = along ? w : fm.height();
        double start = fromMark ? m.Pos * fx + 2 : ((m.Pos + next) / 2) * fx - extent / 2.0;
        // A label that would run into the previous one is left out.
        if (start < lastEnd + 4) continue;
        lastEnd = start + extent;
        const int s = int(std::lround(start));
        if (FHorizontal) {
            p.drawText(QRect(s, across, extent + 2, band),
                       Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, text);
        } else if (FVerticalText) {
            p.save();
            p.translate(across + band, s);
            p.rotate(90);
            p.drawText(QRect(0, 0, extent + 2, band), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                       text);
            p.restore();
        } else {
            p.drawText(QRect(across, s, width() - across, fm.height()), Qt::AlignLeft | Qt::AlignTop, text);
        }
    }
}

void TphDateScaler::DrawIndicator(QPainter& p) {
    if (!FHorizontal || FIndicatorStyle == isNone) return;
    const QColor shadow = phColorToQColor(clBtnShadow, palette());
    const QColor highlight = phColorToQColor(clBtnHighlight, palette());
    const double fy = PrintFactorVert();
    if (FIndicatorStyle == isColorfull) {
        if (Printing()) return;
        const int centre = width() / 2;
        const double span = FStop - FStart;
        const struct {
            double days;
            TColor color;
        } bars[] = {{1, clGreen}, {7, clYellow}, {30, clRed}, {365, clBlue}};
        for (const auto& bar : bars) {
            const int reach = int(std::min(100.0, span / bar.days * 100.0));
            p.fillRect(QRect(centre - reach, 5, 2 * reach, 5), phColorToQColor(bar.color, palette()));
        }
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(centre - 100, 4, 200, 6));
        return;
    }
    const QString text = IndicatorText();
    p.setFont(FTextFont[0]);
    const QFontMetrics fm(p.font());
    p.setPen(shadow);
    p.drawText(QRect(33, int(2 * fy), fm.horizontalAdvance(text) + 2, fm.height()),
               Qt::AlignLeft | Qt::AlignTop, text);
    if (FIndicatorStyle != isNormal) return;
    const int left = fm.horizontalAdvance(text) + 43;
    const int right = width() - 33;
    if (right <= left) return;
    p.setPen(highlight);
    p.drawLine(left, int(5 * fy), right, int(5 * fy));
    p.setPen(shadow);
    p.drawLine(left, int(6 * fy), right, int(6 * fy));
    // The window's place in the whole years (or months) around it.
    int y1, m1, d1, y2, m2, d2;
    kv::decodeDate(FStart, y1, m1, d1);
    kv::decodeDate(std::max(FStart, FStop - kv::kOneMillisecond), y2, m2, d2);
    double from, to;
    if (FStop - FStart > 30) {
        from = kv::encodeDate(y1, 1, 1);
        to = kv::encodeDate(std::min(y2 + 1, 9999), 1, 1);
    } else {
        from = kv::encodeDate(y1, m1, 1);
        to = kv::incMonth(kv::encodeDate(y2, m2, 1), 1);
    }
    if (to <= from) return;
    const double a = std::clamp((FStart - from) / (to - from), 0.0, 1.0);
    const double b = std::clamp((FStop - from) / (to - from), 0.0, 1.0);
    p.setPen(phColorToQColor(clGreen, palette()));
    p.drawLine(int(left + a * (right - left)), int(5 * fy), int(left + b * (right - left)), int(5 * fy));
}

void TphDateScaler::Paint() {
    QPainter* canvas = Canvas();
    if (!canvas) return;
    QPainter& p = *canvas;
    EnsureLayoutQuietly();
    UpdateButtonRects();
    const double fx = PrintFactorHorz();
    const double fy = PrintFactorVert();
    const int w = width();
    const int h = height();
    const Across across = FHorizontal ? Across{int(15 * fy), int(30 * fy), int(40 * fy)}
                                      : Across{int(20 * fy), int(40 * fy), int(50 * fy)};
    const bool boxed = FLookAndFeel == tlfBoxed;

    // 1. Tick lines from the outer edge inwards.
    if (!boxed) {
        p.setPen(Qt::black);
        auto tickLines = [&](const std::vector<TScaleMark>& marks, int length) {
            for (const TScaleMark& m : marks) {
                if (m.Hidden) continue;
                const int at = int(std::lround(m.Pos * fx));
                if (FHorizontal)
                    p.drawLine(at, h - 1, at, h - length);
                else
                    p.drawLine(w - 1, at, w - length, at);
            }
        };
        tickLines(FFine, int(5 * fy));
        tickLines(FCoarse, int(15 * fy));
    }
    // 2.
    if (OnUserDrawBackground) OnUserDrawBackground(this, &p, rect());
    // 3. Labels.
    p.setPen(Qt::black);
    DrawLabels(p, FCoarse, FCoarseStep, across.coarse, 1, false);
    DrawLabels(p, FFine, FFineStep, across.fine, 2, false);
    DrawLabels(p, FFine, FFineStep, across.sub, 3, true);
    // 4. Boxes.
    if (boxed) {
        p.setPen(phColorToQColor(clGray, palette()));
        if (FHorizontal) {
            p.drawLine(0, across.coarse, w, across.coarse);
            p.drawLine(0, across.fine, w, across.fine);
        } else {
            p.drawLine(across.coarse, 0, across.coarse, h);
            p.drawLine(across.fine, 0, across.fine, h);
        }
        auto separators = [&](const std::vector<TScaleMark>& marks, double step, int from, int to) {
            for (size_t i = 0; i < marks.size(); ++i) {
                if (marks[i].Hidden) continue;
                double at = marks[i].Pos;
                if (step < 1.0 && i + 1 < marks.size()) at = (marks[i].Pos + marks[i + 1].Pos) / 2;
                const int a = int(std::lround(at * fx));
                if (FHorizontal)
                    p.drawLine(a, from, a, to);
                else
                    p.drawLine(from, a, to, a);
            }
        };
        separators(FCoarse, FCoarseStep, across.coarse, across.fine);
        separators(FFine, FFineStep, across.fine, FHorizontal ? h : w);
    }
    // 5. Scroll buttons.
    if (!Printing() && FScrollButtons != tsbOff) {
        DrawButton(p, FBtnBack, false, FPressed && FScrollBackward && !FKeyboardScroll);
        DrawButton(p, FBtnForward, true, FPressed && FScrollForward && !FKeyboardScroll);
    }
    // 6.
    if (FIndicatorOn) DrawIndicator(p);
    // 7. The owner hears of the change only now, through the queue, once the new ruler is drawn.
    if (FChanged && OnChange && !FZoomDrag) {
        FChanged = false;
        QCoreApplication::postEvent(this, new QEvent(ChangeEventType()));
    }
    // 8.
    if (OnUserDrawForeground) OnUserDrawForeground(this, &p, rect());
    if (hasFocus() && !Printing()) {
        QPen pen(Qt::black);
        pen.setStyle(Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    FStopSetSincePaint = false;
}

void TphDateScaler::EnsureLayoutQuietly() {
    try {
        EnsureLayout();
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
    }
}

void TphDateScaler::resizeEvent(QResizeEvent* event) {
    TphOffscreenPaint::resizeEvent(event);
    EnsureLayoutQuietly();
}

bool TphDateScaler::event(QEvent* event) {
    if (event->type() == ChangeEventType()) {
        if (OnChange) OnChange(this);
        return true;
    }
    return TphOffscreenPaint::event(event);
}

void TphDateScaler::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
        TphOffscreenPaint::mousePressEvent(event);
        return;
    }
    const auto raise = qScopeGuard([this, event] { TphOffscreenPaint::mousePressEvent(event); });
    const QPoint pt = event->position().toPoint();
    FLastMouse = pt;
    FPressClock.start();
    FPressPos = AlongAxis(pt);
    FLastMovePos = FPressPos;
    FPressShift = event->modifiers();
    try {
        FPressScale = Scale();
        FPressDate = DateAtPixel(FPressPos);
        if (event->button() == Qt::LeftButton && FFineStep > 0) FPressDate = SnapDown(FPressDate, FFineStep);
    } catch (const EKvError& e) {
        // The window was reset to one day; this press starts nothing.
        qWarning("%s", e.what());
        Invalidate();
        return;
    }
    FPressed = true;
    FZoomDrag = false;
    UpdateButtonRects();
    if (FBtnForward.contains(pt) || FBtnBack.contains(pt)) {
        FKeyboardScroll = false;
        FScrollForward = FBtnForward.contains(pt);
        FScrollBackward = !FScrollForward;
        FScrollTimer->setInterval(50);
        FScrollTimer->start();
    }
    setFocus(Qt::MouseFocusReason);
    Invalidate();
    event->accept();
}

void TphDateScaler::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pt = event->position().toPoint();
    FLastMouse = pt;
    if (!FPressed || FScrollTimer->isActive()) return;
    const int along = AlongAxis(pt);
    const bool ctrl = FPressShift.testFlag(Qt::ControlModifier);
    const bool zoom = FRescaleWithCtrl ? ctrl : !ctrl;
    try {
        if (zoom) {
            const double scale = FPressScale * (1 + 0.01 * (along - FPressPos));
            if (scale > 0) {
                FZoomDrag = true;
                ZoomAt(FPressPos, FPressDate, scale);
            }
        } else {
            const int d = along - FLastMovePos;
            if (d != 0) MoveWindowBy(-d * FPixelDuration);
        }
    } catch (const EKvError& e) {
        qWarning("%s", e.what());
    }
    FLastMovePos = along;
    event->accept();
}

void TphDateScaler::mouseReleaseEvent(QMouseEvent* event) {
    FLastMouse = event->position().toPoint();
    FPressed = false;
    FScrollTimer->stop();
    FScrollTimer->setInterval(50);
    FScrollForward = false;
    FScrollBackward = false;
    FKeyboardScroll = false;
    FZoomDrag = false;
    Invalidate();
    TphOffscreenPaint::mouseReleaseEvent(event);
}

void TphDateScaler::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click presses like the first.
    mousePressEvent(event);
    if (OnDblClick) OnDblClick(this);
}

void TphDateScaler::ScrollTick() {
    if (!FKeyboardScroll && !FBtnBack.contains(FLastMouse) && !FBtnForward.contains(FLastMouse)) {
        FScrollTimer->stop();
        FScrollForward = false;
        FScrollBackward = false;
        Invalidate();
        return;
    }
    if (!FScrollForward && !FScrollBackward) return;
    const double step = ScrollStep(FPressClock.isValid() ? FPressClock.elapsed() : 0, FKeyboardScroll);
    try {
        MoveWindowBy(FScrollForward ? step : -step);
    } catch (const EKvError& e) {
        qWarning("%s", e.what());
    }
}
