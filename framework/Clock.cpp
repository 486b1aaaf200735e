#include "framework/Clock.h"

#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace corvane {
namespace {

// The lead follows the wake-up delays seen: up three steps after a late wake, down one after an
// early one, which settles where about three wakes in four come early. An early wake spins for
// the rest; the cap bounds that spin whatever the machine did once.
constexpr std::int64_t kLeadStep = 5'000;
constexpr std::int64_t kFirstLead = 200'000;
constexpr std::int64_t kMaxLead = 1'000'000;

std::int64_t MonotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

QtClock::QtClock()
    : context_(std::make_unique<QObject>()),
      wakeLead_(kFirstLead),
      start_(QDateTime::currentMSecsSinceEpoch()) {}

QtClock::~QtClock() {
    for (auto& [token, timer] : exact_)
        Release(timer);
}

std::int64_t QtClock::Now() const {
    return QDateTime::currentMSecsSinceEpoch() - start_;
}

Clock::TimerToken QtClock::Schedule(int ms, Callback callback) {
    const TimerToken token = next_++;
    auto* timer = new QTimer(context_.get());
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, context_.get(),
                     [this, token, timer, cb = std::move(callback)]() mutable {
                         timers_.erase(token);
                         timer->deleteLater();
                         // The callback may schedule or cancel timers; it runs last.
                         Callback run = std::move(cb);
                         run();
                     });
    timers_[token] = timer;
    timer->start(ms < 0 ? 0 : ms);
    return token;
}

Clock::TimerToken QtClock::ScheduleExact(int ms, Callback callback) {
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) return Schedule(ms, std::move(callback));
    const std::int64_t now = MonotonicNs();
    ExactTimer timer;
    timer.fd = fd;
    timer.due = now + std::int64_t{std::max(ms, 0)} * 1'000'000;
    // Never zero: that would disarm the timer file.
    timer.armedFor = std::max(timer.due - wakeLead_, now + 1);
    timer.callback = std::move(callback);
    itimerspec at{};
    at.it_value.tv_sec = static_cast<time_t>(timer.armedFor / 1'000'000'000);
    at.it_value.tv_nsec = static_cast<long>(timer.armedFor % 1'000'000'000);
    if (::timerfd_settime(fd, TFD_TIMER_ABSTIME, &at, nullptr) != 0) {
        ::close(fd);
        return Schedule(ms, std::move(timer.callback));
    }
    const TimerToken token = next_++;
    timer.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context_.get());
    QObject::connect(timer.notifier, &QSocketNotifier::activated, context_.get(),
                     [this, token] { OnExactWake(token); });
    exact_.emplace(token, std::move(timer));
    return token;
}

void QtClock::OnExactWake(TimerToken token) {
    auto it = exact_.find(token);
    if (it == exact_.end()) return;
    ExactTimer timer = std::move(it->second);
    exact_.erase(it);
    Release(timer);
    const std::int64_t delay = MonotonicNs() - timer.armedFor;
    wakeLead_ = std::clamp(wakeLead_ + (delay > wakeLead_ ? 3 * kLeadStep : -kLeadStep),
                           std::int64_t{0}, kMaxLead);
    while (MonotonicNs() < timer.due) {
    }
    // The callback may schedule or cancel timers; it runs last.
    timer.callback();
}

void QtClock::Release(ExactTimer& timer) {
    // The notifier may be the one whose signal is being handled: it goes later, switched off.
    timer.notifier->setEnabled(false);
    timer.notifier->deleteLater();
    ::close(timer.fd);
}

void QtClock::Cancel(TimerToken token) {
    if (auto exact = exact_.find(token); exact != exact_.end()) {
        Release(exact->second);
        exact_.erase(exact);
        return;
    }
    auto it = timers_.find(token);
    if (it == timers_.end()) return;
    if (QObject* timer = it->second) {
        static_cast<QTimer*>(timer)->stop();
        timer->deleteLater();
    }
    timers_.erase(it);
}

void QtClock::Post(Callback callback) {
    QMetaObject::invokeMethod(context_.get(), std::move(callback), Qt::QueuedConnection);
}

Clock::TimerToken ManualClock::Schedule(int ms, Callback callback) {
    const TimerToken token = next_++;
    timers_[token] = Entry{now_ + (ms < 0 ? 0 : ms), token, std::move(callback)};
    return token;
}

void ManualClock::Cancel(TimerToken token) {
    timers_.erase(token);
}

void ManualClock::Post(Callback callback) {
    posted_.push_back(std::move(callback));
}

void ManualClock::RunPending() {
    if (delivering_) return;  // a posted call that delivers again: the outer pass goes on
    delivering_ = true;
    // Calls posted by a delivered call run in the same pass, after those already queued.
    for (std::size_t i = 0; i < posted_.size(); ++i) {
        Callback call = std::move(posted_[i]);
        call();
    }
    posted_.clear();
    delivering_ = false;
}

bool ManualClock::FireNextDue(std::int64_t limit) {
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.due > limit) continue;
        if (best == timers_.end() || it->second.due < best->second.due) best = it;
        // Equal deadlines keep the map's order, which is the scheduling order.
    }
    if (best == timers_.end()) return false;
    now_ = best->second.due;
    Callback call = std::move(best->second.callback);
    timers_.erase(best);
    call();
    RunPending();
    return true;
}

void ManualClock::Advance(std::int64_t ms) {
    const std::int64_t target = now_ + (ms < 0 ? 0 : ms);
    RunPending();
    while (FireNextDue(target)) {
    }
    now_ = target;
    RunPending();
}

bool ManualClock::AdvanceToNext() {
    const std::int64_t left = NextDeadlineIn();
    if (left < 0) return false;
    Advance(left);
    return true;
}

std::int64_t ManualClock::NextDeadlineIn() const {
    std::int64_t best = -1;
    for (const auto& [token, entry] : timers_) {
        if (best < 0 || entry.due < best) best = entry.due;
    }
    return best < 0 ? -1 : best - now_;
}

}  // namespace corvane
