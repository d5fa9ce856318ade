#include "frame/DLLForm.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QPointer>

#include "controls/KvGuard.h"

TDLLFormClass frmBaseGeneClass = nullptr;

TDLLForm::TDLLForm(QWidget* owner) : TKVForm(owner) {
    // A module window closing must never end the host's application.
    setAttribute(Qt::WA_QuitOnClose, false);
}

TDLLForm::~TDLLForm() {
    // Normally Free or Release ran this already; an owner deleting the form directly lands here, when
    // the parts of the descendant are gone: the form is not hidden through them, only OnDestroy is raised.
    BeforeDestruction(false);
}

void TDLLForm::setModalResult(int value) {
    FModalResult = value;
    if (FModalLoop && value != mrNone) close();
}

int TDLLForm::ShowModal() {
    if (FModalLoop || FDestroying) throw EKvError("Cannot make a visible window modal");
    FModalResult = mrNone;
    const bool wasVisible = isVisible();
    if (wasVisible) hide(); // modality can only change while the window is hidden
    setWindowModality(Qt::ApplicationModal);
    QPointer<TDLLForm> self(this);
    QEventLoop loop;
    FModalLoop = &loop;
    show();
    // Only a modal result, a close or the form's end ends the show: a form that hides itself (a main
    // form handing over to its own window) is still running, and its host must not be told otherwise.
    if (self && FModalResult == mrNone && isVisible() && !FDestroying)
        KvRunModalLoop(loop,
                       [&self] { return !self || self->FModalResult != mrNone || self->isDestroying(); });
    if (!self) return mrCancel;
    FModalLoop = nullptr;
    if (isVisible()) hide();
    setWindowModality(Qt::NonModal);
    return FModalResult;
}

void TDLLForm::Free() {
    if (FDestroying) return;
    BeforeDestruction();
    // Deleting the form under its own event handler or modal loop would pull the object from under them.
    if (FEventDepth > 0 || FModalLoop)
        deleteLater();
    else
        delete this;
}

void TDLLForm::Release() {
    deleteLater();
}

void TDLLForm::BeforeDestruction(bool whole) {
    if (FDestroying) return;
    FDestroying = true;
    if (whole && isVisible()) hide(); // the host sees the window go away before it hears of the destruction
    if (FModalLoop) FModalLoop->quit();
    const TNotifyEvent handler = FOnDestroy; // the handler may replace the event while it runs
    FDestroyed = true;
    handler(this);
}

bool TDLLForm::event(QEvent* e) {
    if (e->type() == QEvent::DeferredDelete) {
        BeforeDestruction();
        return TKVForm::event(e); // deletes the form
    }
    QPointer<TDLLForm> self(this);
    ++FEventDepth;
    const bool result = TKVForm::event(e);
    if (self) --FEventDepth;
    return result;
}

void TDLLForm::showEvent(QShowEvent* e) {
    TKVForm::showEvent(e);
    if (!e->spontaneous() && !FDestroyed) {
        const TNotifyEvent handler = FOnShow;
        handler(this);
    }
}

void TDLLForm::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    if (e->spontaneous()) return; // minimising is not hiding
    if (FModalLoop) FModalLoop->quit();
    if (!FDestroyed) {
        const TNotifyEvent handler = FOnHide;
        handler(this);
    }
}

void TDLLForm::closeEvent(QCloseEvent* e) {
    TCloseAction action = caFree;
    DoClose(action);
    if (FModalLoop && action != caNone && FModalResult == mrNone) FModalResult = mrCancel;
    if (FModalLoop) FModalLoop->quit(); // the show looks at the result: it ends unless refused
    switch (action) {
    case caNone:
        if (FModalLoop) FModalResult = mrNone;
        e->ignore();
        return;
    case caMinimize:
        e->ignore();
        showMinimized();
        return;
    case caHide:
        e->accept();
        return;
    case caFree:
        e->accept();
        Release();
        return;
    }
}
