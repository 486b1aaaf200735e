#include "link/CommandFrame.h"

#include <algorithm>

namespace corvane {

std::uint8_t Checksum(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<std::uint8_t>(256u - (sum & 0xFFu));
}

Frame MakeFrame(std::uint8_t command, std::uint8_t sub, std::array<std::uint8_t, 8> args) {
    Frame f{kHeader0, kHeader1, command, sub};
    std::copy(args.begin(), args.end(), f.begin() + 4);
    f[12] = FrameChecksum(f.data());
    return f;
}

void TransmitBuffers::ClearFrameBody() {
    std::fill(frame.begin() + 2, frame.begin() + 12, 0);
}

void TransmitBuffers::Compose(std::uint8_t command, std::uint8_t sub,
                              std::array<std::uint8_t, 8> args) {
    ClearFrameBody();
    frame[2] = command;
    frame[3] = sub;
    std::copy(args.begin(), args.end(), frame.begin() + 4);
}

}  // namespace corvane
