#include "controls/GSpdBtn.h"

#include "controls/KvBitmaps.h"
#include "controls/KvMsgDlg.h"

TGSpeedButton::TGSpeedButton(QWidget* parent) : QToolButton(parent) {
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setFocusPolicy(Qt::NoFocus); // speed buttons never take the focus from the edit they serve
}

void TGSpeedButton::SetGlyphIndex(int value) {
    if (value == FGlyphIndex) return;
    FGlyphIndex = value;
    setText(QString::number(value));
    if (value == 0 || value > GetMaxBmpID()) {
        FGlyph = QPixmap();
        FNumGlyphs = 1;
        setIcon(QIcon());
        setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        return;
    }
    QPixmap picture;
    if (!LoadBmp(value, picture)) {
        KvMessageDlg(QStringLiteral("读取 BMP 发生错误"), mtError, mbOK, this);
        return;
    }
    setText(QString());
    FGlyph = picture;
    // A strip of pictures side by side (up, disabled, ...) counts one glyph per square.
    FNumGlyphs = picture.height() > 0 ? qMax(1, picture.width() / picture.height()) : 1;
    const int side = picture.height();
    setIcon(QIcon(picture.copy(0, 0, side, side)));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}
