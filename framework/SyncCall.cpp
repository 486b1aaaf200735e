#include "framework/SyncCall.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace corvane {

SyncCall::SyncCall() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd_ < 0) throw std::runtime_error("eventfd");
    wake_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
    QObject::connect(wake_.get(), &QSocketNotifier::activated, wake_.get(), [this] {
        std::uint64_t count;
        [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
        RunPending();
    });
}

SyncCall::~SyncCall() {
    Release();
    wake_.reset();
    ::close(wakeFd_);
}

bool SyncCall::Invoke(const std::function<void()>& fn) {
    Call call{&fn};
    {
        std::lock_guard lock(mutex_);
        if (released_) return false;
        waiting_.push_back(&call);
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return call.done || (released_ && !call.running); });
    if (call.done) return true;
    // Released before the owner took it up: it never runs.
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), &call), waiting_.end());
    return false;
}

int SyncCall::RunPending() {
    // Only the calls waiting now: a worker that calls again at once must not keep the owner here.
    std::size_t left;
    {
        std::lock_guard lock(mutex_);
        left = waiting_.size();
    }
    int ran = 0;
    for (; left > 0; --left) {
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
    return ran;
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
