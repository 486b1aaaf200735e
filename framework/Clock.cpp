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
      start_(QDateTime::currentMSecsSinceEpoch()) {
    // Without a timer file, exact timers are ordinary ones.
    exactFd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (exactFd_ < 0) return;
    exactNotifier_ = new QSocketNotifier(exactFd_, QSocketNotifier::Read, context_.get());
    QObject::connect(exactNotifier_, &QSocketNotifier::activated, context_.get(),
                     [this] { OnExactWake(); });
}

QtClock::~QtClock() {
    if (exactFd_ < 0) return;
    exactNotifier_->setEnabled(false);
    ::close(exactFd_);
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
    if (exactFd_ < 0) return Schedule(ms, std::move(callback));
    const TimerToken token = next_++;
    exact_[token] =
        ExactTimer{MonotonicNs() + std::int64_t{std::max(ms, 0)} * 1'000'000, std::move(callback)};
    ArmExact();
    return token;
}

std::map<Clock::TimerToken, QtClock::ExactTimer>::iterator QtClock::EarliestExact() {
    return std::min_element(exact_.begin(), exact_.end(), [](const auto& a, const auto& b) {
        return a.second.due < b.second.due;
    });
}

void QtClock::ArmExact() {
    const auto first = EarliestExact();
    // A deadline closer than the lead is set for now, never in the past, so that every wake-up
    // tells how long waking takes.
    const std::int64_t target =
        first == exact_.end() ? 0 : std::max(first->second.due - wakeLead_, MonotonicNs());
    if (target == armedFor_) return;
    armedFor_ = target;
    itimerspec at{};
    at.it_value.tv_sec = static_cast<time_t>(target / 1'000'000'000);
    at.it_value.tv_nsec = static_cast<long>(target % 1'000'000'000);
    ::timerfd_settime(exactFd_, TFD_TIMER_ABSTIME, &at, nullptr);
}

// One deadline per wake-up, the earliest; a second one due at the same moment has its timer
// file set in the past and goes on the next turn of the event loop.
void QtClock::OnExactWake() {
    const std::int64_t woke = MonotonicNs();
    std::uint64_t expirations = 0;
    if (::read(exactFd_, &expirations, sizeof expirations) < 0 || armedFor_ == 0) return;
    const std::int64_t delay = woke - armedFor_;
    wakeLead_ = std::clamp(wakeLead_ + (delay > wakeLead_ ? 3 * kLeadStep : -kLeadStep),
                           std::int64_t{0}, kMaxLead);
    armedFor_ = 0;
    const auto first = EarliestExact();
    if (first == exact_.end()) return;
    ExactTimer timer = std::move(first->second);
    exact_.erase(first);
    ArmExact();
    while (MonotonicNs() < timer.due) {
    }
    // The callback may schedule or cancel timers; it runs last.
    timer.callback();
}

void QtClock::Cancel(TimerToken token) {
    if (exact_.erase(token) != 0) {
        ArmExact();
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
