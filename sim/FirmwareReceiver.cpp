#include "sim/FirmwareReceiver.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace corvane::sim {

namespace {
constexpr std::uint8_t kFirmwareKey = 0x5E;
constexpr std::size_t kPageWrap = 256 * kBlockDataSize;  // an 8-bit page number covers 64 KiB
}  // namespace

std::vector<std::uint8_t> TransformFirmware(const std::vector<std::uint8_t>& file) {
    const auto lengthByte = static_cast<std::uint8_t>(file.size() & 0xFF);
    std::vector<std::uint8_t> out(file.size());
    for (std::size_t i = 0; i < file.size(); ++i)
        out[i] = static_cast<std::uint8_t>(file[i] ^ kFirmwareKey ^ lengthByte);
    return out;
}

std::vector<std::uint8_t> ExpectedPayload(const std::vector<std::uint8_t>& file) {
    auto all = TransformFirmware(file);
    if (all.size() <= 2) return {};
    return {all.begin() + 2, all.end()};
}

std::string FirmwareCheck::Describe() const {
    std::ostringstream s;
    s << (Matches() ? "image matches" : "image differs") << ": payload " << payloadBytes
      << ", received " << receivedBytes << ", skipped " << skippedBytes << ", missing "
      << missingBytes << ", mismatches " << mismatches;
    if (firstMismatch) s << " (first at payload offset " << *firstMismatch << ")";
    if (!complete) s << ", no last block";
    return s.str();
}

void FirmwareReceiver::Start() {
    segmentBase_ = 0;
    nextExpected_ = 0;
    lastSteeredToBoot_.reset();
    lastAccepted_.reset();
    blocksAccepted_ = 0;
    complete_ = false;
    image_.clear();
    received_.clear();
    skipped_.clear();
}

std::optional<FirmwareReceiver::Placement> FirmwareReceiver::Place(const Frame& a) const {
    const std::uint8_t region = a[9];
    const std::size_t page = a[10];
    Placement p;
    if (region == kRegionMain) {
        // The page number wraps every 64 KiB; take the wrap that lands nearest to where the run
        // stands, which also places a resent block where it went the first time.
        const double behind = static_cast<double>(nextExpected_) -
                              static_cast<double>(segmentBase_ + page * kBlockDataSize);
        const double wraps = std::max(0.0, std::round(behind / static_cast<double>(kPageWrap)));
        p.offset =
            segmentBase_ + page * kBlockDataSize + static_cast<std::size_t>(wraps) * kPageWrap;
        const std::size_t index = (p.offset - segmentBase_) / kBlockDataSize;
        if (bankBlocks_ != 0 && (index + 1) % bankBlocks_ == 0) p.steer = kSteerToBoot;
    } else if (region == kRegionBoot) {
        const std::size_t base =
            lastSteeredToBoot_ ? *lastSteeredToBoot_ : lastAccepted_.value_or(0);
        p.offset = base + page * kBlockDataSize;
        p.steer = kSteerBack;
    } else {
        return std::nullopt;
    }
    return p;
}

void FirmwareReceiver::Accept(const Frame& a, const Placement& p, const Block& block) {
    const std::size_t end = p.offset + kBlockDataSize;
    if (image_.size() < end) {
        image_.resize(end, 0);
        received_.resize(end, false);
    }
    std::copy(block.begin() + 1, block.end(), image_.begin() + static_cast<long>(p.offset));
    std::fill(received_.begin() + static_cast<long>(p.offset),
              received_.begin() + static_cast<long>(end), true);
    ++blocksAccepted_;
    lastAccepted_ = p.offset;
    nextExpected_ = std::max(nextExpected_, end);
    if (p.steer == kSteerToBoot) lastSteeredToBoot_ = p.offset;
    if (p.steer == kSteerBack) {
        segmentBase_ = p.offset + kBootJump;
        nextExpected_ = segmentBase_;
        const std::pair<std::size_t, std::size_t> gap{end, segmentBase_};
        if (std::find(skipped_.begin(), skipped_.end(), gap) == skipped_.end())
            skipped_.push_back(gap);
    }
    if (a[4] == kLastBlock) complete_ = true;
}

bool FirmwareReceiver::InSkipped(std::size_t offset) const {
    return std::any_of(skipped_.begin(), skipped_.end(),
                       [&](const auto& r) { return offset >= r.first && offset < r.second; });
}

FirmwareCheck FirmwareReceiver::Compare(const std::vector<std::uint8_t>& file) const {
    const auto payload = ExpectedPayload(file);
    FirmwareCheck c;
    c.complete = complete_;
    c.payloadBytes = payload.size();
    const std::size_t span = std::max(payload.size(), image_.size());
    for (std::size_t i = 0; i < span; ++i) {
        const bool inFile = i < payload.size();
        if (IsReceived(i)) {
            // Past the end of the file the program pads its last blocks with zeros.
            const std::uint8_t want = inFile ? payload[i] : 0;
            if (inFile) ++c.receivedBytes;
            if (image_[i] != want) {
                ++c.mismatches;
                if (!c.firstMismatch) c.firstMismatch = i;
            }
        } else if (inFile) {
            if (InSkipped(i))
                ++c.skippedBytes;
            else
                ++c.missingBytes;
        }
    }
    return c;
}

}  // namespace corvane::sim
