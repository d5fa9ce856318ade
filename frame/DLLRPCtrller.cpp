#include "frame/DLLRPCtrller.h"

#include <QFileInfo>
#include <dlfcn.h>
#include <utility>

// Defined with its value here rather than next to its declaration, so that the controller class is set
// before any code of the library runs, and linking the entry always brings this unit along.
TDLLControllerClass DLLControllerClass = &TDLLControllerCreate<TDLLRPCtrller>;

QString moduleFileName() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&moduleFileName), &info) != 0 && info.dli_fname &&
        *info.dli_fname) {
        const QFileInfo file(QString::fromLocal8Bit(info.dli_fname));
        if (file.isFile()) return file.absoluteFilePath();
    }
    // Linked into the program itself: the loader may only know the program by the name it was started with.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

TDLLRPCtrller::~TDLLRPCtrller() {
    if (Form) FreeForm();
}

WideString TDLLRPCtrller::GetVersion() {
    return Form ? Form->VersionText() : WideString();
}

kv::VariantBool TDLLRPCtrller::GetVisible() {
    return Form && Form->isVisible() ? kv::VARIANT_TRUE : kv::VARIANT_FALSE;
}

void TDLLRPCtrller::SetVisible(kv::VariantBool show) {
    if (!Form) return;
    Form->setVisible(show != kv::VARIANT_FALSE);
    if (show != kv::VARIANT_FALSE && Form) {
        if (Form->windowState() & Qt::WindowMinimized)
            Form->setWindowState(Form->windowState() & ~Qt::WindowMinimized);
        Form->raise();
        Form->activateWindow();
    }
}

HWND32 TDLLRPCtrller::GetHandle() {
    // Handles cross the boundary as 32-bit values.
    return Form ? static_cast<HWND32>(Form->winId()) : 0;
}

int32_t TDLLRPCtrller::OpenForm(const kv::Variant& given) {
    const kv::Variant params = given; // the form may keep or change what it is given
    if (!Form) {
        if (!frmBaseGeneClass)
            throw EKvError("KVR DLL Internal Error :\rNot Assign \"frmBaseGeneClass\" varible");
        Form = frmBaseGeneClass(nullptr);
        Form->SetModulePath(moduleFileName());
        Form->setHostApp(HostApp);
        DoFormCreated();
        if (!Form) return -1; // the host freed it on the notification
    }
    HookFormEvents();
    return Form->InitializeSession(params) ? 0 : -1;
}

void TDLLRPCtrller::HookFormEvents() {
    // Hooking again must not save this controller's own hook as the form's handler: the hook would
    // then call itself without end.
    const auto hook = [this](const TNotifyEvent& current, TNotifyEvent& saved,
                             void (TDLLRPCtrller::*handler)(QObject*)) {
        if (current.Data != this) saved = current;
        return TNotifyEvent{[this, handler](QObject* sender) { (this->*handler)(sender); }, this};
    };
    Form->setOnShow(hook(Form->OnShow(), SavedOnShow, &TDLLRPCtrller::DoFormShow));
    Form->setOnHide(hook(Form->OnHide(), SavedOnHide, &TDLLRPCtrller::DoFormHide));
    Form->setOnDestroy(hook(Form->OnDestroy(), SavedOnDestroy, &TDLLRPCtrller::DoFormDestroy));
}

int32_t TDLLRPCtrller::Execute(kv::Variant& params) {
    try {
        if (Form && !params.isNull() && params.isArray()) {
            Form->RunRequest(kv::Variant::arrayOf({true, std::as_const(params).at(1)}));
            return 0;
        }
    } catch (...) {
        // The host is told by the answer only.
    }
    return -1;
}

int32_t TDLLRPCtrller::ExecuteEvent(int32_t eventType, int32_t unused, kv::Variant& params) {
    Q_UNUSED(unused);
    try {
        if (Form && (eventType == 5 || eventType == 9)) {
            Form->RunRequest(kv::Variant::arrayOf({false, params}));
            return 0;
        }
    } catch (...) {
    }
    return -1;
}

kv::Variant TDLLRPCtrller::ShowModalForm() {
    return Form ? kv::Variant(Form->ShowModal()) : kv::Variant(mrCancel);
}

void TDLLRPCtrller::FreeForm() {
    if (Form && !Form->isDestroying()) Form->Free();
}

int32_t TDLLRPCtrller::GetSessionInfo(kv::Variant& info) {
    if (!Form) return -1;
    info = kv::Variant::array(0, 3);
    info.set(0, Form->UserID());
    info.set(1, Form->CompanyID());
    info.set(2, Form->ProgramCode());
    info.set(3, Form->ProgramName());
    return 0;
}

bool TDLLRPCtrller::IsFormFreed() {
    return !Form;
}

void TDLLRPCtrller::DoFormShow(QObject* sender) {
    if (SavedOnShow) SavedOnShow(sender);
    TDLLBaseController::DoFormShow(sender);
}

void TDLLRPCtrller::DoFormHide(QObject* sender) {
    if (SavedOnHide) SavedOnHide(sender);
    TDLLBaseController::DoFormHide(sender);
}

void TDLLRPCtrller::DoFormDestroy(QObject* sender) {
    const bool hadForm = !Form.isNull();
    if (hadForm) {
        ResultCode = Form->ResultCode();
        ResultData = Form->ResultData();
        if (SavedOnDestroy) SavedOnDestroy(sender);
    }
    // Cleared before the host hears of it: a host that frees the controller on 304 must find it done.
    Form = nullptr;
    if (hadForm) TDLLBaseController::DoFormDestroy(sender);
}
