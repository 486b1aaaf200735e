#pragma once
// Switching: the input, output resolution, audio source, VGA format, AUTO ADJUST and SCALER
// commands, their confirmations, and the status chains that read the device's state back
// (input report, then audio source, output resolution and VGA format as the input calls for).

#include "framework/Clock.h"
#include "framework/WindowTimers.h"
#include "link/CommandFrame.h"
#include "session/SessionHost.h"

#include <cstdint>

namespace corvane {

// What the switching exchange tells its view.
class SwitchListener {
public:
    // What a confirmed or reported state concerns.
    enum Kind { kInput = 1, kResolution = 2, kAudio = 3, kVgaFormat = 4 };
    enum class End { Confirmed, TimeOut };

    virtual ~SwitchListener() = default;
    // A state the device confirmed or reported. For kVgaFormat: 1 RGBHV, 2 YPbPr, 3 SCALER on,
    // 4 AUTO ADJUST done.
    virtual void OnSwitchState(int kind, int value) = 0;
    // The exchange is over (after the state it confirmed, if any). After End::TimeOut the link
    // stays taken until SwitchController::TimeOutAcknowledged() (the "Time out!" message closed).
    virtual void OnSwitchEnd(End end) = 0;
};

class SwitchController {
public:
    static constexpr int kTimeoutTimer = 1000;
    static constexpr int kTimeoutPeriod = 7000;

    SwitchController(SessionHost& host, Clock& clock);
    SwitchController(const SwitchController&) = delete;
    SwitchController& operator=(const SwitchController&) = delete;

    void SetListener(SwitchListener* listener) { listener_ = listener; }

    // Each command takes the link and goes out once the caller's handler has returned; false
    // when the value is out of range or the link cannot be taken.
    bool SelectInput(int input);         // 1..8: HDMI 1-4, DVI, VGA 1, VGA 2, CV
    bool SetResolution(int resolution);  // 1..5: 1920x1200, 1080p, 1360x768, 720p, 1024x768
    bool SetAudio(int source);           // 1 internal, 2 external
    bool SetVgaFormat(int format);       // of the current input: 1 RGBHV, 2 YPbPr
    bool AutoAdjust();
    bool Scaler();

    // Every checksum-valid frame that arrives while the switching exchange is in front.
    void OnReply(const Frame& frame);

    // The current-input query of the page show: through the connection guard, answered by the
    // input report and guarded by the session's timer 1000. False when the guard refused.
    bool QueryInput();
    // The current-input query of the page show went out: its report is awaited.
    void AwaitInputReport() {
        awaiting_ = Reply::InputReport;
        late_ = Reply::None;
    }
    // The exchange was given up (time-out): a late answer must not move anything.
    void Abandon() { awaiting_ = Reply::None; }
    // The "Time out!" of a command was closed: the link is free again, unless a late
    // confirmation has taken up the exchange meanwhile.
    void TimeOutAcknowledged();

    // The input the device last confirmed or reported; 0 until then.
    std::uint8_t CurrentInput() const { return currentInput_; }
    bool IsTimerRunning(int id) const { return timers_.IsRunning(id); }

private:
    // The one answer the exchange waits for: the confirmation of a command, or a report of a
    // status chain.
    enum class Reply {
        None,
        InputSet,
        ResolutionSet,
        AudioSet,
        AutoAdjustSet,
        ScalerSet,
        VgaFormatSet,
        InputReport,
        AudioReport,
        ResolutionReport,
        VgaFormatReport,
    };
    // The confirmation a command frame is answered with; None for a query.
    static Reply ConfirmationOf(std::uint8_t command, std::uint8_t sub);
    // A reply counts only while its exchange is out and it is the step awaited: a late or
    // repeated answer must not send a query in the middle of another exchange, nor end it.
    bool Awaited(Reply reply) const { return awaiting_ == reply && !host_.IsReady(); }
    // Awaited, or the late confirmation of a command that timed out, which then takes up its
    // exchange again.
    bool Accepted(Reply reply);

    bool SendCommand(std::uint8_t command, std::uint8_t sub, std::uint8_t b4, std::uint8_t b6);
    void SendQuery(std::uint8_t command, std::uint8_t sub, std::uint8_t b6, Reply awaited);
    void SendAudioQuery(std::uint8_t input) { SendQuery(0x90, 0x0C, input, Reply::AudioReport); }
    void SendResolutionQuery() { SendQuery(0x90, 0x06, 0x01, Reply::ResolutionReport); }
    void SendVgaFormatQuery(std::uint8_t input) {
        SendQuery(0x90, 0x01, input, Reply::VgaFormatReport);
    }
    // The end of a status chain: stops both time-outs and frees the link.
    void Finish();
    // Stops the time-out and frees the link (the end of a command's exchange).
    void EndExchange();
    void OnTimer(int id);
    void Show(int kind, int value);
    void Report(SwitchListener::End end);

    SessionHost& host_;
    WindowTimers timers_;
    SwitchListener* listener_ = nullptr;
    std::uint8_t currentInput_ = 0;
    Reply awaiting_ = Reply::None;
    Reply late_ = Reply::None;   // the confirmation of a command that timed out
    bool timeOutHolds_ = false;  // a command's "Time out!" is up and holds the link
};

}  // namespace corvane
