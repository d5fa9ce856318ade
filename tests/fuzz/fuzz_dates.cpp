// Any text through the date parsers: no crash, and whatever parses formats back to itself.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/CodePage.h"
#include "support/LibStrs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    kv::codepage::setSystemCodePageOverride(936);
    const int kind = data[0] % 7;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    const kv::TDateTime d = TransDateIn(text);
    if (d != 0 && DateToString(d, 1, "") != text) std::abort();
    (void)CheckDate(text);

    const kv::TDateTime shown = StringToDate(text, kind, "/");
    if (shown != 0 && kind >= 1 && kind <= 5) {
        const QString back = DateToString(shown, kind, "/");
        if (!back.isEmpty() && Changedate(back, kind, "/") != DateToString(shown, 1, "")) std::abort();
    }
    (void)Changedate(text, kind, "/");
    (void)Changedate(text, kind, "");
    (void)ChangeStrToDateStr(text, "-");
    (void)AddToDate(kv::Variant(text), QString(QChar("DMYX"[kind % 4])), kind * 13 - 40);

    // Fields of a saved relative date, separated as the option texts are.
    (void)UpdateDate(GetToken(text, QString(QChar(3)), 1), GetToken(text, QString(QChar(3)), 2),
                     GetToken(text, QString(QChar(3)), 3), GetToken(text, QString(QChar(3)), 4),
                     GetToken(text, QString(QChar(3)), 5));
    (void)NumToken(text, ",");
    (void)StrToFloatDef(text, 0);
    return 0;
}
