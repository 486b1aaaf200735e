#include "framework/WindowTimers.h"

#include <utility>

namespace corvane {

WindowTimers::WindowTimers(Clock& clock, Handler handler)
    : clock_(clock), handler_(std::move(handler)) {}

WindowTimers::~WindowTimers() {
    KillAll();
}

void WindowTimers::SetTimer(int id, int ms, Timing timing) {
    KillTimer(id);
    Arm(id, ms, timing);
}

void WindowTimers::KillTimer(int id) {
    auto it = running_.find(id);
    if (it == running_.end()) return;
    clock_.Cancel(it->second.token);
    running_.erase(it);
}

void WindowTimers::KillAll() {
    for (auto& [id, timer] : running_)
        clock_.Cancel(timer.token);
    running_.clear();
}

int WindowTimers::Period(int id) const {
    auto it = running_.find(id);
    return it == running_.end() ? 0 : it->second.period;
}

void WindowTimers::Arm(int id, int ms, Timing timing) {
    auto fire = [this, id] { Fire(id); };
    running_[id] = Running{ms, timing,
                           timing == Timing::Exact ? clock_.ScheduleExact(ms, std::move(fire))
                                                   : clock_.Schedule(ms, std::move(fire))};
}

void WindowTimers::Fire(int id) {
    auto it = running_.find(id);
    if (it == running_.end()) return;
    // Re-arm first, so that a handler that kills or restarts the timer has the last word.
    Arm(id, it->second.period, it->second.timing);
    handler_(id);
}

}  // namespace corvane
