#include "link/BackgroundPass.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <latch>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane {
namespace {

// Holds the worker inside a job until the test lets it go.
class Gate {
public:
    void Wait() {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
    }
    void WaitEntered() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return entered_; });
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool open_ = false;
};

TEST(BackgroundPass, RequestsMadeDuringAJobFoldIntoTheLatest) {
    Gate gate;
    std::mutex ranMutex;
    std::vector<int> ran;
    BackgroundPass pass;
    pass.Request([&] { gate.Wait(); });
    gate.WaitEntered();
    for (int i = 1; i <= 5; ++i) {
        pass.Request([&, i] {
            std::lock_guard lock(ranMutex);
            ran.push_back(i);
        });
    }
    EXPECT_FALSE(pass.WaitForLatestRequest(20));  // the first job still holds the worker
    gate.Open();
    ASSERT_TRUE(pass.WaitForLatestRequest(10000));
    std::lock_guard lock(ranMutex);
    EXPECT_EQ(ran, std::vector<int>{5});
}

TEST(BackgroundPass, TheJobsRunOffTheCallersThread) {
    BackgroundPass pass;
    EXPECT_TRUE(pass.WaitForLatestRequest(0));  // nothing asked yet
    std::thread::id ranOn;
    pass.Request([&] { ranOn = std::this_thread::get_id(); });
    ASSERT_TRUE(pass.WaitForLatestRequest(10000));
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

// The running job lasts until the end has begun, so the waiting job cannot start before it.
TEST(BackgroundPass, TheEndLetsTheRunningJobFinishAndDropsTheWaitingOne) {
    std::latch entered{1};
    std::atomic<bool> sawEnd{false};
    std::atomic<bool> firstDone{false};
    std::atomic<bool> secondRan{false};
    {
        BackgroundPass pass;
        pass.Request([&] {
            entered.count_down();
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!pass.Ending() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            sawEnd = pass.Ending();
            firstDone = true;
        });
        entered.wait();
        pass.Request([&] { secondRan = true; });
    }
    EXPECT_TRUE(sawEnd);
    EXPECT_TRUE(firstDone);
    EXPECT_FALSE(secondRan);
}

}  // namespace
}  // namespace corvane
