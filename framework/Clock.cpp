#include "framework/Clock.h"

#include <QDateTime>
#include <QTimer>

#include <utility>

namespace corvane {

QtClock::QtClock()
    : context_(std::make_unique<QObject>()), start_(QDateTime::currentMSecsSinceEpoch()) {}

QtClock::~QtClock() = default;

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

void QtClock::Cancel(TimerToken token) {
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
