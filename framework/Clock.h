#pragma once
// The time base and the queue of posted calls that every window of the program runs on.
// The program uses QtClock (Qt timers and queued calls on the event loop); tests use ManualClock,
// which moves time only when told to and so makes every protocol time-out testable without sleeps.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

class QSocketNotifier;

namespace corvane {

class Clock {
public:
    using Callback = std::function<void()>;
    using TimerToken = std::uint64_t;

    virtual ~Clock() = default;

    // Milliseconds since an arbitrary start.
    virtual std::int64_t Now() const = 0;
    // Runs the callback once, after ms milliseconds, unless cancelled before.
    virtual TimerToken Schedule(int ms, Callback callback) = 0;
    // Like Schedule, for a wait that the device needs as a minimum and that comes round often
    // enough for its lateness to add up (the pauses of a firmware upload): the callback runs no
    // earlier than ms milliseconds from now, and as close to that as the machine allows.
    virtual TimerToken ScheduleExact(int ms, Callback callback) {
        return Schedule(ms, std::move(callback));
    }
    virtual void Cancel(TimerToken token) = 0;
    // A posted message: runs the callback after the current handler has returned, in posting order.
    // Only the user-interface thread posts.
    virtual void Post(Callback callback) = 0;
};

class QtClock final : public Clock {
public:
    QtClock();
    ~QtClock() override;

    std::int64_t Now() const override;
    TimerToken Schedule(int ms, Callback callback) override;
    // One timer file, armed ahead of the earliest deadline by about as long as waking up takes
    // here, and a short spin for what is left: a Qt timer wakes in whole milliseconds, and on a
    // busy or virtual machine a wake-up is often a quarter of a millisecond late.
    TimerToken ScheduleExact(int ms, Callback callback) override;
    void Cancel(TimerToken token) override;
    void Post(Callback callback) override;

private:
    struct ExactTimer {
        std::int64_t due;  // monotonic nanoseconds
        Callback callback;
    };
    void OnExactWake();
    std::map<TimerToken, ExactTimer>::iterator EarliestExact();
    // Sets the timer file for the earliest exact deadline, or clears it when none is left.
    void ArmExact();

    std::unique_ptr<QObject> context_;  // owns the Qt timers; queued calls die with it
    std::map<TimerToken, QPointer<QObject>> timers_;
    std::map<TimerToken, ExactTimer> exact_;
    int exactFd_ = -1;
    QSocketNotifier* exactNotifier_ = nullptr;  // owned by context_
    std::int64_t armedFor_ = 0;                 // when the timer file goes off; 0: not set
    std::int64_t wakeLead_;                     // how far ahead of a deadline it is set
    TimerToken next_ = 1;
    std::int64_t start_;
};

// Time stands still until Advance(). Due timers fire in deadline order (ties in the order they
// were scheduled); posted calls are delivered before the first timer and after every firing.
class ManualClock final : public Clock {
public:
    std::int64_t Now() const override { return now_; }
    TimerToken Schedule(int ms, Callback callback) override;
    void Cancel(TimerToken token) override;
    void Post(Callback callback) override;

    // Moves time forward by ms, firing what falls due on the way.
    void Advance(std::int64_t ms);
    // Delivers posted calls (including those posted meanwhile) without moving time.
    void RunPending();
    // Advances to the next deadline, if any, firing it. Returns false when no timer is scheduled.
    bool AdvanceToNext();

    std::size_t ScheduledCount() const { return timers_.size(); }
    std::size_t PendingCount() const { return posted_.size(); }
    // Time left until the next deadline, or -1 when nothing is scheduled.
    std::int64_t NextDeadlineIn() const;

private:
    struct Entry {
        std::int64_t due;
        TimerToken order;
        Callback callback;
    };
    bool FireNextDue(std::int64_t limit);

    std::int64_t now_ = 0;
    TimerToken next_ = 1;
    std::map<TimerToken, Entry> timers_;
    std::vector<Callback> posted_;
    bool delivering_ = false;
};

}  // namespace corvane
