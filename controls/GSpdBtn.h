#pragma once
// TGSpeedButton: a flat tool button whose picture is a number in the picture library.
#include <QToolButton>

class TGSpeedButton : public QToolButton {
    Q_OBJECT
    Q_PROPERTY(int GlyphIndex READ GlyphIndex WRITE SetGlyphIndex)
    Q_PROPERTY(int HintIndex READ HintIndex WRITE SetHintIndex)
    Q_PROPERTY(QString Caption READ text WRITE setText)
    Q_PROPERTY(QString Hint READ toolTip WRITE setToolTip)
    Q_PROPERTY(bool Flat READ autoRaise WRITE setAutoRaise)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(bool Visible READ isVisible WRITE setVisible)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs)

public:
    explicit TGSpeedButton(QWidget* parent = nullptr);

    int GlyphIndex() const { return FGlyphIndex; }
    void SetGlyphIndex(int value);
    int HintIndex() const { return FHintIndex; }
    void SetHintIndex(int value) { FHintIndex = value; }
    int NumGlyphs() const { return FNumGlyphs; }
    const QPixmap& Glyph() const { return FGlyph; }

private:
    int FGlyphIndex = 0;
    int FHintIndex = 0;
    int FNumGlyphs = 1;
    QPixmap FGlyph;
};
