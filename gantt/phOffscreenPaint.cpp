#include "gantt/phOffscreenPaint.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

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
    QPainter* previous = FCanvas;
    FCanvas = &painter;
    painter.fillRect(QRect(QPoint(0, 0), size()), ControlColor());
    if (!FScrollBarCorner.isEmpty())
        painter.fillRect(
            QRect(QPoint(width() - FScrollBarCorner.width(), height() - FScrollBarCorner.height()),
                  FScrollBarCorner),
            phColorToQColor(clBtnFace, palette()));
    try {
        Paint();
    } catch (...) {
        FCanvas = previous;
        throw;
    }
    FCanvas = previous;
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

void TphOffscreenPaint::keyPressEvent(QKeyEvent* event) {
    if (OnKeyDown) {
        int key = event->key();
        OnKeyDown(this, key, event->modifiers());
        if (key == 0) {
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}
