#include "host/queue/QueueManager.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "optionforms/BaseRptServer.h"

namespace tarnix {

TQueueManager::TQueueManager(TOpener Opener) : FOpener(std::move(Opener)) {
    if (!FOpener) FOpener = [](const QUrl& Url) { return QDesktopServices::openUrl(Url); };
    addMember("OpenReport", [this](kv::VariantArgs& a) {
        if (a.size() < 1) return kv::Variant(-1);
        const QString user = a.size() > 1 ? kv::varToStr(a[1]) : QString();
        const bool show = a.size() < 3 || a[2].isEmptyOrNull() || a[2].toBool();
        return kv::Variant(OpenReport(a[0], user, show));
    });
}

int TQueueManager::OpenReport(const kv::Variant& Job, const QString& User, bool Show) {
    Q_UNUSED(User); // one report directory serves every user of the installation
    if (!Job.isArray() || Job.elementCount() < 1) return -1;
    const kv::Variant& first = Job.at(Job.lowBound());
    if (first.isArray()) return -1;
    // The identifier comes from the caller: only a plain name inside the report directory is opened.
    const QString file = ReportFileName(kv::varToStr(first));
    if (file.isEmpty() || !QFileInfo(file).isFile()) return 1;
    if (!Show) return 0;
    return FOpener(QUrl::fromLocalFile(file)) ? 0 : 2;
}

void registerQueueManagerClass(TQueueManager::TOpener Opener) {
    kv::ObjectRegistry::registerClass(kQueueManagerProgID, [Opener]() -> kv::DispatchPtr {
        return std::make_shared<TQueueManager>(Opener);
    });
}

} // namespace tarnix
