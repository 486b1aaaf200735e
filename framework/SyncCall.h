#pragma once
// A worker thread's synchronous call onto the user-interface thread, as a window message sent
// across threads is: Invoke runs the function on the owner's thread and waits until it has run.
// While the owner itself waits for the worker to end, it releases the worker's pending call
// instead, so that neither waits for the other.

#include <QObject>
#include <QSocketNotifier>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace corvane {

class SyncCall {
public:
    // Calls run on the thread that constructs this object, from its event loop.
    SyncCall();
    ~SyncCall();
    SyncCall(const SyncCall&) = delete;
    SyncCall& operator=(const SyncCall&) = delete;

    // Worker thread: runs fn on the owner's thread and returns true once it has run, or false
    // without running it when the calls are released (now or while it waits).
    bool Invoke(const std::function<void()>& fn);

    // Owner thread: runs the calls that are waiting now; returns how many ran.
    int RunPending();
    // Owner thread: waiting and later calls return false without running, until Accept().
    void Release();
    void Accept();
    bool Released() const;

private:
    struct Call {
        const std::function<void()>* fn;
        bool running = false;  // a call that has started is waited for, released or not
        bool done = false;
    };

    // The owner is woken through a descriptor it watches rather than a posted event: a worker
    // that calls again at once would otherwise keep the owner's posted-event queue from ever
    // running dry, and nothing else (input, paint, timers) would get its turn.
    int wakeFd_ = -1;
    std::unique_ptr<QSocketNotifier> wake_;
    mutable std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<Call*> waiting_;
    bool released_ = false;
};

}  // namespace corvane
