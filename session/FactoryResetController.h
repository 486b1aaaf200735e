#pragma once
// The factory reset: six commands, each sent on the answer to the one before, each sent once
// more when its answer is 3 s late and given up 3 s after that. The ready flag stays taken
// from the start until the last answer or until the operator has seen the time-out.

#include "framework/WindowTimers.h"
#include "link/DeviceSender.h"
#include "session/SessionHost.h"

#include <QString>

namespace corvane {

class FactoryResetListener {
public:
    virtual ~FactoryResetListener() = default;
    // The sequence runs; step 1 goes out in 3 s.
    virtual void OnResetStarted() = 0;
    // The last step was answered; the ready flag is back.
    virtual void OnResetDone() = 0;
    // 900 ms after OnResetDone.
    virtual void OnResetFinished() = 0;
    // A step was given up. Call TimeOutSeen() once the operator has seen it.
    virtual void OnResetTimedOut() = 0;
};

class FactoryResetController {
public:
    static constexpr int kResetSteps = 6;
    // Step k is sent when timer 2498 + 2k fires (step 1) or on the answer to step k - 1, sent
    // again when 2498 + 2k fires, and given up when 2499 + 2k fires.
    static constexpr int kResetFirstTimer = 2500;
    static constexpr int kResetLastTimer = 2511;
    static constexpr int kResetPeriod = 3000;
    static constexpr int kResetCloseTimer = 1006;
    static constexpr int kResetClosePeriod = 900;
    static inline const QString kResetQuestion =
        QStringLiteral("Do you want to reset to factory settings?");

    FactoryResetController(SessionHost& host, Clock& clock, DeviceSender& sender);

    void SetListener(FactoryResetListener* listener) { listener_ = listener; }

    // The connection guard: takes the ready flag, or refuses (false) as the session reports.
    bool Request();
    // After Request(): the operator confirmed (the sequence starts) or declined (the ready
    // flag comes back).
    void Start();
    void Decline();
    // A reply that answers step k (1..6). It moves the sequence on only when step k is the one
    // out, so a late or stray reply cannot send the later steps.
    void OnStepAnswered(int step);
    // The operator saw the time-out: the ready flag comes back.
    void TimeOutSeen();

    // The step whose frame is out and not yet answered, or 0.
    int SentStep() const { return sentStep_; }
    const WindowTimers& Timers() const { return timers_; }

private:
    void OnTimer(int id);
    void SendStep(int step);

    SessionHost& host_;
    DeviceSender& sender_;
    WindowTimers timers_;
    FactoryResetListener* listener_ = nullptr;
    int sentStep_ = 0;
};

}  // namespace corvane
