#include "controls/KvMsgDlg.h"
#include "controls/KvGuard.h"
#include "controls/KvMsgDlgHook.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "controls/KvMessages.h"

namespace {

struct ButtonMap {
    TMsgDlgBtn button;
    QMessageBox::StandardButton standard;
    TModalResult result;
};

constexpr ButtonMap kButtons[] = {
    {mbYes, QMessageBox::Yes, mrYes},
    {mbNo, QMessageBox::No, mrNo},
    {mbOK, QMessageBox::Ok, mrOk},
    {mbCancel, QMessageBox::Cancel, mrCancel},
    {mbAbort, QMessageBox::Abort, mrAbort},
    {mbRetry, QMessageBox::Retry, mrRetry},
    {mbIgnore, QMessageBox::Ignore, mrIgnore},
    {mbAll, QMessageBox::YesToAll, mrAll},
    {mbNoToAll, QMessageBox::NoToAll, mrNoToAll},
    {mbYesToAll, QMessageBox::YesAll, mrYesToAll},
    {mbHelp, QMessageBox::Help, mrNone},
};

QMessageBox::Icon iconOf(TMsgDlgType type) {
    switch (type) {
    case mtWarning:
        return QMessageBox::Warning;
    case mtError:
        return QMessageBox::Critical;
    case mtInformation:
        return QMessageBox::Information;
    case mtConfirmation:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

TMessageDlgHook& messageDlgHook() {
    static TMessageDlgHook hook;
    return hook;
}

} // namespace

void SetMessageDlgHook(TMessageDlgHook hook) {
    messageDlgHook() = std::move(hook);
}

int KvMessageDlg(const QString& message, TMsgDlgType type, TMsgDlgButtons buttons, QWidget* parent,
                 const QString& caption, const QFont* font, const TMsgDlgButtonCaption& buttonCaption) {
    if (buttons == 0) buttons = mbOK;
    if (const TMessageDlgHook& hook = messageDlgHook())
        if (const std::optional<int> answer = hook(message, type, buttons)) return *answer;
    QMessageBox box(parent);
    box.setObjectName("KvMessageDlg");
    box.setIcon(iconOf(type));
    box.setText(message);
    box.setWindowTitle(caption.isEmpty() ? QApplication::applicationName() : caption);
    if (font) box.setFont(*font);
    for (const ButtonMap& b : kButtons) {
        if (!(buttons & b.button)) continue;
        QPushButton* added = box.addButton(b.standard);
        const QString text = buttonCaption ? buttonCaption(b.button) : QString();
        if (added && !text.isEmpty()) added->setText(text);
    }
    KvExecDialog(box);
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked) return (buttons & mbCancel) ? mrCancel : mrNone;
    const QMessageBox::StandardButton pressed = box.standardButton(clicked);
    for (const ButtonMap& b : kButtons)
        if (b.standard == pressed) return b.result;
    return mrNone;
}

namespace kv {

void postLookupRequest(QWidget* edit) {
    if (!edit) return;
    QCoreApplication::postEvent(edit->window(), new TLookupRequestEvent(edit));
}

} // namespace kv
