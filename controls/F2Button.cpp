#include "controls/F2Button.h"

#include "controls/KvMessages.h"
#include "controls/KvMsgDlg.h"

TF2Button::TF2Button(QWidget* parent) : TGSpeedButton(parent) {
    setAutoRaise(true);
    SetGlyphIndex(8);
    // Queued: the form's own click handlers run before the edit is focused and the request posted.
    connect(this, &QAbstractButton::clicked, this,
            [this] { QMetaObject::invokeMethod(this, &TF2Button::F2Click, Qt::QueuedConnection); });
}

void TF2Button::SetAutoAlign(bool value) {
    FAutoAlign = value;
    AlignToControl();
}

void TF2Button::SetGap(int value) {
    FGap = static_cast<quint8>(value);
    AlignToControl();
}

void TF2Button::SetF2Control(QWidget* edit) {
    if (edit && edit != FF2Control && parentWidget()) {
        for (TF2Button* other : parentWidget()->findChildren<TF2Button*>(Qt::FindDirectChildrenOnly)) {
            if (other != this && other->F2Control() == edit) {
                KvMessageDlg(QStringLiteral("不能同时有两个 F2Button 指到同一个 Edit."), mtError, mbOK, this);
                return;
            }
        }
    }
    FF2Control = edit;
    AlignToControl();
}

void TF2Button::AlignToControl() {
    if (!FAutoAlign || !FF2Control) return;
    const QRect r = FF2Control->geometry();
    setGeometry(r.right() + 1 + FGap, r.top(), r.height(), r.height());
}

void TF2Button::F2Click() {
    QWidget* edit = FF2Control;
    if (!edit || !edit->isEnabled()) return;
    edit->setFocus(Qt::OtherFocusReason);
    if (edit->hasFocus()) kv::postLookupRequest(edit);
}
