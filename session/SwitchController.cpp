#include "session/SwitchController.h"

#include <utility>

namespace corvane {
namespace {

// The device reports VGA formats in its own numbering: 1 RGBHV, 2 YPbPr.
std::uint8_t ReportedVgaFormat(std::uint8_t sent) {
    if (sent == 0x02) return 1;
    if (sent == 0x05) return 2;
    return sent;
}

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

}  // namespace

SwitchController::Reply SwitchController::ConfirmationOf(std::uint8_t command, std::uint8_t sub) {
    if (command == 0x02) return sub == 0x03 ? Reply::InputSet : Reply::None;
    if (command != 0x0A) return Reply::None;
    switch (sub) {
        case 0x06:
            return Reply::ResolutionSet;
        case 0x0C:
            return Reply::AudioSet;
        case 0x0E:
            return Reply::AutoAdjustSet;
        case 0x0F:
            return Reply::ScalerSet;
        case 0x01:
            return Reply::VgaFormatSet;
        default:
            return Reply::None;
    }
}

SwitchController::SwitchController(SessionHost& host, Clock& clock)
    : host_(host), timers_(clock, [this](int id) { OnTimer(id); }) {}

bool SwitchController::SelectInput(int input) {
    return InRange(input, 1, 8) && SendCommand(0x02, 0x03, static_cast<std::uint8_t>(input), 0x01);
}

bool SwitchController::SetResolution(int resolution) {
    return InRange(resolution, 1, 5) &&
           SendCommand(0x0A, 0x06, static_cast<std::uint8_t>(resolution), 0x01);
}

bool SwitchController::SetAudio(int source) {
    return InRange(source, 1, 2) &&
           SendCommand(0x0A, 0x0C, static_cast<std::uint8_t>(source), 0x01);
}

// Sent in the command's numbering (02 RGBHV, 05 YPbPr) for the current input.
bool SwitchController::SetVgaFormat(int format) {
    return InRange(format, 1, 2) &&
           SendCommand(0x0A, 0x01, format == 1 ? 0x02 : 0x05, currentInput_);
}

bool SwitchController::AutoAdjust() {
    return SendCommand(0x0A, 0x0E, 0x00, 0x01);
}

bool SwitchController::Scaler() {
    return SendCommand(0x0A, 0x0F, 0x00, 0x01);
}

bool SwitchController::SendCommand(std::uint8_t command, std::uint8_t sub, std::uint8_t b4,
                                   std::uint8_t b6) {
    if (!host_.CheckLinkReady()) return false;
    host_.Tx().Compose(command, sub, {b4, 0x00, b6});
    awaiting_ = ConfirmationOf(command, sub);
    late_ = Reply::None;
    timers_.SetTimer(kTimeoutTimer, kTimeoutPeriod);
    host_.PostSendRequest(kSendSwitchFrame);
    return true;
}

bool SwitchController::QueryInput() {
    if (!host_.CheckLinkReady()) return false;
    TransmitBuffers& tx = host_.Tx();
    tx.Compose(0x02, 0x01, {0x01});
    AwaitInputReport();
    host_.SendFrame(tx.frame);
    host_.SetReady(false);
    host_.StartMainTimeout();
    return true;
}

void SwitchController::OnTimer(int id) {
    if (id != kTimeoutTimer) return;
    timers_.KillTimer(kTimeoutTimer);
    // A command can still be confirmed late; the answer to a query is given up.
    const Frame& sent = host_.Tx().frame;
    late_ = ConfirmationOf(sent[2], sent[3]) == awaiting_ ? awaiting_ : Reply::None;
    awaiting_ = Reply::None;
    timeOutHolds_ = true;
    Report(SwitchListener::End::TimeOut);
}

void SwitchController::TimeOutAcknowledged() {
    // A late confirmation may have taken the link up again meanwhile.
    if (std::exchange(timeOutHolds_, false)) host_.SetReady(true);
}

// The device may confirm after the time-out: it has switched, so the state is shown and the
// chain goes on, as long as the command is still the one in the transmit frame and no other
// exchange holds the link. The time-out is armed again for the queries that follow.
bool SwitchController::Accepted(Reply reply) {
    if (Awaited(reply)) return true;
    const Frame& sent = host_.Tx().frame;
    if (reply != late_ || ConfirmationOf(sent[2], sent[3]) != reply) return false;
    if (!host_.IsReady() && !timeOutHolds_) return false;
    late_ = Reply::None;
    timeOutHolds_ = false;
    host_.SetReady(false);
    timers_.SetTimer(kTimeoutTimer, kTimeoutPeriod);
    return true;
}

void SwitchController::SendQuery(std::uint8_t command, std::uint8_t sub, std::uint8_t b6,
                                 Reply awaited) {
    host_.Tx().Compose(command, sub, {0x00, 0x00, b6});
    awaiting_ = awaited;
    late_ = Reply::None;
    host_.PostSendRequest(kSendSwitchFrame);
}

void SwitchController::EndExchange() {
    timers_.KillTimer(kTimeoutTimer);
    awaiting_ = Reply::None;
    host_.SetReady(true);
    Report(SwitchListener::End::Confirmed);
}

void SwitchController::Finish() {
    timers_.KillTimer(kTimeoutTimer);
    awaiting_ = Reply::None;
    host_.PostSendRequest(kStopMainTimeout);
    host_.SetReady(true);
    Report(SwitchListener::End::Confirmed);
}

void SwitchController::Show(int kind, int value) {
    if (listener_) listener_->OnSwitchState(kind, value);
}

void SwitchController::Report(SwitchListener::End end) {
    if (listener_) listener_->OnSwitchEnd(end);
}

void SwitchController::OnReply(const Frame& f) {
    using L = SwitchListener;
    const std::uint8_t sent = host_.Tx().frame[4];
    const std::uint8_t b2 = f[2], b3 = f[3], b4 = f[4], b6 = f[6];

    // An input confirmed: the chain goes on to what belongs to that input.
    if (b2 == 0x02 && b3 == 0x03 && b4 == 0x00 && b6 == 0x01 && Accepted(Reply::InputSet)) {
        Show(L::kInput, sent);
        if (sent == 6 || sent == 7) {
            currentInput_ = sent;
            SendVgaFormatQuery(sent);
        } else if (sent >= 8) {
            EndExchange();
        } else {
            currentInput_ = sent;
            SendAudioQuery(sent);
        }
        return;
    }
    // Resolution, audio, AUTO ADJUST and SCALER: set commands that end with their confirmation.
    if (b2 == 0x0A && b4 == 0x00 && b6 == 0x01) {
        switch (b3) {
            case 0x06:
                if (!Accepted(Reply::ResolutionSet)) return;
                Show(L::kResolution, sent);
                EndExchange();
                return;
            case 0x0C:
                if (!Accepted(Reply::AudioSet)) return;
                Show(L::kAudio, sent);
                EndExchange();
                return;
            case 0x0E:
                if (!Accepted(Reply::AutoAdjustSet)) return;
                Show(L::kVgaFormat, 4);
                EndExchange();
                return;
            case 0x0F:
                if (!Accepted(Reply::ScalerSet)) return;
                Show(L::kVgaFormat, 3);
                EndExchange();
                return;
            default:
                break;
        }
    }
    // A VGA format confirmed for the current input.
    if (b2 == 0x0A && b3 == 0x01 && b4 == 0x00 && b6 == currentInput_ &&
        Accepted(Reply::VgaFormatSet)) {
        Show(L::kVgaFormat, ReportedVgaFormat(sent));
        EndExchange();
        return;
    }
    // The current input reported, on page show.
    if (b2 == 0x02 && b3 == 0x01 && b4 == 0x01 && Awaited(Reply::InputReport)) {
        Show(L::kInput, b6);
        currentInput_ = b6;
        if (b6 < 6) {
            SendAudioQuery(b6);
        } else {
            SendResolutionQuery();
        }
        return;
    }
    // The audio source of the current input. Scaler inputs go on to the resolution query,
    // and the time-out stays armed for it: without it a lost answer would hold the link for good.
    if (b2 == 0x90 && b3 == 0x0C && b6 == currentInput_ && Awaited(Reply::AudioReport)) {
        Show(L::kAudio, b4);
        if (currentInput_ >= 3) {
            SendResolutionQuery();
        } else {
            Finish();
        }
        return;
    }
    // The output resolution; the VGA inputs go on to their format.
    if (b2 == 0x90 && b3 == 0x06 && b6 == 0x01 && Awaited(Reply::ResolutionReport)) {
        Show(L::kResolution, b4);
        if (currentInput_ == 6 || currentInput_ == 7) {
            SendVgaFormatQuery(currentInput_);
        } else {
            Finish();
        }
        return;
    }
    // The VGA format of the current input ends the chain.
    if (b2 == 0x90 && b3 == 0x01 && b6 == currentInput_ && Awaited(Reply::VgaFormatReport)) {
        Show(L::kVgaFormat, b4);
        Finish();
    }
}

}  // namespace corvane
