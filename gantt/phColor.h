#pragma once
// Colours as the engine stores them: 0x00BBGGRR (red in the low byte); 0x80000000 + n names system colour n.
#include <QColor>
#include <QtGlobal>

class QPalette;

using TColor = quint32;

constexpr TColor clBlack = 0x00000000;
constexpr TColor clWhite = 0x00FFFFFF;
constexpr TColor clGray = 0x00808080;
constexpr TColor clSilver = 0x00C0C0C0;
constexpr TColor clRed = 0x000000FF;
constexpr TColor clGreen = 0x00008000;
constexpr TColor clBlue = 0x00FF0000;
constexpr TColor clYellow = 0x0000FFFF;
constexpr TColor clAqua = 0x00FFFF00;

constexpr TColor clSystemColor = 0x80000000;
constexpr TColor clActiveBorder = clSystemColor + 10;
constexpr TColor clBtnFace = clSystemColor + 15;
constexpr TColor clBtnShadow = clSystemColor + 16;
constexpr TColor clBtnHighlight = clSystemColor + 20;
constexpr TColor clInfoBk = clSystemColor + 24;
constexpr TColor clBackground = clSystemColor + 1;
constexpr TColor clWindow = clSystemColor + 5;
constexpr TColor clWindowText = clSystemColor + 8;

// The one place where system colours meet the palette; plain colours ignore it.
QColor phColorToQColor(TColor color, const QPalette& palette);
// Same, against the application's palette.
QColor phColorToQColor(TColor color);
// The stored form of a plain colour (alpha dropped).
TColor phColorFromQColor(const QColor& color);
