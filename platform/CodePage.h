#pragma once
// Code pages: the stand-in for the system's ANSI code page and the byte encodings the module meets.
// Inside the program texts are Unicode; bytes appear only where a rule counts them or they cross a boundary.
#include <QByteArray>
#include <QString>

namespace kv::codepage {

constexpr int GBK = 936;
constexpr int BIG5 = 950;
constexpr int US = 437;
constexpr int UTF8 = 65001;

// The operating system's ANSI code page: TARNIX_ACP when set, else derived from the locale
// (zh_CN 936, zh_TW/zh_HK 950, any other 437).
int systemCodePage();
// Overrides the answer of systemCodePage() inside this process (tests); 0 restores the default.
void setSystemCodePageOverride(int codePage);

// iconv's name of a code page, or nullptr when the code page is unknown.
const char* encodingName(int codePage);

// Characters the code page lacks become '?', as the platform's conversion does; ok reports whether
// every character was taken.
QByteArray encode(const QString& text, int codePage, bool* ok = nullptr);
QString decode(const QByteArray& bytes, int codePage, bool* ok = nullptr);

// Number of bytes the text takes in the code page (the system code page by default).
int byteLength(const QString& text, int codePage = 0);

// The longest prefix of the text that fits in maxBytes bytes of the code page without splitting a character.
QString leftBytes(const QString& text, int maxBytes, int codePage = 0);

}  // namespace kv::codepage
