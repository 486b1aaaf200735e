#pragma once
// The device's side of a firmware run: places each acknowledged 256-byte block in the payload
// by its announcement (region 40 pages, the single region-B0 page, the 4096-byte jump after a B0
// answer), keeps what arrived and checks it against the file the program was given.

#include "link/CommandFrame.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane::sim {

constexpr std::uint8_t kRegionMain = 0x40;
constexpr std::uint8_t kRegionBoot = 0xB0;
constexpr std::uint8_t kSteerToBoot = 0xF0;  // ack b10: next block goes to region B0
constexpr std::uint8_t kSteerBack = 0xB0;    // ack b10: back to region 40, 4096 bytes on
constexpr std::uint8_t kSteerNone = 0x00;
constexpr std::uint8_t kLastBlock = 0x56;
constexpr std::size_t kBootJump = 4096;

// The bytes the program puts on the wire for a file: every byte XOR 0x5E XOR (length & 0xFF).
std::vector<std::uint8_t> TransformFirmware(const std::vector<std::uint8_t>& file);
// What the device should end up with: the transformed file without its two prefix bytes.
std::vector<std::uint8_t> ExpectedPayload(const std::vector<std::uint8_t>& file);

struct FirmwareCheck {
    // A last block (b4 = 56) was acknowledged. A file of 256 bytes or less fits in the first
    // block, which is always announced AA, so its run never has one.
    bool complete = false;
    std::size_t payloadBytes = 0;   // file length - 2
    std::size_t receivedBytes = 0;  // payload bytes that arrived (padding not counted)
    std::size_t skippedBytes = 0;   // payload bytes inside a jump after a B0 answer
    std::size_t missingBytes = 0;   // payload bytes neither received nor skipped
    std::size_t mismatches = 0;     // received bytes (padding included) that differ
    std::optional<std::size_t> firstMismatch;

    bool Matches() const { return missingBytes == 0 && mismatches == 0; }
    std::string Describe() const;
};

class FirmwareReceiver {
public:
    struct Placement {
        std::size_t offset = 0;
        std::uint8_t steer = kSteerNone;
    };

    // Blocks of region 40 that fill one bank; the block that fills it is answered F0.
    // 0 never steers (region-40 page numbers then wrap every 256 blocks).
    explicit FirmwareReceiver(std::size_t bankBlocks = 256) : bankBlocks_(bankBlocks) {}

    // Upgrade start: forgets the previous image.
    void Start();
    // Where an announced block goes and how its ack steers; nothing for an unknown region.
    std::optional<Placement> Place(const Frame& announcement) const;
    // Stores an acknowledged block at its placement and follows the steering.
    void Accept(const Frame& announcement, const Placement& placement, const Block& block);

    bool Complete() const { return complete_; }
    std::size_t BlocksAccepted() const { return blocksAccepted_; }
    // The payload as received, from offset 0 to the end of the furthest block; gaps read 0.
    const std::vector<std::uint8_t>& Image() const { return image_; }
    bool IsReceived(std::size_t offset) const {
        return offset < received_.size() && received_[offset];
    }
    // [begin, end) ranges of payload that a B0 answer skipped.
    const std::vector<std::pair<std::size_t, std::size_t>>& Skipped() const { return skipped_; }

    FirmwareCheck Compare(const std::vector<std::uint8_t>& file) const;

private:
    bool InSkipped(std::size_t offset) const;

    std::size_t bankBlocks_;
    std::size_t segmentBase_ = 0;  // payload offset of region-40 page 00 of the current segment
    std::size_t nextExpected_ = 0;
    std::optional<std::size_t> lastSteeredToBoot_;
    std::optional<std::size_t> lastAccepted_;
    std::size_t blocksAccepted_ = 0;
    bool complete_ = false;
    std::vector<std::uint8_t> image_;
    std::vector<bool> received_;
    std::vector<std::pair<std::size_t, std::size_t>> skipped_;
};

}  // namespace corvane::sim
