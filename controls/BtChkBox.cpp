#include "controls/BtChkBox.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>

#include "controls/KvBitmaps.h"
#include "controls/KvDataLink.h"
#include "platform/data/DataSource.h"
#include "platform/data/Field.h"

TBitCheckBox::TBitCheckBox(QWidget* parent) : QAbstractButton(parent) {
    resize(97, 17);
    setFocusPolicy(Qt::StrongFocus);
    SetGlyphChecked({});
    SetGlyphGrayed({});
    SetGlyphUnchecked({});
    // Connected before anyone else: the state has advanced when the form's click handler runs.
    connect(this, &QAbstractButton::clicked, this, &TBitCheckBox::Toggle);
}

void TBitCheckBox::SetState(int value) {
    if (value < cbUnchecked || value > cbGrayed || value == FState) return;
    FState = value;
    update();
    if (!FReading && FDataLink && value != cbGrayed)
        if (kv::TField* field = FDataLink->Field(); field && FDataLink->Edit())
            field->SetAsString(value == cbChecked ? FValueChecked : FValueUnchecked);
    emit StateChanged(FState);
}

void TBitCheckBox::Toggle() {
    // A bound box whose record cannot be edited keeps its state.
    if (FDataLink && FDataLink->Field() && !FDataLink->Edit()) return;
    switch (FState) {
    case cbUnchecked:
        SetState(FAllowGrayed ? cbGrayed : cbChecked);
        break;
    case cbGrayed:
        SetState(cbChecked);
        break;
    default:
        SetState(cbUnchecked);
        break;
    }
}

kv::TDataSource* TBitCheckBox::DataSource() const {
    return FDataLink ? FDataLink->DataSource() : nullptr;
}

void TBitCheckBox::SetDataSource(kv::TDataSource* source) {
    if (!FDataLink) {
        FDataLink = new TKvFieldDataLink(this);
        FDataLink->OnDataChange = [this] { DataChange(); };
    }
    FDataLink->SetDataSource(source);
}

QObject* TBitCheckBox::DataSourceObject() const {
    return DataSource();
}
void TBitCheckBox::SetDataSourceObject(QObject* source) {
    SetDataSource(qobject_cast<kv::TDataSource*>(source));
}
QString TBitCheckBox::DataField() const {
    return FDataLink ? FDataLink->FieldName() : QString();
}

void TBitCheckBox::SetDataField(const QString& field) {
    if (!FDataLink) SetDataSource(nullptr);
    FDataLink->SetFieldName(field);
}

void TBitCheckBox::DataChange() {
    const kv::TField* field = FDataLink->Field();
    if (!field) return;
    const QString text = field->AsString().trimmed();
    FReading = true;
    SetState(text == FValueChecked ? cbChecked : text == FValueUnchecked ? cbUnchecked : cbGrayed);
    FReading = false;
}

void TBitCheckBox::SetAlignment(int value) {
    FAlignment = value;
    update();
}

void TBitCheckBox::SetGlyphChecked(const QPixmap& glyph) {
    FGlyphChecked = glyph.isNull() ? LoadResourceBmp("CHECKED") : glyph;
    update();
}

void TBitCheckBox::SetGlyphGrayed(const QPixmap& glyph) {
    FGlyphGrayed = glyph.isNull() ? LoadResourceBmp("GRAYED") : glyph;
    update();
}

void TBitCheckBox::SetGlyphUnchecked(const QPixmap& glyph) {
    FGlyphUnchecked = glyph.isNull() ? LoadResourceBmp("UNCHECKED") : glyph;
    update();
}

void TBitCheckBox::keyPressEvent(QKeyEvent* event) {
    // Space clicks (QAbstractButton); arrow keys must not move between unrelated check boxes.
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down || event->key() == Qt::Key_Left ||
        event->key() == Qt::Key_Right) {
        event->ignore();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void TBitCheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap& strip = FState == cbChecked  ? FGlyphChecked
                           : FState == cbGrayed ? FGlyphGrayed
                                                : FGlyphUnchecked;
    const int count = FState == cbChecked  ? FNumGlyphsChecked
                      : FState == cbGrayed ? FNumGlyphsGrayed
                                           : FNumGlyphsUnchecked;
    // With a strip of glyphs the second one is the disabled look.
    const int w = count > 0 ? strip.width() / count : strip.width();
    const int index = (!isEnabled() && count > 1) ? 1 : 0;
    const QPixmap glyph = strip.copy(index * w, 0, w, strip.height());
    const int gy = (height() - glyph.height()) / 2;
    QRect textRect;
    if (FAlignment == 0) {
        p.drawPixmap(width() - glyph.width(), gy, glyph);
        textRect = QRect(0, 0, width() - glyph.width() - 4, height());
    } else {
        p.drawPixmap(0, gy, glyph);
        textRect = QRect(glyph.width() + 4, 0, width() - glyph.width() - 4, height());
    }
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    style()->drawItemText(&p, textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, palette(),
                          isEnabled(), text());
    if (hasFocus()) {
        const QRect bounds =
            p.boundingRect(textRect, Qt::AlignVCenter | Qt::AlignLeft, text()).adjusted(-1, 0, 1, 0);
        p.setPen(Qt::DotLine);
        p.drawRect(bounds.adjusted(0, 0, -1, -1));
    }
}
