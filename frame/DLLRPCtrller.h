#pragma once
// The controller of a report or batch program: it owns the module's main form and relays the form's
// show, hide and destroy events to the host.
#include <QPointer>

#include "frame/DLLBaseCtrller.h"
#include "frame/DLLForm.h"

class TDLLRPCtrller : public TDLLBaseController {
public:
    TDLLRPCtrller() = default;
    ~TDLLRPCtrller() override;

    WideString GetVersion() override;
    kv::VariantBool GetVisible() override;
    void SetVisible(kv::VariantBool show) override;
    HWND32 GetHandle() override;
    int32_t OpenForm(const kv::Variant& params) override;
    int32_t Execute(kv::Variant& params) override;
    int32_t ExecuteEvent(int32_t eventType, int32_t unused, kv::Variant& params) override;
    kv::Variant ShowModalForm() override;
    void FreeForm() override;
    int32_t GetSessionInfo(kv::Variant& info) override;
    bool IsFormFreed() override;
    void DoFormShow(QObject* sender) override;
    void DoFormHide(QObject* sender) override;
    void DoFormDestroy(QObject* sender) override;

    // The main form; null until OpenForm creates it and again once it is destroyed.
    QPointer<TDLLForm> Form;
    // The form's own handlers, called before the notifications.
    TNotifyEvent SavedOnShow;
    TNotifyEvent SavedOnHide;
    TNotifyEvent SavedOnDestroy;

private:
    void HookFormEvents();
};

// Full file name of the shared object (or program) this code was loaded from.
QString moduleFileName();
