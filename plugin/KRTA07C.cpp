// Start-up of the library: the controller creates the scheduling workbench's main form.
#include "workbench/Krta07C.h"

namespace {

const bool mainFormRegistered = [] {
    frmBaseGeneClass = &TDLLFormCreate<TfrmKRTA07>;
    return true;
}();

} // namespace
