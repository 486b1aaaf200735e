#pragma once
// One worker thread for work that must stay off the user-interface thread and whose latest
// request is all that matters: a request made while the worker is busy replaces any request
// still waiting, so a slow pass never builds up a queue behind it. The thread starts with the
// first request and runs at idle priority; the destructor lets a running job end and drops one
// that has not started.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace corvane {

class BackgroundPass {
public:
    BackgroundPass() = default;
    BackgroundPass(const BackgroundPass&) = delete;
    BackgroundPass& operator=(const BackgroundPass&) = delete;
    ~BackgroundPass();

    void Request(std::function<void()> job);

    // Waits until the job of the latest request so far has run, or one that replaced it.
    bool WaitForLatestRequest(int timeoutMs);

    // True once the pass is being ended: a long job may ask, and cut itself short.
    bool Ending();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::function<void()> waiting_;
    std::uint64_t requested_ = 0;
    std::uint64_t finished_ = 0;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace corvane
