#include "framework/Clock.h"
#include "framework/WindowTimers.h"

#include <gtest/gtest.h>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace corvane {
namespace {

TEST(ManualClock, FiresDueTimersInDeadlineOrderWithTiesInSchedulingOrder) {
    ManualClock clock;
    std::vector<std::string> fired;
    clock.Schedule(300, [&] { fired.push_back("c300"); });
    clock.Schedule(100, [&] { fired.push_back("a100"); });
    clock.Schedule(200, [&] { fired.push_back("b200-first"); });
    clock.Schedule(200, [&] { fired.push_back("b200-second"); });
    clock.Schedule(301, [&] { fired.push_back("late"); });

    clock.Advance(300);
    EXPECT_EQ(fired, (std::vector<std::string>{"a100", "b200-first", "b200-second", "c300"}));
    EXPECT_EQ(clock.Now(), 300);
    clock.Advance(1);
    EXPECT_EQ(fired.back(), "late");
}

TEST(ManualClock, NowDuringAFiringIsTheTimersDeadline) {
    ManualClock clock;
    std::int64_t seen = -1;
    clock.Schedule(70, [&] { seen = clock.Now(); });
    clock.Advance(1000);
    EXPECT_EQ(seen, 70);
    EXPECT_EQ(clock.Now(), 1000);
}

TEST(ManualClock, DeliversPostedCallsBetweenFiringsInPostingOrder) {
    ManualClock clock;
    std::vector<std::string> log;
    clock.Schedule(10, [&] {
        log.push_back("timer1");
        clock.Post([&] {
            log.push_back("post-from-timer1");
            clock.Post([&] { log.push_back("post-from-post"); });
        });
    });
    clock.Schedule(10, [&] { log.push_back("timer2"); });
    clock.Post([&] { log.push_back("before-any-timer"); });

    clock.Advance(10);
    EXPECT_EQ(log, (std::vector<std::string>{"before-any-timer", "timer1", "post-from-timer1",
                                             "post-from-post", "timer2"}));
    EXPECT_EQ(clock.PendingCount(), 0u);
}

TEST(ManualClock, TimerScheduledByAFiringFallsDueInTheSameAdvance) {
    ManualClock clock;
    std::vector<std::int64_t> at;
    clock.Schedule(50, [&] {
        at.push_back(clock.Now());
        clock.Schedule(50, [&] { at.push_back(clock.Now()); });
    });
    clock.Advance(100);
    EXPECT_EQ(at, (std::vector<std::int64_t>{50, 100}));
}

TEST(ManualClock, CancelledTimerNeverFires) {
    ManualClock clock;
    bool fired = false;
    const auto token = clock.Schedule(5, [&] { fired = true; });
    clock.Cancel(token);
    clock.Advance(100);
    EXPECT_FALSE(fired);
    EXPECT_EQ(clock.NextDeadlineIn(), -1);
}

TEST(ManualClock, AdvanceToNextStopsAtTheNextDeadline) {
    ManualClock clock;
    int count = 0;
    clock.Schedule(3000, [&] { ++count; });
    clock.Schedule(6000, [&] { ++count; });
    EXPECT_TRUE(clock.AdvanceToNext());
    EXPECT_EQ(clock.Now(), 3000);
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(clock.AdvanceToNext());
    EXPECT_FALSE(clock.AdvanceToNext());
    EXPECT_EQ(count, 2);
}

class WindowTimersTest : public ::testing::Test {
protected:
    ManualClock clock;
    std::vector<std::pair<int, std::int64_t>> fired;
    WindowTimers timers{clock, [this](int id) { fired.emplace_back(id, clock.Now()); }};
};

TEST_F(WindowTimersTest, RepeatsUntilKilled) {
    timers.SetTimer(1, 600);
    clock.Advance(1800);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[2], std::make_pair(1, std::int64_t{1800}));
    timers.KillTimer(1);
    clock.Advance(6000);
    EXPECT_EQ(fired.size(), 3u);
    EXPECT_FALSE(timers.IsRunning(1));
}

TEST_F(WindowTimersTest, SettingARunningIdRestartsIt) {
    timers.SetTimer(1000, 7000);
    clock.Advance(5000);
    timers.SetTimer(1000, 7000);
    clock.Advance(6999);
    EXPECT_TRUE(fired.empty());
    clock.Advance(1);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].second, 12000);
}

TEST_F(WindowTimersTest, HandlerThatKillsItsTimerStopsTheRepeat) {
    WindowTimers oneShot(clock, [&](int id) {
        fired.emplace_back(id, clock.Now());
        oneShot.KillTimer(id);
    });
    oneShot.SetTimer(4000, 3000);
    clock.Advance(30000);
    EXPECT_EQ(fired.size(), 1u);
}

TEST_F(WindowTimersTest, HandlerThatRestartsAnotherPeriodKeepsTheNewPeriod) {
    WindowTimers chain(clock, [&](int id) {
        fired.emplace_back(id, clock.Now());
        chain.KillTimer(id);
        if (id == 3000) chain.SetTimer(4006, 3000);
    });
    chain.SetTimer(3000, 50);
    clock.Advance(3050);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[0], std::make_pair(3000, std::int64_t{50}));
    EXPECT_EQ(fired[1], std::make_pair(4006, std::int64_t{3050}));
}

TEST_F(WindowTimersTest, DestroyingTheSetCancelsItsTimers) {
    {
        WindowTimers gone(clock, [&](int id) { fired.emplace_back(id, clock.Now()); });
        gone.SetTimer(7, 10);
    }
    clock.Advance(100);
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(clock.ScheduledCount(), 0u);
}

std::ptrdiff_t OpenFiles() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
}

// The pauses the device needs are minimums: an exact timer may spin to its deadline, but must
// never run its callback before it.
TEST(QtClock, ExactTimersNeverFireEarlyAndLeaveNothingOpen) {
    using Steady = std::chrono::steady_clock;
    const std::ptrdiff_t filesBefore = OpenFiles();
    std::vector<Steady::duration> early;
    int fired = 0;
    int cancelledFired = 0;
    {
        QtClock clock;
        QEventLoop loop;
        const Clock::TimerToken cancelled = clock.ScheduleExact(5, [&] { ++cancelledFired; });
        const std::vector<int> periods = {0, 1, 3, 10, 20, 20};
        for (int ms : periods) {
            const Steady::time_point due = Steady::now() + std::chrono::milliseconds(ms);
            clock.ScheduleExact(ms, [&, due] {
                if (Steady::now() < due) early.push_back(due - Steady::now());
                if (++fired == static_cast<int>(periods.size())) loop.quit();
            });
        }
        clock.Cancel(cancelled);
        // Still pending when the clock goes: never runs, and its timer file is closed.
        clock.ScheduleExact(60000, [&] { ++cancelledFired; });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_EQ(fired, 6);
    EXPECT_TRUE(early.empty());
    EXPECT_EQ(cancelledFired, 0);
    EXPECT_EQ(OpenFiles(), filesBefore);
}

}  // namespace
}  // namespace corvane
