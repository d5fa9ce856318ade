#include "gantt/phDoLater.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QEvent>
#include <QObject>
#include <exception>
#include <list>
#include <mutex>

namespace {

constexpr int WM_DOLATER = 40925;

QEvent::Type doLaterEventType() {
    return QEvent::Type(QEvent::User + WM_DOLATER);
}

struct TDoLaterRequest {
    TDoLaterProc Handler;
    void* Object;
    qintptr Param;
    qint64 Queued;
};

// The hidden receiver of the posted message; lives on the window thread.
class TDoLaterWindow : public QObject {
public:
    TDoLaterWindow() { setObjectName(QStringLiteral("TDoLaterWindow")); }
    bool event(QEvent* e) override {
        if (e->type() == doLaterEventType()) {
            RunDoLaterQueue();
            return true;
        }
        return QObject::event(e);
    }
};

struct TDoLaterQueue {
    // Recursive: the lock is held while a request runs, and a request may queue or cancel others.
    std::recursive_mutex Lock;
    // A list: cancelling in the middle must not move the running request.
    std::list<TDoLaterRequest> Requests;
    const TDoLaterRequest* Running = nullptr;
    TDoLaterWindow* Window = nullptr;
    bool ShutdownHooked = false;
};

TDoLaterQueue& queue() {
    static TDoLaterQueue q;
    return q;
}

void shutdownQueue() {
    // Whatever is still waiting runs once more before the window goes.
    RunDoLaterQueue();
    TDoLaterQueue& q = queue();
    std::lock_guard<std::recursive_mutex> guard(q.Lock);
    q.Requests.clear();
    delete q.Window;
    q.Window = nullptr;
    q.ShutdownHooked = false;
}

} // namespace

void DoLater(TDoLaterProc handler, void* object, qintptr param) {
    TDoLaterQueue& q = queue();
    std::lock_guard<std::recursive_mutex> guard(q.Lock);
    for (const TDoLaterRequest& r : q.Requests)
        if (r.Handler == handler && r.Object == object && r.Param == param && &r != q.Running) return;
    q.Requests.push_back({handler, object, param, QDateTime::currentMSecsSinceEpoch()});
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (!q.Window) {
        q.Window = new TDoLaterWindow;
        // Created on whatever thread asked first; it must receive on the window thread.
        if (q.Window->thread() != app->thread()) q.Window->moveToThread(app->thread());
    }
    if (!q.ShutdownHooked) {
        q.ShutdownHooked = true;
        qAddPostRoutine(shutdownQueue);
    }
    QCoreApplication::postEvent(q.Window, new QEvent(doLaterEventType()));
}

void CancelDoLater(TDoLaterProc handler, void* object) {
    TDoLaterQueue& q = queue();
    std::lock_guard<std::recursive_mutex> guard(q.Lock);
    for (auto it = q.Requests.begin(); it != q.Requests.end();) {
        if (it->Handler == handler && it->Object == object && &*it != q.Running)
            it = q.Requests.erase(it);
        else
            ++it;
    }
}

void RunDoLaterQueue() {
    TDoLaterQueue& q = queue();
    std::lock_guard<std::recursive_mutex> guard(q.Lock);
    // A nested run (a handler pumping events) leaves the running request to its caller.
    if (q.Running) return;
    while (!q.Requests.empty()) {
        TDoLaterRequest& first = q.Requests.front();
        q.Running = &first;
        const TDoLaterRequest r = first;
        // An exception must not escape into the event loop; the request is dropped like a finished one.
        try {
            r.Handler(r.Object, r.Param);
        } catch (const std::exception& e) {
            qWarning("DoLater request failed: %s", e.what());
        } catch (...) {
            qWarning("DoLater request failed");
        }
        q.Running = nullptr;
        q.Requests.pop_front();
    }
}

int DoLaterPending() {
    TDoLaterQueue& q = queue();
    std::lock_guard<std::recursive_mutex> guard(q.Lock);
    return int(q.Requests.size());
}
