#pragma once
// The library's exported entry. The host looks GetController up by name and owns the controller it
// returns. An exception cannot cross this C boundary: GetController answers null instead and leaves the
// error text for GetControllerError.
#include "frame/DLLBaseCtrller.h"

#define KV_DLL_EXPORT __attribute__((visibility("default")))

extern "C" {
// A new controller of the class in DLLControllerClass, or null on failure.
KV_DLL_EXPORT TDLLBaseController* GetController();
// The error text of the last GetController call of this thread (UTF-8; empty when it succeeded). Valid
// until the next call of GetController on the thread.
KV_DLL_EXPORT const char* GetControllerError();
}

// Function types for dlsym.
using TGetController = TDLLBaseController* (*)();
using TGetControllerError = const char* (*)();

// The same as GetController for code inside the library; raises EKvError.
TDLLBaseController* createController();
