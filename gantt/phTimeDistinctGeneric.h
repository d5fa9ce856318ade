#pragma once
// Collision layout of a row: items whose times overlap are spread over bands so that none covers
// another. The assignment runs on a worker thread over copies of the items' times.
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class TphDataEntity_GantTime;

struct TDistinctTimeHolder {
    double Start = 0;
    double Stop = 0;
    QString Key;
    int Band = 0;
    // Only carried back to the window thread; the worker never touches it.
    TphDataEntity_GantTime* Item = nullptr;
};

class TTimeDistinctGeneric {
public:
    // Two holders collide when their keys match and each starts before the other ends.
    static bool Collide(const TDistinctTimeHolder& a, const TDistinctTimeHolder& b);
    // Gives every colliding holder a band from 1 on; the others keep 0. Stops early when
    // terminated becomes true. Errors come back prefixed "ConflictLoop:".
    static void Assign(std::vector<TDistinctTimeHolder>& holders,
                       const std::atomic<bool>* terminated = nullptr);
};

// One worker: runs the assignment on its own thread and hands the result to the window thread by a
// synchronous call. Cancelling only detaches the result; the thread ends on its own.
class TTimeDistinctGenericThread {
public:
    using TDoneHandler = std::function<void(TTimeDistinctGenericThread*, std::vector<TDistinctTimeHolder>&)>;

    TTimeDistinctGenericThread();
    // Detaches the result handler and terminates the thread if it still runs.
    ~TTimeDistinctGenericThread();

    std::vector<TDistinctTimeHolder> Holders;
    TDoneHandler OnDone;

    // Starts the thread (the object is created suspended).
    void Start();
    bool Finished() const;
    void Terminate();

    // Workers whose thread or object still exist, process-wide.
    static int WorkerCount();
    static constexpr int MaxWorkers = 50;

private:
    struct State;
    std::shared_ptr<State> FState;
};
