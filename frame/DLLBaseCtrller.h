#pragma once
// The controller the host drives. The host is compiled against this header and calls the virtual
// operations by their position in the table of virtual functions, so the order and the argument lists
// of slots 0 to 17 never change; anything new goes after the destructor.
//
// Types at this boundary are the automation ones: kv::Variant, wide text (UTF-16), 16-bit booleans with
// true = -1 (kv::VariantBool), 32-bit integers and 32-bit window handles.
#include <QString>
#include <cstdint>
#include <functional>

#include "platform/ole/Variant.h"

class QObject;
class TDLLBaseController;

using WideString = QString;
using HWND32 = uint32_t;

// The host's notification callback.
using TDLLNotifyEvent = std::function<void(int32_t code, TDLLBaseController* sender)>;

// Notification codes passed to OnNotify.
enum TDLLNotifyCode : int32_t {
    dnFormCreated = 0x100, // created by OpenForm, before it is initialised
    dnFormShow = 0x110,
    dnFormHide = 0x120,
    dnFormDestroy = 0x130, // ResultCode and ResultData are filled
    dnCustomNotify = 0x140,
};

class TDLLBaseController {
public:
    TDLLBaseController() = default;
    TDLLBaseController(const TDLLBaseController&) = delete;
    TDLLBaseController& operator=(const TDLLBaseController&) = delete;

    // Slot 0: the form's version text; empty without a form.
    virtual WideString GetVersion() = 0;
    // Slot 1: whether the form is visible; false without a form.
    virtual kv::VariantBool GetVisible() = 0;
    // Slot 2.
    virtual void SetVisible(kv::VariantBool show) = 0;
    // Slot 3: the form's window handle; 0 without a form.
    virtual HWND32 GetHandle() = 0;
    // Slot 4: creates and initialises the form; 0 success, -1 failure.
    virtual int32_t OpenForm(const kv::Variant& params) = 0;
    // Slot 5: passes a run request to the form; 0 success, -1 failure. Never raises.
    virtual int32_t Execute(kv::Variant& params) = 0;
    // Slot 6: 0 handled, -1 not handled. Never raises. The second argument is not used by this module.
    virtual int32_t ExecuteEvent(int32_t eventType, int32_t unused, kv::Variant& params) = 0;
    // Slot 7: the modal result as an integer; 2 (cancel) without a form.
    virtual kv::Variant ShowModalForm() = 0;
    // Slot 8.
    virtual void FreeForm() = 0;
    // Slot 9: writes [UserID, CompanyID, ProgramCode, ProgramName]; 0 success, -1 without a form.
    virtual int32_t GetSessionInfo(kv::Variant& info) = 0;
    // Slot 10.
    virtual bool IsFormFreed() = 0;
    // Slots 11 to 15 raise the notifications 256, 272, 288, 304 and 320.
    virtual void DoFormCreated();
    virtual void DoFormShow(QObject* sender);
    virtual void DoFormHide(QObject* sender);
    virtual void DoFormDestroy(QObject* sender);
    virtual void DoCustomNotify();
    // Slot 16: calls OnNotify when assigned.
    virtual void Notify(int32_t code);
    // Slot 17.
    virtual void Reserved();

    virtual ~TDLLBaseController();

    // Written by the host before OpenForm; copied into the form.
    kv::Variant HostApp;
    // The form's outcome, copied when the form is destroyed.
    int32_t ResultCode = 0;
    kv::Variant ResultData;
    TDLLNotifyEvent OnNotify;
};

// A class reference for controllers: creates an instance with the plain constructor.
using TDLLControllerClass = TDLLBaseController* (*)();

template <class T> TDLLBaseController* TDLLControllerCreate() {
    return new T();
}

// The controller class of the library; set while the library loads.
extern TDLLControllerClass DLLControllerClass;
