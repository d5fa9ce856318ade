#include "platform/IniFile.h"

#include <QFile>
#include <QStringDecoder>

#include "platform/CodePage.h"

namespace kv {

QString decodeSettingsText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return codepage::decode(bytes, codepage::systemCodePage());
}

IniFile::IniFile(const QString& fileName) : FFileName(fileName) {
    // No settings file named (no launcher settings, say): nothing to read, and nothing to warn of.
    if (fileName.isEmpty()) return;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return;
    FExists = true;
    QByteArray bytes = f.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    parse(decodeSettingsText(bytes));
}

IniFile IniFile::fromText(const QString& text) {
    IniFile ini;
    ini.FExists = true;
    ini.parse(text);
    return ini;
}

void IniFile::parse(const QString& text) {
    Section* current = nullptr;
    const auto lines = text.split('\n');
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            const QString name = (close < 0 ? line.mid(1) : line.mid(1, close - 1)).trimmed();
            current = const_cast<Section*>(findSection(name));
            if (!current) {
                FSections.push_back({name, {}});
                current = &FSections.back();
            }
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0 || !current)
            continue;
        const QString key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        current->values.append({key, value});
    }
}

const IniFile::Section* IniFile::findSection(const QString& section) const {
    for (const Section& s : FSections)
        if (s.name.compare(section, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& defaultValue) const {
    if (const Section* s = findSection(section))
        for (const auto& kv : s->values)
            if (kv.first.compare(key, Qt::CaseInsensitive) == 0)
                return kv.second;
    return defaultValue;
}

int IniFile::readInteger(const QString& section, const QString& key, int defaultValue) const {
    bool ok = false;
    const QString text = readString(section, key);
    int value = text.startsWith("0x", Qt::CaseInsensitive) ? text.mid(2).toInt(&ok, 16) : text.toInt(&ok);
    return ok ? value : defaultValue;
}

bool IniFile::sectionExists(const QString& section) const { return findSection(section) != nullptr; }

bool IniFile::valueExists(const QString& section, const QString& key) const {
    if (const Section* s = findSection(section))
        for (const auto& kv : s->values)
            if (kv.first.compare(key, Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

QStringList IniFile::sections() const {
    QStringList names;
    for (const Section& s : FSections)
        names << s.name;
    return names;
}

QStringList IniFile::keys(const QString& section) const {
    QStringList names;
    if (const Section* s = findSection(section))
        for (const auto& kv : s->values)
            names << kv.first;
    return names;
}

QList<QPair<QString, QString>> IniFile::sectionValues(const QString& section) const {
    const Section* s = findSection(section);
    return s ? s->values : QList<QPair<QString, QString>>{};
}

}  // namespace kv
