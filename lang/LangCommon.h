#pragma once
// Shared by the code converter and the language controller: design types, conversion kinds, the
// language directory, message look-up and property access by name.
#include <QMetaProperty>
#include <QString>
#include <cstdint>

class QObject;

// Which launcher settings give the installation path and the code pages.
enum TDesignType { dtClient = 0, dtServer = 1 };

// Conversion kind: 0 none, 1 BIG5 to GB, 2 GB to BIG5, 3 BIG5 font only, 4 GB font only.
enum TCodePageChangeType : uint8_t {
    cpNone = 0,
    cpBig5ToGB = 1,
    cpGBToBig5 = 2,
    cpBig5Font = 3,
    cpGBFont = 4
};

// Character sets of the fonts the converter picks.
constexpr int GB2312_CHARSET = 134;
constexpr int CHINESEBIG5_CHARSET = 136;
// Both character sets are drawn with this face (it holds the simplified and the traditional
// characters); a font's character set is kept beside it in the dynamic property "<font>Charset".
inline constexpr const char* kUIFontFace = "WenQuanYi Micro Hei";

// The code pages the launcher settings of the design type give: {system, interface, database}.
struct TCodePages {
    QString SystemCodePage = QStringLiteral("936");
    QString UICodePage = QStringLiteral("936");
    QString DBCodePage = QStringLiteral("936");
    int UIChangeType = 0;
    int DataChangeType = 0;
    QString InstallPath;
};
TCodePages ReadCodePages(TDesignType designType);

// "CHS", "CHT" or "ENG" for the interface code pages 936, 950 and 437; empty for any other.
QString LanguageCode(const QString& codePage);
// Installation path + "MultiLanguage/" + language code + "/"; empty when the code page has no
// language or the directory does not exist.
QString GetLangDir(TDesignType designType);
// The path that exists with the given one's letters in any case (the given one first); empty when
// none does.
QString FindIgnoringCase(const QString& path);
// The language file of a package in the language directory: "<package>.Lng", or the file of that
// name in another case (files copied from a system that ignores case); the nominal name when neither
// exists.
QString LanguageFileName(const QString& langDir, const QString& packageName);

// The text of attribute Msg of the first element named by the identifier in the language file of the
// package; the default text when the file, the element or the attribute is missing, or when the file
// is broken (then skipped as SkipLanguageFile says).
QString GetMessage(TDesignType designType, const QString& packageName, const QString& identifier,
                   const QString& defaultText);

// A language file that cannot be read (empty, cut short, not XML) is skipped: the texts stay as they
// are, and the alert log names the file and the reason, once per file and process.
void SkipLanguageFile(const QString& fileName, const QString& reason);

// A property by name, without regard to case (names of the original's run-time type information).
QMetaProperty FindProperty(const QObject* object, const QString& name);
