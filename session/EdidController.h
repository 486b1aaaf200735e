#pragma once
// EDID: loads an EDID preset into an input, or copies an output's EDID to an input. Each
// operation is announced by a preparation frame; the operation itself goes out once the device
// has confirmed the preparation.

#include "framework/Clock.h"
#include "framework/WindowTimers.h"
#include "link/CommandFrame.h"
#include "session/SessionHost.h"

#include <QStringList>

namespace corvane {

// The EDID page's lists, in their order: the presets (the default EDID last), the inputs a
// preset goes to, the outputs whose EDID can be copied, and the inputs it can be copied to.
const QStringList& EdidPresetNames();
const QStringList& EdidInputNames();
const QStringList& EdidOutputNames();
const QStringList& EdidCopyInputNames();
// How many of the inputs, from the first, a preset may go to: only some presets can go to
// HDMI 3, HDMI 4 and DVI.
int EdidPresetInputCount(int preset);

// What the operation is made of: positions in the page's lists, counted from 0.
struct EdidChoice {
    int preset = 0;      // 0..14 the presets in device order, 15 the default EDID
    int target = 0;      // the input the preset goes to: HDMI 1..4, DVI
    int source = 0;      // the output whose EDID is copied
    int copyTarget = 0;  // the input it is copied to
};

class EdidListener {
public:
    enum class End { Confirmed, TimeOut };

    virtual ~EdidListener() = default;
    // Asked when the device is ready for the operation: it is built from the choice as it
    // stands then, not as it stood at the start.
    virtual EdidChoice CurrentChoice() const = 0;
    // The operation is over. After End::Confirmed the link is free again; after End::TimeOut it
    // stays taken until EdidController::TimeOutAcknowledged() (the "Time out!" message closed).
    virtual void OnEdidEnd(End end) = 0;
};

class EdidController {
public:
    static constexpr int kTimeoutTimer = 1000;
    static constexpr int kTimeoutPeriod = 7000;

    EdidController(SessionHost& host, Clock& clock);
    EdidController(const EdidController&) = delete;
    EdidController& operator=(const EdidController&) = delete;

    void SetListener(EdidListener* listener) { listener_ = listener; }

    // Takes the link and sends the preparation once the caller's handler has returned; false
    // when the link cannot be taken. The one time-out runs from here across both steps.
    bool StartPreset() { return Start(false); }
    bool StartCopy() { return Start(true); }

    // Every checksum-valid frame that arrives while the EDID exchange is in front.
    void OnReply(const Frame& frame);
    // The "Time out!" message was closed: the link is free again.
    void TimeOutAcknowledged() { host_.SetReady(true); }

    bool IsTimerRunning(int id) const { return timers_.IsRunning(id); }

private:
    bool Start(bool copy);
    void SendOperation();
    void OnTimer(int id);

    SessionHost& host_;
    WindowTimers timers_;
    EdidListener* listener_ = nullptr;
};

}  // namespace corvane
