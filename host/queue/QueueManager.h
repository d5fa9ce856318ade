#pragma once
// The queue manager: the automation object "QueueManagerC.Class1" through which report forms open the
// report a job produced. OpenReport([[job identifier, identifier prefix + "0001", user, product], user,
// show]) answers 0 when the report was handed to the desktop's viewer, 1 when the job has no report
// file, 2 when the viewer could not be started, -1 for arguments it cannot read.
#include <functional>

#include "platform/ole/Dispatch.h"

class QUrl;

namespace tarnix {

class TQueueManager : public kv::DispatchObject {
public:
    // Opens a URL; the desktop's own handler by default.
    using TOpener = std::function<bool(const QUrl& url)>;

    explicit TQueueManager(TOpener opener = {});
    int OpenReport(const kv::Variant& job, const QString& user, bool show);

private:
    TOpener FOpener;
};

constexpr const char* kQueueManagerProgID = "QueueManagerC.Class1";
// Registers the queue manager under kQueueManagerProgID in this process; with an opener, every object
// opens through it instead of the desktop (tests, hosts without a desktop).
void registerQueueManagerClass(TQueueManager::TOpener opener = {});

} // namespace tarnix
