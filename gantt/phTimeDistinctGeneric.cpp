#include "gantt/phTimeDistinctGeneric.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/KvError.h"

namespace {
std::atomic<int> gWorkerCount{0};
}

bool TTimeDistinctGeneric::Collide(const TDistinctTimeHolder& a, const TDistinctTimeHolder& b) {
    return &a != &b && a.Key == b.Key && a.Start < b.Stop && b.Start < a.Stop;
}

void TTimeDistinctGeneric::Assign(std::vector<TDistinctTimeHolder>& holders,
                                  const std::atomic<bool>* terminated) {
    try {
        for (TDistinctTimeHolder& h : holders)
            h.Band = 0;
        std::vector<std::vector<int>> bands;
        auto place = [&](int x) {
            TDistinctTimeHolder& h = holders[size_t(x)];
            if (h.Band != 0) return;
            for (size_t b = 0; b < bands.size(); ++b) {
                bool free = true;
                for (int m : bands[b])
                    if (Collide(h, holders[size_t(m)])) {
                        free = false;
                        break;
                    }
                if (free) {
                    bands[b].push_back(x);
                    h.Band = int(b) + 1;
                    return;
                }
            }
            bands.push_back({x});
            h.Band = int(bands.size());
        };
        const int n = int(holders.size());
        for (int x = n - 1; x >= 0; --x)
            for (int y = n - 1; y >= 0; --y) {
                if (terminated && terminated->load()) return;
                if (!Collide(holders[size_t(x)], holders[size_t(y)])) continue;
                place(x);
                place(y);
            }
    } catch (const std::exception& e) {
        throw EKvError(std::string("ConflictLoop:") + e.what());
    }
}

struct TTimeDistinctGenericThread::State {
    std::mutex Lock;
    std::atomic<bool> Terminated{false};
    std::atomic<bool> Finished{false};
    std::vector<TDistinctTimeHolder> Holders;
    // Cleared when the owner detaches; read under Lock on the window thread.
    TTimeDistinctGenericThread* Owner = nullptr;
    State() { ++gWorkerCount; }
    ~State() { --gWorkerCount; }
};

TTimeDistinctGenericThread::TTimeDistinctGenericThread() : FState(std::make_shared<State>()) {
    FState->Owner = this;
}

TTimeDistinctGenericThread::~TTimeDistinctGenericThread() {
    Terminate();
}

void TTimeDistinctGenericThread::Terminate() {
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Terminated = true;
    FState->Owner = nullptr;
}

bool TTimeDistinctGenericThread::Finished() const {
    return FState->Finished;
}

int TTimeDistinctGenericThread::WorkerCount() {
    return gWorkerCount;
}

static void showError(const QString& text) {
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread() &&
        qEnvironmentVariableIsEmpty("TARNIX_NO_MESSAGEBOX"))
        QMessageBox::warning(nullptr, QString(), text);
    else
        qWarning("%s", qPrintable(text));
}

void TTimeDistinctGenericThread::Start() {
    FState->Holders = Holders;
    std::shared_ptr<State> state = FState;
    std::thread([state] {
        try {
            TTimeDistinctGeneric::Assign(state->Holders, &state->Terminated);
        } catch (const std::exception& e) {
            const QString text =
                QStringLiteral("TTimeDistinctGenericThread.Execute ") + QString::fromUtf8(e.what());
            state->Finished = true;
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(
                    app, [text] { showError(text); }, Qt::QueuedConnection);
            return;
        }
        if (!state->Terminated)
            if (QCoreApplication* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(
                    app,
                    [state] {
                        // The owner may have been cancelled while the call waited in the queue.
                        TTimeDistinctGenericThread* owner = nullptr;
                        {
                            std::lock_guard<std::mutex> guard(state->Lock);
                            if (!state->Terminated) owner = state->Owner;
                        }
                        state->Finished = true;
                        // The handler usually releases the worker: call a copy.
                        if (owner && owner->OnDone) {
                            const TDoneHandler done = owner->OnDone;
                            done(owner, state->Holders);
                        }
                    },
                    Qt::BlockingQueuedConnection);
        state->Finished = true;
    }).detach();
}
