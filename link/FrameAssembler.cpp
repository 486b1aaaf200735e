#include "link/FrameAssembler.h"

namespace corvane {

void FrameAssembler::OnRxByte(std::uint8_t byte) {
    const int wasInFrame = inFrame_;
    if (inFrame_) {
        frame_[framePosition_++] = byte;
    } else {
        scan_[scanLength_++] = byte;
    }

    if (!wasInFrame && scan_[scanLength_ - 2] == kHeader0 && scan_[scanLength_ - 1] == kHeader1) {
        framePosition_ = 2;
        scanLength_ = 2;
        inFrame_ = 1;
        frame_[0] = kHeader0;
        frame_[1] = kHeader1;
        return;
    }
    if (framePosition_ > 12) {
        // The state is reset before the handler runs, so the handler sees a clean assembler.
        const Frame complete = frame_;
        inFrame_ = 0;
        framePosition_ = 0;
        scanLength_ = 2;
        scan_.fill(0);
        frame_.fill(0);
        dispatch_(complete);
        return;
    }
    if (scanLength_ >= 256) scanLength_ = 2;
}

}  // namespace corvane
