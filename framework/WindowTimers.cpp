#include "framework/WindowTimers.h"

#include <utility>

namespace corvane {

WindowTimers::WindowTimers(Clock& clock, Handler handler)
    : clock_(clock), handler_(std::move(handler)) {}

WindowTimers::~WindowTimers() {
    KillAll();
}

void WindowTimers::SetTimer(int id, int ms) {
    KillTimer(id);
    Arm(id, ms);
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

void WindowTimers::Arm(int id, int ms) {
    running_[id] = Running{ms, clock_.Schedule(ms, [this, id] { Fire(id); })};
}

void WindowTimers::Fire(int id) {
    auto it = running_.find(id);
    if (it == running_.end()) return;
    // Re-arm first, so that a handler that kills or restarts the timer has the last word.
    Arm(id, it->second.period);
    handler_(id);
}

}  // namespace corvane
