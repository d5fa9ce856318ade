#pragma once
// TfrmKVDialog: the base of the option forms' small dialogs. It is created with an owner form, takes
// over the owner's caption and text conversion, and turns F2, F3 and F4 (or the lookup messages) into
// three lookup hooks that receive the key and the focused control.
#include <QEvent>
#include <QPointer>

#include "frame/KVForm.h"

class QEventLoop;

namespace kv {
// Messages 1035 and 1036 carry a control like the lookup request 1034 does.
constexpr int WM_KVLOOKUP3 = 1035;
constexpr int WM_KVLOOKUP4 = 1036;
} // namespace kv

// A message that names a control (1034, 1035 or 1036).
class TKvControlMessage : public QEvent {
public:
    TKvControlMessage(int message, QWidget* control);
    QWidget* control() const { return FControl; }

private:
    QPointer<QWidget> FControl;
};

class TfrmKVDialog : public TKVForm {
    Q_OBJECT

public:
    explicit TfrmKVDialog(TKVForm* owner);
    ~TfrmKVDialog() override;

    TKVForm* OwnerForm() const { return FOwner; }

    // Shows the dialog application-modal and waits until it is closed or given a modal result.
    int ShowModal();
    int ModalResult() const { return FModalResult; }
    // Inside ShowModal a result other than mrNone closes the dialog.
    void setModalResult(int value);

protected:
    // The lookup hooks: F2, F3, F4 or messages 1034, 1035, 1036; Key is the key code (Qt::Key_F2...)
    // with the keyboard modifiers, Control the control that had the focus or sent the message.
    virtual void F2Lookup(int key, QWidget* control);
    virtual void F3Lookup(int key, QWidget* control);
    virtual void F4Lookup(int key, QWidget* control);

    void FormCreate() override;
    void FormShow() override;
    bool FormKeyDown(QKeyEvent* key, QWidget* target) override;
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void ShowComboFirstParts();

    QPointer<TKVForm> FOwner;
    QEventLoop* FModalLoop = nullptr;
    int FModalResult = 0;
};
