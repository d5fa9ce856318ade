// Start-up of the library: chooses the main form the controller creates.
#include "plugin/PluginTestF.h"

namespace {

// The module's main form replaces the stand-in test form here once it exists.
const bool mainFormRegistered = [] {
    frmBaseGeneClass = &TDLLFormCreate<TfrmPluginTest>;
    return true;
}();

} // namespace
