#include "session/FirmwareImage.h"

namespace corvane {

void TransformFirmware(std::uint8_t* bytes, int length) {
    const auto mask = static_cast<std::uint8_t>(kFirmwareKey ^ (length & 0xFF));
    for (int i = 0; i < length; ++i)
        bytes[i] ^= mask;
}

void FillBlockData(const std::uint8_t* image, int length, int position, std::uint8_t* data) {
    for (int i = 0; i < static_cast<int>(kBlockDataSize); ++i) {
        const long long index = static_cast<long long>(position) + kFirmwarePrefixSize + i;
        data[i] = index < length ? image[index] : 0;
    }
}

void BlockPlan::Restart() {
    position_ = 0;
    pageCounter_ = 0;
    mark_ = kBlockMarkMore;
    region_ = kRegionMain;
    pageNumber_ = 0;
}

bool BlockPlan::Accept(std::uint8_t steer) {
    position_ += static_cast<int>(kBlockDataSize);
    pageCounter_ += static_cast<int>(kBlockDataSize);
    // Compared with the whole file length, prefix included, as the device expects: a file
    // whose payload ends on a block boundary gets one more block of zeros.
    if (position_ >= length_) return false;
    if (steer == kSteerToAlternate) {
        region_ = kRegionAlternate;
        pageNumber_ = 0x01;
    } else if (steer == kSteerBack) {
        // The next block starts 4096 bytes after the one just accepted.
        region_ = kRegionMain;
        position_ += 4096 - static_cast<int>(kBlockDataSize);
        pageCounter_ = 0;
        pageNumber_ = 0x00;
    } else {
        region_ = kRegionMain;
        pageNumber_ = static_cast<std::uint8_t>((pageCounter_ >> 8) & 0xFF);
    }
    mark_ =
        position_ + static_cast<int>(kBlockDataSize) >= length_ ? kBlockMarkLast : kBlockMarkMore;
    return true;
}

FirmwareReply ClassifyFirmwareReply(const Frame& f) {
    const std::uint8_t b2 = f[2], b3 = f[3], b4 = f[4], b6 = f[6], b7 = f[7], b8 = f[8],
                       b10 = f[10];
    if (b2 == 0x01 && b3 == 0x01 && b10 == 0xCC) return FirmwareReply::DeviceType;
    if (b2 == 0x01 && b3 == 0x02 && b10 == 0xCC) return FirmwareReply::DeviceSize;
    if (b2 == 0x01 && b3 == 0x03 && b10 == 0xCC) return FirmwareReply::Version;
    if (b2 == 0x20 && b3 == 0x01) {
        if (b4 == 0xAA) return FirmwareReply::StartAccepted;
        if (b4 == 0x00 && b6 == 0x00 && b7 == 0x00 && b8 == 0x00) {
            return b10 == 0xEE ? FirmwareReply::Request80Accepted
                               : FirmwareReply::Request10Accepted;
        }
        if (b4 == 0x00 && b7 == 0x01 && b8 == 0x01) return FirmwareReply::BlockAccepted;
    }
    if (b2 == 0x01 && b3 == 0x01 && b7 == 0x00 && b8 == 0x00 && b10 == 0x00) {
        return FirmwareReply::DeviceBack;
    }
    if (b2 == 0x07 && b3 == 0x07) return FirmwareReply::ScalerAccepted;
    return FirmwareReply::Other;
}

}  // namespace corvane
