#include "Kvlanguage.h"

#include <cerrno>
#include <iconv.h>
#include <opencc/opencc.h>
#include <string>

namespace {

// One OpenCC converter per configuration and thread: the converters are not documented as safe to
// share between threads, and opening one costs a few milliseconds, so it is kept for the thread's life.
class OpenCC {
public:
    explicit OpenCC(const char* config) : FHandle(opencc_open(config)) {}
    ~OpenCC() {
        if (valid()) opencc_close(FHandle);
    }
    OpenCC(const OpenCC&) = delete;
    OpenCC& operator=(const OpenCC&) = delete;

    bool valid() const { return FHandle != reinterpret_cast<opencc_t>(-1); }
    bool convert(const std::string& in, std::string& out) const {
        if (!valid()) return false;
        char* converted = opencc_convert_utf8(FHandle, in.data(), in.size());
        if (!converted) return false;
        out.assign(converted);
        opencc_convert_utf8_free(converted);
        return true;
    }

private:
    opencc_t FHandle;
};

// Converts bytes between encodings; false when a byte sequence is invalid or a character is missing.
bool iconvert(const std::string& in, const char* to, const char* from, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[1024];
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, dst - buffer);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    if (ok) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, dst - buffer);
    }
    iconv_close(cd);
    return ok;
}

// Decode, convert the characters, encode. A second character table is tried when the target
// encoding lacks a character the first one produced (BIG5 knows the Taiwan forms of some variants).
const char* convert(const char* text, const char* from, const char* to, const OpenCC& primary,
                    const OpenCC* fallback, std::string& result) {
    if (!text) return nullptr;
    std::string utf8;
    if (!iconvert(text, "UTF-8", from, utf8)) return nullptr;
    std::string chars;
    if (!primary.convert(utf8, chars)) return nullptr;
    if (iconvert(chars, to, "UTF-8", result)) return result.c_str();
    if (fallback && fallback->convert(utf8, chars) && iconvert(chars, to, "UTF-8", result))
        return result.c_str();
    return nullptr;
}

} // namespace

extern "C" {

const char* GBtoBIG5(const char* text) {
    thread_local OpenCC s2t("s2t.json");
    thread_local OpenCC s2tw("s2tw.json");
    thread_local std::string result;
    return convert(text, "GBK", "BIG5", s2t, &s2tw, result);
}

const char* BIG5toGB(const char* text) {
    thread_local OpenCC t2s("t2s.json");
    thread_local std::string result;
    return convert(text, "BIG5", "GBK", t2s, nullptr, result);
}

// The original tables were exposed through these two; here they answer with the same conversions.
const char* GetBIG5Data(const char* text) {
    thread_local std::string result;
    const char* converted = GBtoBIG5(text);
    if (!converted) return nullptr;
    result = converted;
    return result.c_str();
}

const char* GetGBData(const char* text) {
    thread_local std::string result;
    const char* converted = BIG5toGB(text);
    if (!converted) return nullptr;
    result = converted;
    return result.c_str();
}

// Nothing to save: the tables are OpenCC's read-only dictionaries.
int SaveOrder(void) {
    return 0;
}
}
