#include "support/AlertFile.h"

#include <QDir>
#include <QFile>

#include "platform/RegistryFile.h"

namespace kv::alertfile {

QString normalizeDir(const QString& path) {
    QString dir = path.trimmed();
    dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
}

QString launcherDirectory() {
    const auto key = RegistryKey::openReadOnly(HKEY_LOCAL_MACHINE, kStewardKey);
    if (!key) return {};
    QString dir = key->readString(QStringLiteral("ClientPath")).trimmed();
    if (dir.isEmpty()) dir = key->readString(QStringLiteral("ServerPath")).trimmed();
    return normalizeDir(dir);
}

bool appendLine(const QString& dir, const QString& fileName, const QString& stamp, const QString& text) {
    if (dir.isEmpty() || fileName.isEmpty() || fileName.contains(QLatin1Char('/')) ||
        fileName.contains(QLatin1Char('\\')) || fileName == QLatin1String("..") ||
        fileName == QLatin1String("."))
        return false;
    const QString logDir = normalizeDir(dir) + QStringLiteral("Log");
    if (!QDir().mkpath(logDir)) return false;
    QFile file(logDir + QLatin1Char('/') + fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    const QByteArray line =
        (QLatin1Char('[') + stamp + QStringLiteral("] ") + text + QLatin1Char('\n')).toUtf8();
    return file.write(line) == line.size() && file.flush();
}

} // namespace kv::alertfile
