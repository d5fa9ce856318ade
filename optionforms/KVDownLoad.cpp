#include "optionforms/KVDownLoad.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <functional>
#include <sys/vfs.h>

#include "controls/KvMsgDlg.h"
#include "platform/DateTime.h"
#include "platform/KvError.h"
#include "platform/RegistryFile.h"
#include "support/AlertFile.h"
#include "support/LibStrs.h"

namespace {

constexpr int kErrorSize = 256;
using TDownLoadFile = int (*)(const char*, const char*, const char*, const char*, char*);
using TUnZip = int (*)(const char*, const char*, char*);
using TCompare = int (*)(const char*, const char*);

const QString kLogName = QStringLiteral("KVDownLoadNewFileU");

// Text between begin and end, or after the quoted form "Name = '" up to the next "'".
QString fieldOf(const QString& info, const QString& name) {
    const QString open = QLatin1Char('<') + name + QLatin1Char('>');
    const QString close = QStringLiteral("</") + name + QLatin1Char('>');
    qsizetype at = info.indexOf(open);
    if (at >= 0) {
        at += open.size();
        const qsizetype end = info.indexOf(close, at);
        return info.mid(at, end < 0 ? -1 : end - at);
    }
    const QString quoted = name + QStringLiteral(" = '");
    at = info.indexOf(quoted);
    if (at < 0) return {};
    at += quoted.size();
    const qsizetype end = info.indexOf(QLatin1Char('\''), at);
    return info.mid(at, end < 0 ? -1 : end - at);
}

QString errorText(const char* buffer) {
    return QString::fromUtf8(buffer, qsizetype(strnlen(buffer, kErrorSize)));
}

} // namespace

TKVDownLoad::TKVDownLoad() {
    // The program's own directory first, then the loader's search path.
    const QString name = QStringLiteral("KVDownLoad.so");
    if (QCoreApplication::instance())
        FHandle = dlopen(QFile::encodeName(QCoreApplication::applicationDirPath() + '/' + name).constData(),
                         RTLD_NOW | RTLD_LOCAL);
    if (!FHandle) FHandle = dlopen(QFile::encodeName(name).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!FHandle) return;
    KVDownLoadFileEx = dlsym(FHandle, "KVDownLoadFileEx");
    UnZipFilesOrDir = dlsym(FHandle, "UnZipFilesOrDir");
    CompareFileToDown = dlsym(FHandle, "CompareFileToDown");
    CompareFileToDownEx = dlsym(FHandle, "CompareFileToDownEx");
    NeedDownLoad = dlsym(FHandle, "NeedDownLoad");
    UnZipFilesList = dlsym(FHandle, "UnZipFilesList");
    UnZipFilesXML = dlsym(FHandle, "UnZipFilesXML");
    GetFileList = dlsym(FHandle, "GetFileList");
}

TKVDownLoad::~TKVDownLoad() {
    if (FHandle) dlclose(FHandle);
}

bool TKVDownLoad::CheckNewer(const QString& stamp, const QString& localFile) {
    if (!CompareFileToDown) throw EKvError("function KvDownLoad.CompareFileToDown not found!");
    return reinterpret_cast<TCompare>(CompareFileToDown)(stamp.toUtf8().constData(),
                                                         QFile::encodeName(localFile).constData()) != 0;
}

bool TKVDownLoad::DownloadFile(const QString& source, const QString& target, const QString& timeout,
                               const QString& registryWord, QString& failure) {
    if (!KVDownLoadFileEx) throw EKvError("function KvDownLoad.KVDownLoadFile not found!");
    char error[kErrorSize] = {};
    const bool ok = reinterpret_cast<TDownLoadFile>(KVDownLoadFileEx)(
                        source.toUtf8().constData(), target.toUtf8().constData(),
                        timeout.toUtf8().constData(), registryWord.toUtf8().constData(), error) != 0;
    failure = ok ? QString() : errorText(error);
    return ok;
}

bool TKVDownLoad::UnzipFiles(const QString& archive, const QString& targetDir, QString& failure) {
    if (!UnZipFilesOrDir) throw EKvError("function KvDownLoad.UnZipFilesOrDir not found!");
    char error[kErrorSize] = {};
    const bool ok = reinterpret_cast<TUnZip>(UnZipFilesOrDir)(archive.toUtf8().constData(),
                                                              targetDir.toUtf8().constData(), error) != 0;
    failure = ok ? QString() : errorText(error);
    return ok;
}

void TKVDownLoad::ParseFileInfo(const QString& fileInfo, QString& stamp, QString& serverDir) {
    stamp = fieldOf(fileInfo, QStringLiteral("Modify"));
    const QString path = fieldOf(fileInfo, QStringLiteral("Path"));
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    serverDir = cut < 0 ? QString() : path.left(cut + 1);
}

bool TKVDownLoad::IsNetworkPath(const QString& fileName) {
    if (fileName.contains(QStringLiteral("\\\\")) || fileName.startsWith(QStringLiteral("//"))) return true;
    // A share mounted into the tree is a network path too.
    QFileInfo info(fileName);
    const QString dir = info.exists() ? info.absoluteFilePath() : info.absolutePath();
    struct statfs fs {};
    if (statfs(QFile::encodeName(dir).constData(), &fs) != 0) return false;
    const auto type = static_cast<unsigned long>(fs.f_type);
    return type == 0x6969UL /* NFS */ || type == 0xFF534D42UL /* CIFS */ || type == 0xFE534D42UL /* SMB2 */ ||
           type == 0x517BUL /* SMB */;
}

bool TKVDownLoad::UpgraderEnabled() {
    const auto key = kv::RegistryKey::openReadOnly(kv::HKEY_LOCAL_MACHINE, QString::fromLatin1(kUpgraderKey));
    if (!key) {
        AlertLog(kLogName, QStringLiteral("Read Upgrader Registry Error: No UPGRADER_REGISTRY_PATH"),
                 QStringLiteral("D"));
        return false;
    }
    return key->readString(QStringLiteral("GoAhead")).trimmed() == QLatin1String("1");
}

bool TKVDownLoad::AlertLog(const QString& name, const QString& message, const QString& period) {
    try {
        if (!QCoreApplication::instance()) return false;
        const kv::TDateTime now = kv::now();
        const QString p = period.trimmed().toUpper();
        const QString stamp = kv::formatDateTime(p == QLatin1String("M")   ? QStringLiteral("yyyymm")
                                                 : p == QLatin1String("Y") ? QStringLiteral("yyyy")
                                                                           : QStringLiteral("yyyymmdd"),
                                                 now);
        QString fileName = QStringLiteral("Alert_") + name + QLatin1Char('_') + stamp;
        if (!name.contains(QLatin1Char('.'))) fileName += QStringLiteral(".log");
        return kv::alertfile::appendLine(QCoreApplication::applicationDirPath(), fileName,
                                         kv::formatDateTime(QStringLiteral("yyyy/mm/dd hh:nn:ss:zzz"), now),
                                         message);
    } catch (const std::exception&) {
        return false;
    }
}

bool TKVDownLoad::RefreshFile(const QString& fileInfo, const QString& localFile, bool interactive,
                              QString& errorText) {
    errorText.clear();
    QString stamp, serverDir;
    ParseFileInfo(fileInfo, stamp, serverDir);
    if (!UpgraderEnabled()) return true;
    try {
        TKVDownLoad loader;
        if (!loader.CheckNewer(stamp, localFile)) return true;
        if (IsNetworkPath(localFile))
            throw EKvError(QStringLiteral("Net File can't update![%1]").arg(localFile));
        const QFileInfo local(localFile);
        QString source = serverDir;
        if (!source.isEmpty() && !source.endsWith(QLatin1Char('/')) && !source.endsWith(QLatin1Char('\\')))
            source += QLatin1Char('/');
        source += local.fileName().toLower() + QStringLiteral(".zip");
        const QString archive = GetLongTempPath() + local.fileName() + QStringLiteral(".zip");
        // Each step is repeated while the user asks for it; otherwise its failure ends the refresh.
        const auto attempt = [&](const QString& text, const std::function<bool(QString&)>& step) {
            for (;;) {
                QString why;
                if (step(why)) return;
                const QString message = text.arg(localFile, why);
                if (!interactive || KvMessageDlg(message, mtError, mbAbort | mbRetry) != mrRetry)
                    throw EKvError(message);
            }
        };
        attempt(QStringLiteral("DownLoad new file[%1] failed. %2"), [&](QString& why) {
            return loader.DownloadFile(source, archive, QStringLiteral("60"), QStringLiteral("PELD"), why);
        });
        attempt(QStringLiteral("Unzip new file[%1] failed. %2"),
                [&](QString& why) { return loader.UnzipFiles(archive, local.absolutePath(), why); });
        QFile::remove(archive);
        return true;
    } catch (const std::exception& e) {
        errorText = QString::fromUtf8(e.what());
        AlertLog(kLogName, errorText, QStringLiteral("D"));
        return false;
    }
}
