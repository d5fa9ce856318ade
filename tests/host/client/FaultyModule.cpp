// A module library with the fault named by TARNIX_TEST_FAULT, to see the client report each one:
// "controller" (no controller class), "formclass" (no main form class), "refuse" (the form refuses
// its session).
#include "frame/DLLEntry.h"
#include "frame/DLLForm.h"

namespace {

class TfrmRefusing : public TDLLForm {
public:
    using TDLLForm::TDLLForm;
    bool InitializeSession(const kv::Variant&) override { return false; }
    void RunRequest(const kv::Variant&) override {}
};

const bool faultChosen = [] {
    const QByteArray fault = qgetenv("TARNIX_TEST_FAULT");
    frmBaseGeneClass = fault == "formclass" ? nullptr : &TDLLFormCreate<TfrmRefusing>;
    if (fault == "controller") DLLControllerClass = nullptr;
    return true;
}();

} // namespace
