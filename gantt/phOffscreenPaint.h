#pragma once
// Base of the engine's painted controls: every paint draws into an offscreen image and reaches the
// screen in one blit, so the chart never flickers.
#include <QImage>
#include <QWidget>
#include <functional>

#include "gantt/phColor.h"

class QPainter;

// Shift state as the engine's mouse and key events carry it.
enum TphShiftState : int { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssDouble = 0x40 };
int phShiftState(Qt::KeyboardModifiers modifiers, bool doubleClick = false);
enum TMouseButton : int { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

class TphOffscreenPaint : public QWidget {
    Q_OBJECT
    Q_PROPERTY(uint Color READ Color WRITE SetColor)
    Q_PROPERTY(bool Locked READ Locked WRITE SetLocked)
    Q_PROPERTY(bool Printing READ Printing WRITE SetPrinting)

public:
    explicit TphOffscreenPaint(QWidget* parent = nullptr);

    // Control colour (0x00BBGGRR or a system colour): the image is filled with it before drawing.
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    bool Locked() const { return FLocked; }
    void SetLocked(bool value) { FLocked = value; }

    // The painter of the paint in progress; nullptr outside a paint.
    QPainter* Canvas() const { return FCanvas; }
    bool Printing() const { return FPrinting; }
    void SetPrinting(bool value) { FPrinting = value; }
    // Factors every drawing routine applies to pixel distances while printing; 1 on screen.
    double PrintFactorHorz() const { return FPrinting ? FPrintFactorHorz : 1.0; }
    double PrintFactorVert() const { return FPrinting ? FPrintFactorVert : 1.0; }
    void SetPrintFactors(double horz, double vert) {
        FPrintFactorHorz = horz;
        FPrintFactorVert = vert;
    }
    // Size of a bottom-right corner left to scroll bars (filled with the button face); empty for none.
    QSize ScrollBarCorner() const { return FScrollBarCorner; }
    void SetScrollBarCorner(const QSize& size) { FScrollBarCorner = size; }

    // Asks for a repaint; only the first request after a paint reaches Qt.
    void Invalidate();
    int PendingInvalidates() const { return FInvalidateCount; }
    // Draws the control into a painter of any device (printing, images) through the same path.
    void PaintTo(QPainter& painter);
    // Whether the printer may scale the fonts; the OnPrintResizeFont handler decides, yes by default.
    bool PrintResizeFont();

    // Events of the control; a handler that sets key to 0 consumes the key.
    std::function<void(TphOffscreenPaint*)> OnPaint;
    std::function<void(TphOffscreenPaint*, int& key, int shift)> OnKeyDown;
    std::function<void(TphOffscreenPaint*, int& key, int shift)> OnKeyUp;
    std::function<void(TphOffscreenPaint*, bool& allow)> OnPrintResizeFont;
    std::function<void(TphOffscreenPaint*, TMouseButton button, int shift, int x, int y)> OnMouseDown;
    std::function<void(TphOffscreenPaint*, int shift, int x, int y)> OnMouseMove;
    std::function<void(TphOffscreenPaint*, TMouseButton button, int shift, int x, int y)> OnMouseUp;
    std::function<void(TphOffscreenPaint*)> OnDblClick;
    std::function<void(TphOffscreenPaint*)> OnResize;

protected:
    // Draws into Canvas(); the default raises OnPaint.
    virtual void Paint();
    QColor ControlColor() const;

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // These raise the mouse events; subclasses do their own handling first and then call them.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TColor FColor = clBtnFace;
    bool FLocked = false;
    bool FPrinting = false;
    double FPrintFactorHorz = 1.0;
    double FPrintFactorVert = 1.0;
    QSize FScrollBarCorner;
    QPainter* FCanvas = nullptr;
    QImage FBuffer;
    int FInvalidateCount = 0;
};
