#pragma once
// Rebuilds command frames from the serial byte stream. Bytes outside a frame go to a scan
// buffer where the header A5 5B is looked for; once found, the next 11 bytes are taken blindly.

#include "link/CommandFrame.h"

#include <array>
#include <cstdint>
#include <functional>

namespace corvane {

class FrameAssembler {
public:
    using Dispatch = std::function<void(const Frame&)>;

    explicit FrameAssembler(Dispatch dispatch) : dispatch_(std::move(dispatch)) {}

    // One received byte.
    void OnRxByte(std::uint8_t byte);

    // Read-only views of the state, for tests and the traffic monitor.
    int ScanLength() const { return scanLength_; }
    int FramePosition() const { return framePosition_; }
    bool InFrame() const { return inFrame_ != 0; }
    const std::array<std::uint8_t, 256>& ScanBuffer() const { return scan_; }

private:
    Dispatch dispatch_;
    std::array<std::uint8_t, 256> scan_{};
    int scanLength_ = 2;  // positions 0 and 1 are never written
    Frame frame_{};
    int framePosition_ = 0;
    int inFrame_ = 0;
};

}  // namespace corvane
