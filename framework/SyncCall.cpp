#include "framework/SyncCall.h"

#include <algorithm>

namespace corvane {

SyncCall::SyncCall() : context_(std::make_unique<QObject>()) {}

SyncCall::~SyncCall() {
    Release();
}

bool SyncCall::Invoke(const std::function<void()>& fn) {
    Call call{&fn};
    {
        std::lock_guard lock(mutex_);
        if (released_) return false;
        waiting_.push_back(&call);
    }
    QMetaObject::invokeMethod(
        context_.get(), [this] { RunPending(); }, Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return call.done || (released_ && !call.running); });
    if (call.done) return true;
    // Released before the owner took it up: it never runs.
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), &call), waiting_.end());
    return false;
}

int SyncCall::RunPending() {
    int ran = 0;
    for (;;) {
        Call* call = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (released_ || waiting_.empty()) return ran;
            call = waiting_.front();
            waiting_.pop_front();
            call->running = true;
        }
        // The worker waits for done, so the call and its function stay alive meanwhile.
        (*call->fn)();
        ++ran;
        {
            std::lock_guard lock(mutex_);
            call->done = true;
        }
        finished_.notify_all();
    }
}

void SyncCall::Release() {
    {
        std::lock_guard lock(mutex_);
        released_ = true;
    }
    finished_.notify_all();
}

void SyncCall::Accept() {
    std::lock_guard lock(mutex_);
    released_ = false;
}

bool SyncCall::Released() const {
    std::lock_guard lock(mutex_);
    return released_;
}

}  // namespace corvane
