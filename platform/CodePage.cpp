#include "platform/CodePage.h"

#include <QLocale>
#include <atomic>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <string>

namespace kv::codepage {

namespace {

std::atomic<int> gOverride{0};

// iconv descriptors are costly to open; keep one per direction and thread.
class Converter {
public:
    Converter(const char* to, const char* from) : FHandle(iconv_open(to, from)) {}
    ~Converter() {
        if (valid())
            iconv_close(FHandle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return FHandle != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle() const { return FHandle; }
    void reset() { iconv(FHandle, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t FHandle;
};

Converter* converter(const char* to, const char* from) {
    thread_local std::map<std::string, std::unique_ptr<Converter>> cache;
    const std::string key = std::string(to) + '\x01' + from;
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, std::make_unique<Converter>(to, from)).first;
    if (!it->second->valid())
        return nullptr;
    it->second->reset();
    return it->second.get();
}

int utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;
}

// Converts, replacing what cannot be taken by '?' (one per character of the source).
QByteArray convert(const QByteArray& input, const char* to, const char* from, bool fromUtf8, bool* ok) {
    bool allTaken = true;
    QByteArray out;
    Converter* cv = converter(to, from);
    if (!cv) {
        if (ok)
            *ok = false;
        return out;
    }
    out.resize(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.constData());
    size_t inLeft = static_cast<size_t>(input.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        size_t r = iconv(cv->handle(), &in, &inLeft, &outPtr, &outLeft);
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
            continue;
        }
        // EILSEQ or EINVAL: skip one source character, write a '?'.
        allTaken = false;
        const size_t skip = fromUtf8 ? std::min<size_t>(utf8SequenceLength(static_cast<unsigned char>(*in)), inLeft) : 1;
        in += skip;
        inLeft -= skip;
        if (outLeft < 4) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2 + 8);
            outPtr = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
        }
        *outPtr++ = '?';
        --outLeft;
        cv->reset();
    }
    out.resize(outPtr - out.data());
    if (ok)
        *ok = allTaken;
    return out;
}

bool isAscii(const QString& text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

}  // namespace

int systemCodePage() {
    if (int o = gOverride.load())
        return o;
    bool ok = false;
    const int fromEnv = qEnvironmentVariableIntValue("TARNIX_ACP", &ok);
    if (ok && fromEnv > 0)
        return fromEnv;
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::Chinese) {
        switch (locale.territory()) {
        case QLocale::Taiwan:
        case QLocale::HongKong:
        case QLocale::Macao:
            return BIG5;
        default:
            return locale.script() == QLocale::TraditionalChineseScript ? BIG5 : GBK;
        }
    }
    return US;
}

void setSystemCodePageOverride(int codePage) { gOverride.store(codePage); }

const char* encodingName(int codePage) {
    switch (codePage) {
    case 936:
        return "GBK";
    case 950:
        return "BIG5";
    case 437:
        return "CP437";
    case 1252:
        return "CP1252";
    case 54936:
        return "GB18030";
    case 20127:
        return "ASCII";
    case 65001:
        return "UTF-8";
    case 1200:
        return "UTF-16LE";
    default:
        return nullptr;
    }
}

QByteArray encode(const QString& text, int codePage, bool* ok) {
    if (codePage == 0)
        codePage = systemCodePage();
    if (codePage == UTF8 || isAscii(text)) {
        if (ok)
            *ok = true;
        return text.toUtf8();
    }
    const char* name = encodingName(codePage);
    if (!name) {
        if (ok)
            *ok = false;
        return text.toLatin1();
    }
    return convert(text.toUtf8(), name, "UTF-8", true, ok);
}

QString decode(const QByteArray& bytes, int codePage, bool* ok) {
    if (codePage == 0)
        codePage = systemCodePage();
    const char* name = encodingName(codePage);
    if (codePage == UTF8 || !name) {
        if (ok)
            *ok = name != nullptr;
        return QString::fromUtf8(bytes);
    }
    bool allAscii = true;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            allAscii = false;
            break;
        }
    if (allAscii) {
        if (ok)
            *ok = true;
        return QString::fromLatin1(bytes);
    }
    return QString::fromUtf8(convert(bytes, "UTF-8", name, false, ok));
}

int byteLength(const QString& text, int codePage) {
    if (isAscii(text))
        return static_cast<int>(text.size());
    return static_cast<int>(encode(text, codePage).size());
}

QString leftBytes(const QString& text, int maxBytes, int codePage) {
    if (maxBytes <= 0)
        return {};
    if (isAscii(text))
        return text.left(maxBytes);
    int used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const int w = text[i].unicode() < 0x80 ? 1 : byteLength(text.mid(i, len), codePage);
        if (used + w > maxBytes)
            break;
        used += w;
        i += len;
    }
    return text.left(i);
}

}  // namespace kv::codepage
