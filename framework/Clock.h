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
#include <vector>

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
    void Cancel(TimerToken token) override;
    void Post(Callback callback) override;

private:
    std::unique_ptr<QObject> context_;  // owns the Qt timers; queued calls die with it
    std::map<TimerToken, QPointer<QObject>> timers_;
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
