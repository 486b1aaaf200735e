// A worker's synchronous call onto the owner's thread, and its release while the owner waits
// for the worker: the owner must be able to end a worker that is blocked handing it something.
#include "framework/SyncCall.h"
#include "tests/support/Pump.h"

#include <gtest/gtest.h>
#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <thread>

namespace corvane {
namespace {

using test::PumpUntil;

TEST(SyncCall, RunsOnTheOwnersThreadAndTheWorkerWaitsForIt) {
    SyncCall call;
    std::atomic<bool> returned{false};
    std::atomic<bool> result{false};
    std::thread::id ranOn;
    int value = 0;
    int seenByWorker = -1;
    std::thread worker([&] {
        result = call.Invoke([&] {
            ranOn = std::this_thread::get_id();
            value = 42;
        });
        seenByWorker = value;
        returned = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(seenByWorker, 42);
}

TEST(SyncCall, CallsRunInTheOrderTheyWereMade) {
    SyncCall call;
    std::vector<int> order;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            call.Invoke([&order, i] { order.push_back(i); });
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
}

TEST(SyncCall, ReleaseLetsABlockedWorkerEndWithoutRunningItsCall) {
    SyncCall call;
    std::atomic<bool> started{false};
    bool ran = false;
    bool result = true;
    std::thread worker([&] {
        started = true;
        result = call.Invoke([&] { ran = true; });
    });
    while (!started)
        std::this_thread::yield();
    // The owner waits for the worker without processing events, as a reopen does.
    call.Release();
    worker.join();
    EXPECT_FALSE(result);
    // The queued run that was posted for it finds nothing to do.
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(call.Invoke([&] { ran = true; }));  // still released: refused at once
    EXPECT_FALSE(ran);
}

TEST(SyncCall, AcceptTakesCallsAgain) {
    SyncCall call;
    call.Release();
    call.Accept();
    std::atomic<bool> result{false};
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        result = call.Invoke([] {});
        returned = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(result);
}

TEST(SyncCall, ACallThatReleasesWhileRunningStillCountsAsRun) {
    SyncCall call;
    std::atomic<bool> returned{false};
    bool result = false;
    int after = 0;
    std::thread worker([&] {
        result = call.Invoke([&] {
            call.Release();
            after = 1;  // the worker must not return before this
        });
        returned = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(after, 1);
}

TEST(SyncCall, RunPendingServesAWaitingCallWithoutTheEventLoop) {
    SyncCall call;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        call.Invoke([] {});
        returned = true;
    });
    int ran = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ran == 0 && std::chrono::steady_clock::now() < end)
        ran = call.RunPending();
    worker.join();
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(returned);
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

// A worker that calls again the moment its last call returns must not starve the owner's other
// work: a processEvents with a time limit returns, and the owner's timers still fire.
TEST(SyncCall, AWorkerThatNeverPausesLeavesTheOwnerItsOtherEvents) {
    SyncCall call;
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    // An owner kept in one dispatch for good gets out once the worker gives up, and fails below
    // instead of hanging the run.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::thread worker([&] {
        while (!stop && std::chrono::steady_clock::now() < giveUp) {
            call.Invoke([&] {
                ++calls;
                // What the received bytes lead to posts events of its own (text layout, send
                // requests), so the owner's event queue is never empty when the next call comes.
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [] {
                        const auto until =
                            std::chrono::steady_clock::now() + std::chrono::microseconds(1000);
                        while (std::chrono::steady_clock::now() < until) {
                        }
                    },
                    Qt::QueuedConnection);
            });
        }
    });
    // Each processEvents with a 5 ms limit must come back, however busy the worker is. It takes
    // a few milliseconds here; the bound leaves room for a loaded machine that keeps this thread
    // off its processor for a while.
    using Clock = std::chrono::steady_clock;
    Clock::duration longest{};
    const auto end = Clock::now() + std::chrono::milliseconds(1500);
    while (Clock::now() < end) {
        const auto before = Clock::now();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        longest = std::max(longest, Clock::now() - before);
    }
    stop = true;
    call.Release();
    worker.join();
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(longest).count(), 5000);
    EXPECT_GT(calls.load(), 0);
}

}  // namespace
}  // namespace corvane
