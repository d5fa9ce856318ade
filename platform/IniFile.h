#pragma once
// Read-only INI file with the lookup rules of the original platform's profile functions:
// sections and keys match without regard to case, blanks around names and values are dropped,
// a value in matching double or single quotes loses them, lines without "=" are ignored.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <vector>

namespace kv {

class IniFile {
public:
    IniFile() = default;
    // A missing or unreadable file gives an empty INI file (every key takes its default).
    explicit IniFile(const QString& fileName);
    static IniFile fromText(const QString& text);

    bool exists() const { return FExists; }
    const QString& fileName() const { return FFileName; }

    QString readString(const QString& section, const QString& key, const QString& defaultValue = {}) const;
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    bool sectionExists(const QString& section) const;
    bool valueExists(const QString& section, const QString& key) const;
    QStringList sections() const;
    QStringList keys(const QString& section) const;
    // Every name=value line of a section, in file order.
    QList<QPair<QString, QString>> sectionValues(const QString& section) const;

private:
    struct Section {
        QString name;
        QList<QPair<QString, QString>> values;
    };
    void parse(const QString& text);
    const Section* findSection(const QString& section) const;

    QString FFileName;
    bool FExists = false;
    std::vector<Section> FSections;
};

// Decodes a settings file: UTF-8 when it is valid UTF-8, otherwise the system code page.
QString decodeSettingsText(const QByteArray& bytes);

}  // namespace kv
