#include "session/FactoryResetController.h"

#include <array>

namespace corvane {
namespace {

struct ResetStep {
    std::uint8_t command;
    std::uint8_t sub;
    std::array<std::uint8_t, 8> args;
};

// Input 3, output resolution 2, audio source 1, EDID preparation, EDID preset 4 on input 3, and
// last the reset command itself.
constexpr std::array<ResetStep, FactoryResetController::kResetSteps> kSteps = {{
    {0x02, 0x03, {0x03, 0x00, 0x01}},
    {0x0A, 0x06, {0x02, 0x00, 0x01}},
    {0x0A, 0x0C, {0x01, 0x00, 0x01}},
    {0x03, 0x08, {0xF0}},
    {0x03, 0x02, {0x04, 0xF0, 0x03}},
    {0x12, 0x01, {0xF0, 0xF0, 0x03}},
}};

constexpr int ResendTimer(int step) {
    return FactoryResetController::kResetFirstTimer + 2 * (step - 1);
}
constexpr int GiveUpTimer(int step) {
    return ResendTimer(step) + 1;
}

}  // namespace

FactoryResetController::FactoryResetController(SessionHost& host, Clock& clock,
                                               DeviceSender& sender)
    : host_(host), sender_(sender), timers_(clock, [this](int id) { OnTimer(id); }) {}

bool FactoryResetController::Request() {
    return host_.CheckLinkReady();
}

void FactoryResetController::Decline() {
    host_.SetReady(true);
}

void FactoryResetController::Start() {
    // Step 1 goes out when timer 2500 fires; the ready flag stays 0 until the sequence ends.
    const ResetStep& first = kSteps[0];
    host_.Tx().Compose(first.command, first.sub, first.args);
    sentStep_ = 0;
    timers_.SetTimer(ResendTimer(1), kResetPeriod);
    if (listener_) listener_->OnResetStarted();
}

void FactoryResetController::SendStep(int step) {
    // Composed afresh: another sender (the beeper query on connect) may have used the transmit
    // frame since the step was first sent.
    const ResetStep& s = kSteps[static_cast<std::size_t>(step - 1)];
    TransmitBuffers& tx = host_.Tx();
    tx.Compose(s.command, s.sub, s.args);
    sender_.Send(tx.frame);
    sentStep_ = step;
}

void FactoryResetController::OnStepAnswered(int step) {
    if (step < 1 || step > kResetSteps || step != sentStep_) return;
    timers_.KillTimer(ResendTimer(step));
    timers_.KillTimer(GiveUpTimer(step));
    if (step < kResetSteps) {
        SendStep(step + 1);
        timers_.SetTimer(ResendTimer(step + 1), kResetPeriod);
        return;
    }
    sentStep_ = 0;
    host_.SetReady(true);
    if (listener_) listener_->OnResetDone();
    timers_.SetTimer(kResetCloseTimer, kResetClosePeriod);
}

void FactoryResetController::OnTimer(int id) {
    if (id == kResetCloseTimer) {
        timers_.KillTimer(kResetCloseTimer);
        if (listener_) listener_->OnResetFinished();
        return;
    }
    if (id < kResetFirstTimer || id > kResetLastTimer) return;
    timers_.KillTimer(id);
    const int step = (id - kResetFirstTimer) / 2 + 1;
    if (id == ResendTimer(step)) {
        SendStep(step);
        timers_.SetTimer(GiveUpTimer(step), kResetPeriod);
        return;
    }
    sentStep_ = 0;
    if (listener_) listener_->OnResetTimedOut();
}

void FactoryResetController::TimeOutSeen() {
    host_.SetReady(true);
}

}  // namespace corvane
