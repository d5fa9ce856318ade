#pragma once
// GB <-> BIG5 conversion library. Each function takes a NUL-terminated byte string and returns the
// byte string of the same characters in the other encoding. The result is owned by the library and
// stays valid until the next call of the same function on the same thread; nullptr means the text
// could not be converted (bytes that are no text of the source encoding, or characters the target
// encoding lacks even after character conversion).

#define KVLANGUAGE_EXPORT __attribute__((visibility("default")))

extern "C" {
KVLANGUAGE_EXPORT const char* GBtoBIG5(const char* text);
KVLANGUAGE_EXPORT const char* BIG5toGB(const char* text);
// Kept for callers that look them up; the tables behind them live in OpenCC.
KVLANGUAGE_EXPORT const char* GetBIG5Data(const char* text);
KVLANGUAGE_EXPORT const char* GetGBData(const char* text);
KVLANGUAGE_EXPORT int SaveOrder(void);
}
