#pragma once
// The firmware image as the device receives it, and the order its blocks go out in. No widgets
// here: the firmware controller drives these and does the sending.
//
// A .fw file is two prefix bytes that are never sent, then the payload. The whole file is
// scrambled once with the key and the low byte of its length; the payload then goes out in
// 256-byte blocks, each announced by a frame that names its region and page number.

#include "link/CommandFrame.h"

#include <cstdint>

namespace corvane {

constexpr std::uint8_t kFirmwareKey = 0x5E;
constexpr int kFirmwareImageCapacity = 100000;
constexpr int kFirmwarePrefixSize = 2;

// XORs every byte with the key and with the low byte of length. Applying it twice restores
// the bytes.
void TransformFirmware(std::uint8_t* bytes, int length);

// A file the controller can send: it fits the image buffer and has at least one payload byte.
inline bool IsAcceptableFirmwareLength(long long length) {
    return length > kFirmwarePrefixSize && length <= kFirmwareImageCapacity;
}

// Copies payload bytes position .. position+255 (image bytes position+2 ..) into data, with 0
// wherever the image index is at or past length.
void FillBlockData(const std::uint8_t* image, int length, int position, std::uint8_t* data);

constexpr std::uint8_t kBlockMarkMore = 0xAA;
constexpr std::uint8_t kBlockMarkLast = 0x56;
constexpr std::uint8_t kRegionMain = 0x40;
constexpr std::uint8_t kRegionAlternate = 0xB0;
// The device's answers in b10 of a block acknowledgement that move the next block.
constexpr std::uint8_t kSteerToAlternate = 0xF0;
constexpr std::uint8_t kSteerBack = 0xB0;

// Which block goes next, as the device steers it with each acknowledgement.
class BlockPlan {
public:
    explicit BlockPlan(int imageLength = 0) : length_(imageLength) {}

    // Back to the first block: position 0, region 40, page 00, always marked AA.
    void Restart();
    // The device accepted the current block and answered steer in b10. Returns false when the
    // image is done (no further block).
    bool Accept(std::uint8_t steer);

    // Whether accepting the current block ends the image.
    bool IsLast() const { return position_ + static_cast<int>(kBlockDataSize) >= length_; }
    int Position() const { return position_; }
    int PageCounter() const { return pageCounter_; }
    std::uint8_t Mark() const { return mark_; }
    std::uint8_t Region() const { return region_; }
    std::uint8_t PageNumber() const { return pageNumber_; }

private:
    int length_;
    int position_ = 0;
    int pageCounter_ = 0;
    std::uint8_t mark_ = kBlockMarkMore;
    std::uint8_t region_ = kRegionMain;
    std::uint8_t pageNumber_ = 0;
};

// What a reply frame means to the firmware run, tested in this order; a frame that matches
// nothing is Other. Bytes a kind does not name are not looked at.
enum class FirmwareReply {
    DeviceType,         // 01 01 .. b10 CC
    DeviceSize,         // 01 02 .. b10 CC
    Version,            // 01 03 .. b10 CC
    StartAccepted,      // 20 01 AA
    Request80Accepted,  // 20 01 00, b6 b7 b8 00, b10 EE
    Request10Accepted,  // 20 01 00, b6 b7 b8 00, b10 not EE
    BlockAccepted,      // 20 01 00, b7 01 b8 01
    DeviceBack,         // 01 01, b7 00 b8 00 b10 00
    ScalerAccepted,     // 07 07
    Other,
};
FirmwareReply ClassifyFirmwareReply(const Frame& frame);

}  // namespace corvane
