#include "controls/KvDBEdit.h"

#include <QKeyEvent>

#include "controls/GSpdBtn.h"
#include "controls/KvDataLink.h"
#include "controls/KvMessages.h"
#include "platform/data/ClientDataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Field.h"

TKvDBEdit::TKvDBEdit(QWidget* parent) : TKvEdit(parent), FDataLink(new TKvFieldDataLink(this)) {
    FDataLink->OnDataChange = [this] { DataChange(); };
    connect(this, &QLineEdit::textEdited, this, [this] { FModified = true; });
}

kv::TDataSource* TKvDBEdit::DataSource() const {
    return FDataLink->DataSource();
}
void TKvDBEdit::SetDataSource(kv::TDataSource* source) {
    FDataLink->SetDataSource(source);
}
QObject* TKvDBEdit::DataSourceObject() const {
    return FDataLink->DataSource();
}
void TKvDBEdit::SetDataSourceObject(QObject* source) {
    SetDataSource(qobject_cast<kv::TDataSource*>(source));
}
QString TKvDBEdit::DataField() const {
    return FDataLink->FieldName();
}

void TKvDBEdit::SetDataField(const QString& field) {
    FDataLink->SetFieldName(field);
    if (FDesigning)
        if (const kv::TField* f = FDataLink->Field()) SetCaption(f->DisplayLabel());
}

void TKvDBEdit::DataChange() {
    const kv::TField* field = FDataLink->Field();
    // While the user types, the record's own notifications must not overwrite the text.
    if (FModified && hasFocus()) return;
    setText(field ? (hasFocus() ? field->Text() : field->DisplayText()) : QString());
    setReadOnly(field && !FDataLink->CanModify());
    if (field && field->Size() > 0 && field->isText()) setMaxLength(field->Size());
    FModified = false;
}

void TKvDBEdit::keyPressEvent(QKeyEvent* event) {
    if (!event->text().isEmpty() && event->text()[0].isPrint() && FDataLink->Field() && !FDataLink->Edit()) {
        event->ignore(); // a record that cannot be edited takes no typing
        return;
    }
    if (event->key() == Qt::Key_Escape && FModified) {
        FModified = false;
        DataChange();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && FModified) UpdateRecord();
    TKvEdit::keyPressEvent(event);
}

void TKvDBEdit::focusOutEvent(QFocusEvent* event) {
    if (FModified) UpdateRecord();
    TKvEdit::focusOutEvent(event);
}

void TKvDBEdit::UpdateRecord() {
    kv::TField* field = FDataLink->Field();
    FModified = false;
    if (!field || !FDataLink->Edit()) return;
    try {
        field->SetText(text());
    } catch (const EKvError&) {
        DataChange(); // refused: the field's value shows again
    }
}

TKvBtnDBEdit::TKvBtnDBEdit(QWidget* parent) : TKvDBEdit(parent) {
    // The button is the edit's, beside it on the same parent.
    FButton = new TGSpeedButton(parent);
    FButtonWidget = FButton;
    connect(FButton, &QObject::destroyed, this, [this] { FButton = nullptr; });
    FButton->setObjectName("F2Button");
    FButton->setProperty("kvSubComponent", true); // its hint is the edit's ButtonHint
    FButton->setAutoRaise(true);
    FButton->SetGlyphIndex(8);
    FButton->setVisible(parent && !isHidden());
    connect(FButton, &QAbstractButton::clicked, this, &TKvBtnDBEdit::ButtonClick);
    PlaceButton();
}

TKvBtnDBEdit::~TKvBtnDBEdit() {
    delete FButtonWidget.data();
}

TGSpeedButton* TKvBtnDBEdit::F2Button() const {
    return FButton;
}

void TKvBtnDBEdit::SetButtonSpacing(int value) {
    FButtonSpacing = value;
    PlaceButton();
}

int TKvBtnDBEdit::GlyphIndex() const {
    return FButton ? FButton->GlyphIndex() : 0;
}
void TKvBtnDBEdit::SetGlyphIndex(int value) {
    if (FButton) FButton->SetGlyphIndex(value);
}
QString TKvBtnDBEdit::ButtonHint() const {
    return FButton ? FButton->toolTip() : QString();
}
void TKvBtnDBEdit::SetButtonHint(const QString& hint) {
    if (FButton) FButton->setToolTip(hint);
}

void TKvBtnDBEdit::PlaceButton() {
    if (!FButton) return;
    const QRect r = geometry();
    FButton->setGeometry(r.right() + 1 + FButtonSpacing, r.top(), r.height(), r.height());
}

void TKvBtnDBEdit::moveEvent(QMoveEvent* event) {
    TKvDBEdit::moveEvent(event);
    PlaceButton();
}

void TKvBtnDBEdit::resizeEvent(QResizeEvent* event) {
    TKvDBEdit::resizeEvent(event);
    PlaceButton();
}

bool TKvBtnDBEdit::event(QEvent* event) {
    const bool result = TKvDBEdit::event(event);
    if (!FButton) return result;
    switch (event->type()) {
    case QEvent::ParentChange:
        FButton->setParent(parentWidget());
        FButton->setVisible(!isHidden());
        PlaceButton();
        break;
    case QEvent::ShowToParent:
        FButton->show();
        break;
    case QEvent::HideToParent:
        FButton->hide();
        break;
    case QEvent::EnabledChange:
        FButton->setEnabled(isEnabled());
        break;
    default:
        break;
    }
    return result;
}

void TKvBtnDBEdit::ButtonClick() {
    if (OnDialog) {
        int key = Qt::Key_F2;
        OnDialog(this, key);
        return;
    }
    setFocus(Qt::OtherFocusReason);
    if (hasFocus()) kv::postLookupRequest(this);
}
