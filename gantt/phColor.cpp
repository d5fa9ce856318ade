#include "gantt/phColor.h"

#include <QGuiApplication>
#include <QPalette>

QColor phColorToQColor(TColor color, const QPalette& palette) {
    if ((color & clSystemColor) == 0)
        return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
    switch (color & 0xFF) {
    case 0:  // scroll bar
    case 15: // button face
    case 4:  // menu
        return palette.color(QPalette::Button);
    case 1:  // desktop
    case 12: // application work space
        return palette.color(QPalette::Dark);
    case 2:  // active caption
    case 13: // highlight
        return palette.color(QPalette::Highlight);
    case 3: // inactive caption
        return palette.color(QPalette::Inactive, QPalette::Highlight);
    case 5: // window
        return palette.color(QPalette::Base);
    case 6:  // window frame
    case 21: // 3-D dark shadow
        return palette.color(QPalette::Shadow);
    case 7: // menu text
    case 8: // window text
        return palette.color(QPalette::WindowText);
    case 9:  // caption text
    case 14: // highlight text
        return palette.color(QPalette::HighlightedText);
    case 10: // active border
    case 11: // inactive border
        return palette.color(QPalette::Window);
    case 16: // button shadow
        return palette.color(QPalette::Mid);
    case 17: // grey text
    case 19: // inactive caption text
        return palette.color(QPalette::Disabled, QPalette::WindowText);
    case 18: // button text
        return palette.color(QPalette::ButtonText);
    case 20: // button highlight
        return palette.color(QPalette::Light);
    case 22: // 3-D light
        return palette.color(QPalette::Midlight);
    case 23: // info text
        return palette.color(QPalette::ToolTipText);
    case 24: // info background
        return palette.color(QPalette::ToolTipBase);
    default:
        return palette.color(QPalette::Window);
    }
}

QColor phColorToQColor(TColor color) {
    return phColorToQColor(color, QGuiApplication::palette());
}

TColor phColorFromQColor(const QColor& color) {
    return TColor(color.red()) | (TColor(color.green()) << 8) | (TColor(color.blue()) << 16);
}
