// The workstation report run of the general option form: finds the program's server library in the
// server program directories, loads it and runs its controller.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <dlfcn.h>
#include <memory>

#include "optionforms/BaseGene.h"
#include "optionforms/BaseRptServer.h"
#include "optionforms/KVDownLoad.h"
#include "support/StewardINI.h"

namespace {

// The first directory that holds the library; server package folders come after the listed ones.
QString findServerLibrary(const QString& fileName) {
    const TStewardIniS settings;
    QStringList dirs = settings.WorkDLLPaths;
    if (!settings.InstallPath.isEmpty()) {
        const QString package = settings.InstallPath + QStringLiteral("S_PKG/");
        if (!dirs.contains(package)) dirs << package;
    }
    for (const QString& dir : std::as_const(dirs)) {
        if (!dir.contains(QStringLiteral("S_PKG"), Qt::CaseInsensitive) && !QFileInfo(dir).isDir()) continue;
        const QString candidate = dir + fileName;
        if (QFileInfo(candidate).isFile()) return candidate;
    }
    return {};
}

// Libraries stay loaded: controllers and the objects they made may outlive one run.
void* loadLibrary(const QString& path, QString& error) {
    static QHash<QString, void*> loaded;
    if (void* handle = loaded.value(path)) return handle;
    void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = why ? QString::fromLocal8Bit(why) : path;
        return nullptr;
    }
    loaded.insert(path, handle);
    return handle;
}

} // namespace

bool TfrmBaseGene::SubmitReport(const QString& jobId, const QString& programCode, const QString& jobPrefix,
                                int runKind, const kv::Variant& values, const QString& dbName,
                                const QString& formType, const QString& serverProgId, const QString& userId,
                                const QString& companyId, const QString& extName) {
    Q_UNUSED(serverProgId);
    QCoreApplication::processEvents();
    try {
        const QString fileName = programCode.trimmed() + QStringLiteral("S.so");
        const QString library = findServerLibrary(fileName);
        if (library.isEmpty()) {
            RecordError(QString("%1 is in none of the server program directories").arg(fileName));
            return false;
        }
        // The host knows the server's copy of program files; a newer one replaces ours first. When that
        // fails the local copy still runs (the download has logged why).
        if (Host()) {
            try {
                const QString info =
                    kv::varToStr(Host()->call("GetFileList", {kv::Variant::arrayOf({fileName.toLower()})}));
                QString refreshError;
                if (!info.trimmed().isEmpty())
                    TKVDownLoad::RefreshFile(info, library, Interactive(), refreshError);
            } catch (const std::exception&) {
            }
        }
        QString error;
        void* handle = loadLibrary(library, error);
        if (!handle) {
            RecordError(QString("Cannot load %1: %2").arg(library, error));
            return false;
        }
        const auto get = reinterpret_cast<TGetSvrController>(dlsym(handle, "GetSvrController"));
        if (!get) {
            RecordError(QString("%1 does not export GetSvrController").arg(library));
            return false;
        }
        std::unique_ptr<TSvrController> controller(get());
        if (!controller) throw EKvError(QString("GetSvrController of %1 gave no controller").arg(library));
        const QString kind = formType.trimmed().toUpper();
        const kv::Variant params =
            kind != QLatin1String("B")
                ? kv::Variant::arrayOf({jobId, extName, companyId, userId, dbName, values, runKind, kind,
                                        jobPrefix, ProductID(), Labelled(), GetUICodePage()})
                : kv::Variant::arrayOf({jobId, companyId, userId, values, dbName, jobPrefix, ProductID()});
        const int result = controller->Run(params);
        const QString text = controller->MessageText();
        if (!text.trimmed().isEmpty())
            RecordError(text);
        else if (result != 0)
            RecordError(QString("%1 could not produce the report (%2)").arg(library).arg(result));
        // A run that failed is a failure, whatever the controller had to say about it.
        return result == 0;
    } catch (const std::exception& e) {
        RecordError(QString::fromUtf8(e.what()));
        return false;
    }
}
