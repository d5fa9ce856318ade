#pragma once
// The host's message table: the texts behind message codes such as "E;000038". Each message has a
// Chinese text and an English one for an interface on code page 437. The table ships with the host and
// is copied into every installation, where the host reads it.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

namespace tarnix {

class TMessageTable {
public:
    // Parses the table's text; lines that are not messages (other than comments and blank lines) are
    // skipped and described in errors.
    static TMessageTable fromText(const QString& text, QStringList* errors = nullptr);
    // Reads a table file (UTF-8); nullopt when it cannot be read, is no UTF-8 text or holds no message,
    // with the reason in *reason.
    static std::optional<TMessageTable> fromFile(const QString& fileName, QStringList* errors = nullptr,
                                                 QString* reason = nullptr);
    // The table this host ships.
    static TMessageTable shipped();

    // Takes the messages of other that this table lacks: a table written by an older host does not
    // know the messages added since.
    void addMissing(const TMessageTable& other);

    int size() const { return int(FEntries.size()); }
    bool contains(const QString& type, const QString& number) const;
    // The text for an interface code page: English for 437, Chinese for any other.
    std::optional<QString> text(const QString& type, const QString& number, int uiCodePage) const;

private:
    struct Entry {
        QString chinese;
        QString english;
    };
    static QString key(const QString& type, const QString& number);
    QHash<QString, Entry> FEntries;
};

// The text of the shipped table.
QByteArray shippedMessageTableText();
// Where an installation keeps its message table.
QString messageTableFileName(const QString& installDir);
// Copies the shipped table into an installation directory (created when missing).
bool installMessageTable(const QString& installDir, QString* error = nullptr);

} // namespace tarnix
