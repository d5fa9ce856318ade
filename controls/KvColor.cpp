#include "controls/KvColor.h"

#include <QApplication>
#include <QPalette>

namespace {

struct Named {
    const char* name;
    int value;
};

constexpr Named kColors[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", int(0x80000000)},
    {"clBackground", int(0x80000001)},
    {"clActiveCaption", int(0x80000002)},
    {"clInactiveCaption", int(0x80000003)},
    {"clMenu", int(0x80000004)},
    {"clWindow", int(0x80000005)},
    {"clWindowFrame", int(0x80000006)},
    {"clMenuText", int(0x80000007)},
    {"clWindowText", int(0x80000008)},
    {"clCaptionText", int(0x80000009)},
    {"clActiveBorder", int(0x8000000A)},
    {"clInactiveBorder", int(0x8000000B)},
    {"clAppWorkSpace", int(0x8000000C)},
    {"clHighlight", int(0x8000000D)},
    {"clHighlightText", int(0x8000000E)},
    {"clBtnFace", int(0x8000000F)},
    {"clBtnShadow", int(0x80000010)},
    {"clGrayText", int(0x80000011)},
    {"clBtnText", int(0x80000012)},
    {"clInactiveCaptionText", int(0x80000013)},
    {"clBtnHighlight", int(0x80000014)},
    {"cl3DDkShadow", int(0x80000015)},
    {"cl3DLight", int(0x80000016)},
    {"clInfoText", int(0x80000017)},
    {"clInfoBk", int(0x80000018)},
};

QColor systemColor(int index) {
    const QPalette pal = QApplication::palette();
    switch (index) {
    case 0x02:
    case 0x0D:
        return pal.color(QPalette::Highlight);
    case 0x09:
    case 0x0E:
        return pal.color(QPalette::HighlightedText);
    case 0x03:
    case 0x10:
    case 0x11:
        return pal.color(QPalette::Mid);
    case 0x05:
        return pal.color(QPalette::Base);
    case 0x06:
    case 0x07:
    case 0x08:
    case 0x12:
    case 0x13:
        return pal.color(QPalette::Text);
    case 0x14:
    case 0x16:
        return pal.color(QPalette::Light);
    case 0x15:
        return pal.color(QPalette::Shadow);
    case 0x17:
        return pal.color(QPalette::ToolTipText);
    case 0x18:
        return pal.color(QPalette::ToolTipBase);
    default:
        return pal.color(QPalette::Button);
    }
}

} // namespace

QColor TColorToQColor(int color) {
    if (static_cast<unsigned>(color) >= 0x80000000u && static_cast<unsigned>(color) <= 0x800000FFu)
        return systemColor(color & 0xFF);
    if (color == 0x1FFFFFFF) return QColor(Qt::transparent);
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

int QColorToTColor(const QColor& color) {
    if (color.alpha() == 0) return 0x1FFFFFFF;
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

bool IdentToColor(const QString& ident, int& color) {
    const QString text = ident.trimmed();
    for (const Named& n : kColors) {
        if (text.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0) {
            color = n.value;
            return true;
        }
    }
    bool ok = false;
    const qlonglong v = text.startsWith('$') ? text.mid(1).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
    if (ok) color = static_cast<int>(v);
    return ok;
}
