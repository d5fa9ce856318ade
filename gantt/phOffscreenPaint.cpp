#include "gantt/phOffscreenPaint.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>

TphOffscreenPaint::TphOffscreenPaint(QWidget* parent) : QWidget(parent) {
    // The whole control is drawn from the buffer: no background erase, no system fill.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void TphOffscreenPaint::SetColor(TColor value) {
    if (FColor == value) return;
    FColor = value;
    Invalidate();
}

QColor TphOffscreenPaint::ControlColor() const {
    return phColorToQColor(FColor, palette());
}

void TphOffscreenPaint::Invalidate() {
    if (FInvalidateCount++ == 0) update();
}

void TphOffscreenPaint::Paint() {
    if (OnPaint) OnPaint(this);
}

void TphOffscreenPaint::PaintTo(QPainter& painter) {
    const auto restore = qScopeGuard([this, previous = FCanvas] { FCanvas = previous; });
    FCanvas = &painter;
    painter.fillRect(QRect(QPoint(0, 0), size()), ControlColor());
    if (!FScrollBarCorner.isEmpty())
        painter.fillRect(
            QRect(QPoint(width() - FScrollBarCorner.width(), height() - FScrollBarCorner.height()),
                  FScrollBarCorner),
            phColorToQColor(clBtnFace, palette()));
    Paint();
}

void TphOffscreenPaint::paintEvent(QPaintEvent*) {
    FInvalidateCount = 0;
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = size() * dpr;
    if (pixels.isEmpty()) return;
    if (FBuffer.size() != pixels) {
        FBuffer = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        FBuffer.setDevicePixelRatio(dpr);
    }
    {
        QPainter buffer(&FBuffer);
        try {
            PaintTo(buffer);
        } catch (...) {
            // A failed drawing routine must not take the event loop down; the next paint tries again.
        }
    }
    QPainter screen(this);
    screen.drawImage(0, 0, FBuffer);
}

bool TphOffscreenPaint::PrintResizeFont() {
    bool allow = true;
    if (OnPrintResizeFont) OnPrintResizeFont(this, allow);
    return allow;
}

int phShiftState(Qt::KeyboardModifiers modifiers, bool doubleClick) {
    int shift = 0;
    if (modifiers & Qt::ShiftModifier) shift |= ssShift;
    if (modifiers & Qt::AltModifier) shift |= ssAlt;
    if (modifiers & Qt::ControlModifier) shift |= ssCtrl;
    if (doubleClick) shift |= ssDouble;
    return shift;
}

static TMouseButton mouseButton(Qt::MouseButton button) {
    return button == Qt::RightButton ? mbRight : button == Qt::MiddleButton ? mbMiddle : mbLeft;
}

void TphOffscreenPaint::keyPressEvent(QKeyEvent* event) {
    if (OnKeyDown) {
        int key = event->key();
        OnKeyDown(this, key, phShiftState(event->modifiers()));
        if (key == 0) {
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void TphOffscreenPaint::keyReleaseEvent(QKeyEvent* event) {
    if (OnKeyUp) {
        int key = event->key();
        OnKeyUp(this, key, phShiftState(event->modifiers()));
        if (key == 0) {
            event->accept();
            return;
        }
    }
    QWidget::keyReleaseEvent(event);
}

void TphOffscreenPaint::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(this, mouseButton(event->button()), phShiftState(event->modifiers()), p.x(), p.y());
    event->accept();
}

void TphOffscreenPaint::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (OnMouseMove) OnMouseMove(this, phShiftState(event->modifiers()), p.x(), p.y());
    event->accept();
}

void TphOffscreenPaint::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (OnMouseUp)
        OnMouseUp(this, mouseButton(event->button()), phShiftState(event->modifiers()), p.x(), p.y());
    event->accept();
}

void TphOffscreenPaint::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click is a press with the double-click bit, then the click event.
    const QPoint p = event->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(this, mouseButton(event->button()), phShiftState(event->modifiers(), true), p.x(), p.y());
    if (OnDblClick) OnDblClick(this);
    event->accept();
}

void TphOffscreenPaint::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (OnResize) OnResize(this);
}
