#pragma once
// Window timers: SetTimer(id, ms) starts or restarts timer id; it fires every ms until
// KillTimer(id). Each window owns one set and handles the firings in its OnTimer(id).

#include "framework/Clock.h"

#include <functional>
#include <map>

namespace corvane {

class WindowTimers {
public:
    using Handler = std::function<void(int id)>;
    // Exact: fires as close to its period as the machine allows (Clock::ScheduleExact).
    enum class Timing { Ordinary, Exact };

    WindowTimers(Clock& clock, Handler handler);
    ~WindowTimers();
    WindowTimers(const WindowTimers&) = delete;
    WindowTimers& operator=(const WindowTimers&) = delete;

    void SetTimer(int id, int ms, Timing timing = Timing::Ordinary);
    void KillTimer(int id);
    void KillAll();
    bool IsRunning(int id) const { return running_.count(id) != 0; }
    // Period of a running timer, or 0.
    int Period(int id) const;

    Clock& clock() const { return clock_; }

private:
    struct Running {
        int period;
        Timing timing;
        Clock::TimerToken token;
    };
    void Arm(int id, int ms, Timing timing);
    void Fire(int id);

    Clock& clock_;
    Handler handler_;
    std::map<int, Running> running_;
};

}  // namespace corvane
