#include "session/EdidController.h"

#include <algorithm>

namespace corvane {
namespace {

constexpr std::uint8_t kCopyMarker = 0xEE;  // byte 10 of the preparation for a copy
constexpr int kDefaultEdid = 15;
constexpr std::uint8_t kDefaultEdidByte = 0x04;  // the device loads it as "1080p,Stereo Audio 2.0"

// A list position as the device counts it, from 1; no selection counts as the first item.
std::uint8_t Number(int position) {
    return static_cast<std::uint8_t>(std::clamp(position, 0, 254) + 1);
}

}  // namespace

const QStringList& EdidPresetNames() {
    static const QStringList presets = {"1080i,Stereo Audio 2.0", "1080i,Dolby/DTS 5.1",
                                        "1080i,HD Audio 7.1",     "1080p,Stereo Audio 2.0",
                                        "1080p,Dolby/DTS 5.1",    "1080p,HD Audio 7.1",
                                        "3D,Stereo Audio 2.0",    "3D,Dolby/DTS 5.1",
                                        "3D,HD Audio 7.1",        "4K2K,Stereo Audio 2.0",
                                        "4K2K,Dolby/DTS 5.1",     "4K2K,HD Audio 7.1",
                                        "DVI 1024x768",           "DVI 1920x1080",
                                        "DVI 1920x1200",          "Default EDID"};
    return presets;
}

const QStringList& EdidInputNames() {
    static const QStringList inputs = {"HDMI 1", "HDMI 2", "HDMI 3", "HDMI 4", "DVI"};
    return inputs;
}

const QStringList& EdidOutputNames() {
    static const QStringList outputs = {"HDMI OUT", "QLX OUT"};
    return outputs;
}

const QStringList& EdidCopyInputNames() {
    static const QStringList inputs = {"HDMI 1", "HDMI 2"};
    return inputs;
}

int EdidPresetInputCount(int preset) {
    return preset == 0 || preset == 3 || preset == 13 ? 5 : 2;
}

EdidController::EdidController(SessionHost& host, Clock& clock)
    : host_(host), timers_(clock, [this](int id) { OnTimer(id); }) {}

bool EdidController::Start(bool copy) {
    if (!host_.CheckLinkReady()) return false;
    const std::uint8_t operation = copy ? kCopyMarker : std::uint8_t{0x00};
    host_.Tx().Compose(0x03, 0x08, {0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, operation});
    timers_.SetTimer(kTimeoutTimer, kTimeoutPeriod);
    host_.PostSendRequest(kSendEdidFrame);
    return true;
}

void EdidController::SendOperation() {
    TransmitBuffers& tx = host_.Tx();
    const bool copy = tx.frame[10] == kCopyMarker;
    const EdidChoice choice = listener_ ? listener_->CurrentChoice() : EdidChoice{};
    if (copy) {
        tx.Compose(0x03, 0x04, {Number(choice.source), 0x00, Number(choice.copyTarget)});
    } else {
        const std::uint8_t edid =
            choice.preset == kDefaultEdid ? kDefaultEdidByte : Number(choice.preset);
        tx.Compose(0x03, 0x02, {edid, 0xF0, Number(choice.target)});
    }
    host_.PostSendRequest(kSendEdidFrame);
}

void EdidController::OnReply(const Frame& f) {
    if (f[2] != 0x03) return;
    const Frame& sent = host_.Tx().frame;
    if (f[3] == 0x08 && f[4] == 0x00) {
        // Only while the preparation is out: a repeated or late confirmation must not send the
        // device an operation nobody asked for.
        const bool awaitingPreparation =
            timers_.IsRunning(kTimeoutTimer) && sent[2] == 0x03 && sent[3] == 0x08;
        if (awaitingPreparation) SendOperation();
        return;
    }
    // Only while the operation is out: a late confirmation would free a link that another
    // exchange may hold, and end an operation that is not the one out.
    const bool awaitingOperation =
        timers_.IsRunning(kTimeoutTimer) && sent[2] == 0x03 && (sent[3] == 0x02 || sent[3] == 0x04);
    if (awaitingOperation && f[3] == sent[3] && f[4] == 0x00 && f[5] == 0x00 && f[6] == sent[6]) {
        timers_.KillTimer(kTimeoutTimer);
        if (listener_) listener_->OnEdidEnd(EdidListener::End::Confirmed);
        host_.SetReady(true);
    }
}

void EdidController::OnTimer(int id) {
    if (id != kTimeoutTimer) return;
    timers_.KillTimer(kTimeoutTimer);
    if (listener_) listener_->OnEdidEnd(EdidListener::End::TimeOut);
}

}  // namespace corvane
