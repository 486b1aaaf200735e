#include "link/BackgroundPass.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <utility>

namespace corvane {

BackgroundPass::~BackgroundPass() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void BackgroundPass::Request(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        waiting_ = std::move(job);
        ++requested_;
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_all();
}

bool BackgroundPass::WaitForLatestRequest(int timeoutMs) {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = requested_;
    return done_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return finished_ >= target; });
}

bool BackgroundPass::Ending() {
    std::lock_guard lock(mutex_);
    return stop_;
}

void BackgroundPass::Run() {
    // The worker gives way to every other thread that wants its processor, the user-interface
    // thread above all. Under full load it still gets a small share, so its passes come late
    // rather than never.
    const sched_param idle{};
    ::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &idle);
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || waiting_; });
        if (stop_) return;
        std::function<void()> job = std::exchange(waiting_, nullptr);
        // Every request made up to here is answered by this job.
        const std::uint64_t taking = requested_;
        lock.unlock();
        job();
        lock.lock();
        finished_ = taking;
        done_.notify_all();
    }
}

}  // namespace corvane
