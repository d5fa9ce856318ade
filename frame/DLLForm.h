#pragma once
// The main form as the controller drives it. The module's main form class derives from this one; the
// controller only ever sees this interface, so the frame does not depend on the option forms above it.
#include <QString>
#include <functional>

#include "frame/KVForm.h"
#include "platform/ole/Variant.h"

class QEventLoop;

// An event handler: the code to run and the object it belongs to. The object tells handlers apart
// (a std::function cannot be compared), so code that installs its own handler can recognise it later.
struct TNotifyEvent {
    std::function<void(QObject* sender)> Code;
    const void* Data = nullptr;

    explicit operator bool() const { return bool(Code); }
    void operator()(QObject* sender) const {
        if (Code) Code(sender);
    }
};

// What a form does when it is closed.
enum TCloseAction { caNone, caHide, caFree, caMinimize };

// Modal results (mrNone, mrOk, mrCancel, ...) come with the message boxes through KVForm.h.

class TDLLForm : public TKVForm {
    Q_OBJECT

public:
    explicit TDLLForm(QWidget* owner = nullptr);
    ~TDLLForm() override;

    // Full file name of the library the form lives in.
    virtual void SetModulePath(const QString& path) { FModulePath = path; }
    const QString& ModulePath() const { return FModulePath; }

    // The host's automation object.
    const kv::Variant& HostApp() const { return FHostApp; }
    void setHostApp(const kv::Variant& value) { FHostApp = value; }

    // Builds the session from the host's parameter array; false when the form cannot run.
    virtual bool InitializeSession(const kv::Variant& params) = 0;
    // Takes a two-element array whose element 1 is a run request.
    virtual void RunRequest(const kv::Variant& request) = 0;

    // Events; raising an unassigned one does nothing.
    const TNotifyEvent& OnShow() const { return FOnShow; }
    void setOnShow(TNotifyEvent value) { FOnShow = std::move(value); }
    const TNotifyEvent& OnHide() const { return FOnHide; }
    void setOnHide(TNotifyEvent value) { FOnHide = std::move(value); }
    const TNotifyEvent& OnDestroy() const { return FOnDestroy; }
    void setOnDestroy(TNotifyEvent value) { FOnDestroy = std::move(value); }

    // Session texts the controller hands back to the host.
    const QString& VersionText() const { return FVersionText; }
    const QString& UserID() const { return FUserID; }
    const QString& CompanyID() const { return FCompanyID; }
    const QString& ProgramCode() const { return FProgramCode; }
    const QString& ProgramName() const { return FProgramName; }

    // Outcome: 0 nothing done, 1 a job was accepted, 2 the user cancelled; the datum is the job identifier.
    // -1: the session could not go on and closed; the datum is the reason.
    int ResultCode() const { return FResultCode; }
    void setResultCode(int value) { FResultCode = value; }
    const kv::Variant& ResultData() const { return FResultData; }
    void setResultData(const kv::Variant& value) { FResultData = value; }

    // Shows the form application-modal and waits until it is closed or given a modal result.
    int ShowModal();
    int ModalResult() const { return FModalResult; }
    // Inside ShowModal a result other than mrNone closes the form, as a dialog button does.
    void setModalResult(int value);

    // True from the moment the form starts to be freed.
    bool isDestroying() const { return FDestroying; }
    // Frees the form now: raises OnDestroy while the whole object still exists, then deletes it
    // (later, when called from inside one of the form's own events or its modal loop).
    void Free();
    // Frees the form once control is back in the event loop.
    void Release();

protected:
    // Lets a form kind choose what closing does; the main form frees itself.
    virtual void DoClose(TCloseAction& action) { Q_UNUSED(action); }

    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

    QString FVersionText;
    QString FUserID;
    QString FCompanyID;
    QString FProgramCode;
    QString FProgramName;
    int FResultCode = 0;
    kv::Variant FResultData;

private:
    // Raises OnDestroy once; whole when the descendant's parts still exist.
    void BeforeDestruction(bool whole = true);

    QString FModulePath;
    kv::Variant FHostApp;
    TNotifyEvent FOnShow;
    TNotifyEvent FOnHide;
    TNotifyEvent FOnDestroy;
    int FModalResult = mrNone;
    QEventLoop* FModalLoop = nullptr;
    int FEventDepth = 0;
    bool FDestroying = false;
    bool FDestroyed = false;
};

// A class reference for the main form: creates an instance of the registered class with its owner.
using TDLLFormClass = TDLLForm* (*)(QWidget* owner);

template <class T> TDLLForm* TDLLFormCreate(QWidget* owner) {
    T* form = new T(owner);
    form->AfterConstruction();
    return form;
}

// The main form class of the library; set while the library loads, before the host can call anything.
extern TDLLFormClass frmBaseGeneClass;
