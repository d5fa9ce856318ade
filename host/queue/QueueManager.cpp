#include "host/queue/QueueManager.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "optionforms/BaseRptServer.h"

namespace tarnix {

TQueueManager::TQueueManager(TOpener opener) : FOpener(std::move(opener)) {
    if (!FOpener) FOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    addMember("OpenReport", [this](kv::VariantArgs& a) {
        if (a.size() < 1) return kv::Variant(-1);
        const QString user = a.size() > 1 ? kv::varToStr(a[1]) : QString();
        const bool show = a.size() < 3 || a[2].isEmptyOrNull() || a[2].toBool();
        return kv::Variant(OpenReport(a[0], user, show));
    });
}

int TQueueManager::OpenReport(const kv::Variant& job, const QString& user, bool show) {
    Q_UNUSED(user); // one report directory serves every user of the installation
    if (!job.isArray() || job.elementCount() < 1) return -1;
    const kv::Variant& first = job.at(job.lowBound());
    if (first.isArray()) return -1;
    // The identifier comes from the caller: only a plain name inside the report directory is opened.
    const QString file = ReportFileName(kv::varToStr(first));
    if (file.isEmpty() || !QFileInfo(file).isFile()) return 1;
    if (!show) return 0;
    return FOpener(QUrl::fromLocalFile(file)) ? 0 : 2;
}

void registerQueueManagerClass(TQueueManager::TOpener opener) {
    kv::ObjectRegistry::registerClass(kQueueManagerProgID, [opener]() -> kv::DispatchPtr {
        return std::make_shared<TQueueManager>(opener);
    });
}

} // namespace tarnix
