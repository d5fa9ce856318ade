#include "frame/DLLEntry.h"

#include <string>

namespace {
thread_local std::string lastError;
}

TDLLBaseController* createController() {
    if (!DLLControllerClass)
        throw EKvError("KVR DLL Internal Error :\rNot Assign \"DLLControllerClass\" varible");
    return DLLControllerClass();
}

extern "C" TDLLBaseController* GetController() {
    lastError.clear();
    try {
        return createController();
    } catch (const std::exception& e) {
        lastError = e.what();
    } catch (...) {
        lastError = "Unknown exception in GetController";
    }
    return nullptr;
}

extern "C" const char* GetControllerError() {
    return lastError.c_str();
}
