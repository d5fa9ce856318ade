// Any bytes as a settings file: the reader must keep every lookup answerable.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/IniFile.h"

// Letter case of ASCII letters only: a full Unicode upper case may change a name's length ("ß" to "SS").
static QString flipAsciiCase(QString name) {
    for (QChar& c : name)
        if (c.unicode() < 0x80 && c.isLetter()) c = c.isUpper() ? c.toLower() : c.toUpper();
    return name;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const kv::IniFile ini = kv::IniFile::fromText(kv::decodeSettingsText(bytes));
    for (const QString& section : ini.sections()) {
        if (!ini.sectionExists(section)) std::abort(); // every listed section is found again
        for (const QString& key : ini.keys(section)) {
            if (!ini.valueExists(flipAsciiCase(section), flipAsciiCase(key)))
                std::abort(); // names match without regard to case
            (void)ini.readInteger(section, key, 0);
        }
        (void)ini.sectionValues(section);
    }
    (void)ini.readString("Server Information", "ComputerName", "127.0.0.1");
    return 0;
}
