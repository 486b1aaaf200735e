#pragma once
// The two units that travel to and from the switcher: the 13-byte command frame
// (both directions) and the 257-byte data block (firmware data, to the device only).

#include <array>
#include <cstddef>
#include <cstdint>

namespace corvane {

constexpr std::size_t kFrameSize = 13;
constexpr std::size_t kBlockDataSize = 256;
constexpr std::size_t kBlockSize = kBlockDataSize + 1;
constexpr std::uint8_t kHeader0 = 0xA5;
constexpr std::uint8_t kHeader1 = 0x5B;

using Frame = std::array<std::uint8_t, kFrameSize>;
using Block = std::array<std::uint8_t, kBlockSize>;

// Two's complement of the 8-bit sum of the bytes, so that bytes plus checksum sum to 0.
std::uint8_t Checksum(const std::uint8_t* bytes, std::size_t count);

// Byte 12 for a frame whose bytes 0..11 are given.
inline std::uint8_t FrameChecksum(const std::uint8_t* frame) {
    return Checksum(frame, 12);
}
// Byte 0 for a block whose data bytes 1..256 are given.
inline std::uint8_t BlockChecksum(const std::uint8_t* block) {
    return Checksum(block + 1, kBlockDataSize);
}

// A received frame is valid when its byte 12 matches the checksum of bytes 0..11.
inline bool IsChecksumValid(const std::uint8_t* frame) {
    return FrameChecksum(frame) == frame[12];
}

// Builds a complete frame from bytes 2..11 (command, sub-command, eight arguments).
Frame MakeFrame(std::uint8_t command, std::uint8_t sub, std::array<std::uint8_t, 8> args = {});

// The program-wide transmit frame and block. Bytes 0 and 1 of the frame hold the header from
// the start and are never written; senders write bytes 2..11 (and the block's bytes 1..256), and
// the checksums are filled in at send time.
struct TransmitBuffers {
    Frame frame{kHeader0, kHeader1};
    Block block{};

    // Sets bytes 2..11 to zero, as every sender does before composing a command.
    void ClearFrameBody();
    // Clears bytes 2..11, then writes command, sub-command and arguments 4..11.
    void Compose(std::uint8_t command, std::uint8_t sub, std::array<std::uint8_t, 8> args = {});
};

}  // namespace corvane
