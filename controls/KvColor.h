#pragma once
// Colours as the module's forms and files give them: 0x00BBGGRR values, 0x80000000 + n for the
// platform's system colours, and the names "clRed", "clBtnFace", ...
#include <QColor>
#include <QString>

QColor TColorToQColor(int color);
int QColorToTColor(const QColor& color);
// A colour name or a number (decimal, or "$" hexadecimal); false when neither.
bool IdentToColor(const QString& ident, int& color);
