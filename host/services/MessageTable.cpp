#include "host/services/MessageTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

// Resources of a static library are only linked when something names their initialiser.
static void initMessageResource() {
    Q_INIT_RESOURCE(Messages);
}

namespace tarnix {

namespace {

QString unescape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(++i);
        if (next == 'r')
            out += '\r';
        else if (next == 'n')
            out += '\n';
        else if (next == 't')
            out += '\t';
        else if (next == '\\')
            out += '\\';
        else
            out += QStringLiteral("\\") + next;
    }
    return out;
}

} // namespace

QString TMessageTable::key(const QString& type, const QString& number) {
    bool ok = false;
    const int n = number.trimmed().toInt(&ok);
    return type.trimmed().toUpper() + ";" + (ok ? QString::number(n) : number.trimmed());
}

TMessageTable TMessageTable::fromText(const QString& text, QStringList* errors) {
    TMessageTable table;
    const QStringList lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith('\r')) line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith('#')) continue;
        const QStringList fields = line.split('\t');
        if (fields.size() != 4 || fields.at(0).trimmed().size() != 1 || fields.at(1).trimmed().isEmpty()) {
            if (errors)
                errors->append(
                    QString("line %1: expected type, number, Chinese and English text separated by tabs")
                        .arg(i + 1));
            continue;
        }
        table.FEntries.insert(key(fields.at(0), fields.at(1)),
                              Entry{unescape(fields.at(2)), unescape(fields.at(3))});
    }
    return table;
}

std::optional<TMessageTable> TMessageTable::fromFile(const QString& fileName, QStringList* errors,
                                                     QString* reason) {
    const auto refuse = [reason](const QString& why) -> std::optional<TMessageTable> {
        if (reason) *reason = why;
        return std::nullopt;
    };
    QFile file(fileName);
    if (QFileInfo(fileName).isDir()) return refuse(QStringLiteral("it is a folder"));
    if (!file.open(QIODevice::ReadOnly)) return refuse(file.errorString());
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(file.readAll());
    if (utf8.hasError()) return refuse(QStringLiteral("it is not UTF-8 text"));
    TMessageTable table = fromText(text, errors);
    // A table without a single message would answer every code with "not in the message table".
    if (table.size() == 0) return refuse(QStringLiteral("it holds no message"));
    return table;
}

TMessageTable TMessageTable::shipped() {
    return fromText(QString::fromUtf8(shippedMessageTableText()));
}

void TMessageTable::addMissing(const TMessageTable& other) {
    for (auto it = other.FEntries.constBegin(); it != other.FEntries.constEnd(); ++it)
        if (!FEntries.contains(it.key())) FEntries.insert(it.key(), it.value());
}

bool TMessageTable::contains(const QString& type, const QString& number) const {
    return FEntries.contains(key(type, number));
}

std::optional<QString> TMessageTable::text(const QString& type, const QString& number, int uiCodePage) const {
    const auto it = FEntries.constFind(key(type, number));
    if (it == FEntries.constEnd()) return std::nullopt;
    return uiCodePage == 437 ? it->english : it->chinese;
}

QByteArray shippedMessageTableText() {
    initMessageResource();
    QFile file(":/tarnix/host/Messages.txt");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString messageTableFileName(const QString& installDir) {
    return QDir(installDir).filePath("Messages.txt");
}

bool installMessageTable(const QString& installDir, QString* error) {
    const auto fail = [error](const QString& text) {
        if (error) *error = text;
        return false;
    };
    const QByteArray content = shippedMessageTableText();
    if (content.isEmpty()) return fail("the shipped message table is missing from the program");
    if (!QDir().mkpath(installDir)) return fail(QString("cannot create the directory %1").arg(installDir));
    QSaveFile file(messageTableFileName(installDir));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return fail(QString("cannot write %1: %2").arg(file.fileName(), file.errorString()));
    return true;
}

} // namespace tarnix
