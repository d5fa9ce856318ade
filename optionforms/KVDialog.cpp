#include "optionforms/KVDialog.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "controls/KvGuard.h"
#include "controls/KvMessages.h"
#include "lang/CodeConverter.h"
#include "lang/LanguageController.h"

TKvControlMessage::TKvControlMessage(int message, QWidget* control)
    : QEvent(kv::messageEventType(message)), FControl(control) {}

TfrmKVDialog::TfrmKVDialog(TKVForm* owner) : TKVForm(owner), FOwner(owner) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    if (owner) {
        // A dialog speaks the script of the form that opened it.
        const TCodeConverter* from = owner->KvConverter;
        KvConverter->SystemCodePage = from->SystemCodePage;
        KvConverter->UICodePage = from->UICodePage;
        KvConverter->DBCodePage = from->DBCodePage;
        KvConverter->UIChangeType = from->UIChangeType;
        KvConverter->DataChangeType = from->DataChangeType;
        KvConverter->SetDesignType(from->DesignType());
        LangController->SetDesignType(owner->LangController->DesignType());
    }
}

TfrmKVDialog::~TfrmKVDialog() {
    if (FModalLoop) FModalLoop->quit();
}

void TfrmKVDialog::FormCreate() {
    TKVForm::FormCreate();
    // Dialogs without a caption of their own carry the caption of the form that opened them.
    if (FOwner && windowTitle().isEmpty()) setWindowTitle(FOwner->windowTitle());
    if (FOwner) move(FOwner->geometry().center() - rect().center());
}

void TfrmKVDialog::FormShow() {
    TKVForm::FormShow();
    ConvertOnce();
    if (GetUIChangeType() != 0) ShowComboFirstParts();
}

void TfrmKVDialog::ShowComboFirstParts() {
    // Bound combo boxes keep "code<Tab>description" items; the box shows the code alone.
    const QList<QComboBox*> combos = findChildren<QComboBox*>();
    for (QComboBox* combo : combos) {
        if (combo->property("DataField").toString().isEmpty() || !combo->isEditable()) continue;
        combo->setEditText(combo->currentText().section(QLatin1Char('\t'), 0, 0));
    }
}

int TfrmKVDialog::ShowModal() {
    if (FModalLoop) throw EKvError("Cannot make a visible window modal");
    FModalResult = mrNone;
    if (isVisible()) hide(); // modality can only change while the window is hidden
    setWindowModality(Qt::ApplicationModal);
    QPointer<TfrmKVDialog> self(this);
    QEventLoop loop;
    FModalLoop = &loop;
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    show();
    if (self && FModalResult == mrNone && isVisible())
        KvRunModalLoop(loop, [&self] { return !self || !self->isVisible(); });
    if (!self) return mrCancel;
    FModalLoop = nullptr;
    if (isVisible()) hide();
    setWindowModality(Qt::NonModal);
    return FModalResult == mrNone ? mrCancel : FModalResult;
}

void TfrmKVDialog::setModalResult(int value) {
    FModalResult = value;
    if (value != mrNone && FModalLoop) close();
}

void TfrmKVDialog::closeEvent(QCloseEvent* e) {
    TKVForm::closeEvent(e);
    if (e->isAccepted() && FModalLoop) FModalLoop->quit();
}

void TfrmKVDialog::F2Lookup(int key, QWidget* control) {
    Q_UNUSED(key);
    Q_UNUSED(control);
}

void TfrmKVDialog::F3Lookup(int key, QWidget* control) {
    Q_UNUSED(key);
    Q_UNUSED(control);
}

void TfrmKVDialog::F4Lookup(int key, QWidget* control) {
    Q_UNUSED(key);
    Q_UNUSED(control);
}

bool TfrmKVDialog::event(QEvent* e) {
    const int type = e->type();
    if (type == kv::LookupRequestEvent) {
        F2Lookup(Qt::Key_F2, static_cast<kv::TLookupRequestEvent*>(e)->edit());
        return true;
    }
    if (type == kv::messageEventType(kv::WM_KVLOOKUP3) || type == kv::messageEventType(kv::WM_KVLOOKUP4)) {
        // Only our own message class carries a control; anything else posted with the number is ignored.
        if (auto* m = dynamic_cast<TKvControlMessage*>(e)) {
            if (type == kv::messageEventType(kv::WM_KVLOOKUP3))
                F3Lookup(Qt::Key_F3, m->control());
            else
                F4Lookup(Qt::Key_F4, m->control());
        }
        return true;
    }
    return TKVForm::event(e);
}

bool TfrmKVDialog::FormKeyDown(QKeyEvent* key, QWidget* target) {
    const int k = key->key();
    QWidget* focused = focusWidget() ? focusWidget() : target;
    const int withModifiers = k | int(key->modifiers());
    switch (k) {
    case Qt::Key_F2:
        F2Lookup(withModifiers, focused);
        return true;
    case Qt::Key_F3:
        F3Lookup(withModifiers, focused);
        return true;
    case Qt::Key_F4:
        F4Lookup(withModifiers, focused);
        return true;
    default:
        break;
    }
    if ((k == Qt::Key_Return || k == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier && focused) {
        // Memos take the line break and grids their own Enter; a pick list inside a grid belongs to it.
        for (QWidget* w = focused; w && w != this; w = w->parentWidget())
            if (qobject_cast<QAbstractItemView*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                qobject_cast<QTextEdit*>(w))
                return false;
        if (qobject_cast<QAbstractButton*>(focused)) return false;
        focusNextChild();
        return true;
    }
    return false;
}
