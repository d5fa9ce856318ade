#include "common/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace testsupport {

QString binDir() {
    const QString fromEnv = qEnvironmentVariable("TARNIX_BIN_DIR");
    return fromEnv.isEmpty() ? QCoreApplication::applicationDirPath() + "/../bin" : fromEnv;
}

QString sourceDir() {
    const QString fromEnv = qEnvironmentVariable("TARNIX_SOURCE_DIR");
    return fromEnv.isEmpty() ? QString(TARNIX_SOURCE_DIR_FALLBACK) : fromEnv;
}

QString pictureDir(const QString& topic) {
    static QTemporaryDir scratch(QDir::tempPath() + "/tarnix-pictures-XXXXXX");
    const QString chosen = qEnvironmentVariable("TARNIX_TEST_PICTURES");
    const QString dir = (chosen.isEmpty() ? scratch.path() : chosen) + "/" + topic;
    QDir().mkpath(dir);
    return dir;
}

QString writeFile(const QString& fileName, const QByteArray& content) {
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QFile f(fileName);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
    return fileName;
}

QByteArray readFile(const QString& fileName) {
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value)
    : FName(name), FOld(qgetenv(name)), FHadOld(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv() {
    if (FHadOld)
        qputenv(FName, FOld);
    else
        qunsetenv(FName);
}

}  // namespace testsupport
