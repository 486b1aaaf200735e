#include "link/BackgroundPass.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
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

TEST(BackgroundPass, TheEndLetsTheRunningJobFinishAndDropsTheWaitingOne) {
    Gate gate;
    std::atomic<bool> firstDone{false};
    std::atomic<bool> secondRan{false};
    std::thread opener;
    {
        BackgroundPass pass;
        pass.Request([&] {
            gate.Wait();
            firstDone = true;
        });
        gate.WaitEntered();
        pass.Request([&] { secondRan = true; });
        opener = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            gate.Open();
        });
    }
    opener.join();
    EXPECT_TRUE(firstDone);
    EXPECT_FALSE(secondRan);
}

}  // namespace
}  // namespace corvane
