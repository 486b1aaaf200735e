#include "session/BeeperController.h"

namespace corvane {

void BeeperController::Query() {
    TransmitBuffers& tx = host_.Tx();
    tx.Compose(0x01, 0x0B);
    sender_.Send(tx.frame);
}

bool BeeperController::Set(bool enable) {
    if (!host_.CheckLinkReady()) return false;
    // Nothing waits for the answer, so the flag goes back at once.
    host_.SetReady(true);
    TransmitBuffers& tx = host_.Tx();
    if (enable) {
        tx.Compose(0x06, 0x01, {0x0F, 0x00, 0xDD});
    } else {
        tx.Compose(0x06, 0x01, {0xF0});
    }
    sender_.Send(tx.frame);
    return true;
}

void BeeperController::OnQueryAnswer(std::uint8_t state) {
    if (listener_) listener_->OnBeeperState(state == 0x00);
}

void BeeperController::OnSetAnswer(std::uint8_t state) {
    if (listener_) listener_->OnBeeperState(state == 0xDD);
}

}  // namespace corvane
