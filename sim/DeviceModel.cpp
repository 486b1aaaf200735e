#include "sim/DeviceModel.h"

#include <algorithm>
#include <numeric>

namespace corvane::sim {

namespace {

constexpr std::uint8_t kOk = 0x00;
constexpr std::uint8_t kRefused = 0x01;  // b4 of a reply to a set command with a bad value

constexpr std::size_t kSearchReplySize = 50;
constexpr std::size_t kConfigSize = 76;
constexpr std::uint8_t kSearchRequest = 0x61;

Frame Make(std::uint8_t cmd, std::uint8_t sub, std::uint8_t b4, std::uint8_t b5, std::uint8_t b6,
           std::uint8_t b10 = 0) {
    return MakeFrame(cmd, sub, {b4, b5, b6, 0, 0, 0, b10, 0});
}

bool IsInput(std::uint8_t v) {
    return v >= 1 && v <= kInputs;
}

bool IsBlockAnnouncement(const Frame& f) {
    return f[2] == 0x20 && f[3] == 0x01 && (f[4] == 0xAA || f[4] == kLastBlock) && f[7] == 0x01 &&
           f[8] == 0x01;
}

}  // namespace

DeviceModel::DeviceModel(DeviceSettings settings)
    : settings_(settings), firmware_(settings.bankBlocks) {
    state_.mac = settings_.mac;
    state_.ip = settings_.ip;
    state_.gateway = settings_.gateway;
    state_.mask = settings_.mask;
}

std::vector<Reply> DeviceModel::Receive(const std::uint8_t* bytes, std::size_t count,
                                        std::int64_t nowMs) {
    std::vector<Reply> out;
    if (lineClosed_) return out;
    now_ = nowMs;
    // The program sends the block 50 ms after its announcement; a block still incomplete long
    // after that is dropped with what arrived of it, and new bytes are read as frames again.
    if (announcement_ && settings_.blockTimeoutMs > 0 &&
        nowMs - announcedAt_ > settings_.blockTimeoutMs) {
        announcement_.reset();
        pending_.clear();
    }
    pending_.insert(pending_.end(), bytes, bytes + count);

    for (;;) {
        if (announcement_) {
            if (pending_.size() < kBlockSize) break;
            Block block;
            std::copy_n(pending_.begin(), kBlockSize, block.begin());
            pending_.erase(pending_.begin(), pending_.begin() + kBlockSize);
            HandleBlock(block, nowMs, out);
            continue;
        }

        // Skip to the next header; a lone A5 at the end may be the start of one.
        std::size_t start = 0;
        while (start + 1 < pending_.size() &&
               !(pending_[start] == kHeader0 && pending_[start + 1] == kHeader1))
            ++start;
        if (start + 1 == pending_.size() && pending_[start] != kHeader0) ++start;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(start));
        if (pending_.size() < kFrameSize) break;

        Frame frame;
        std::copy_n(pending_.begin(), kFrameSize, frame.begin());
        if (!IsChecksumValid(frame.data())) {
            // Not a frame after all (or a damaged one): look for a header further on.
            pending_.pop_front();
            continue;
        }
        pending_.erase(pending_.begin(), pending_.begin() + kFrameSize);
        HandleFrame(frame, nowMs, out);
        if (lineClosed_) break;
    }
    return out;
}

void DeviceModel::HandleFrame(const Frame& frame, std::int64_t nowMs, std::vector<Reply>& out) {
    commands_.push_back(frame);
    if (observer_) observer_({nowMs, false, true, {frame.begin(), frame.end()}});
    if (silent_ || Rebooting(nowMs)) return;
    if (const auto reply = Answer(frame, nowMs)) Emit(frame, *reply, out);
}

void DeviceModel::HandleBlock(const Block& block, std::int64_t nowMs, std::vector<Reply>& out) {
    const Frame announcement = *announcement_;
    announcement_.reset();
    // The stale answer goes out as soon as the block is in, ahead of the block's own answer.
    if (lateDuplicate_) {
        out.push_back({static_cast<int>(std::max<std::int64_t>(0, busyUntil_ - nowMs)),
                       std::move(*lateDuplicate_), false});
        lateDuplicate_.reset();
        ++lateDuplicatesSent_;
    }
    const bool valid = BlockChecksum(block.data()) == block[0];
    if (observer_) observer_({nowMs, true, valid, {block.begin(), block.end()}});
    if (!valid || silent_ || Rebooting(nowMs)) return;
    const auto placement = firmware_.Place(announcement);
    if (!placement) return;

    firmware_.Accept(announcement, *placement, block);
    const Frame ack = MakeFrame(
        0x20, 0x01,
        {kOk, 0x00, 0x00, 0x01, 0x01, announcement[9], placement->steer, announcement[10]});
    Emit(announcement, ack, out, settings_.flashMs);
    busyUntil_ = std::max(busyUntil_, nowMs + settings_.flashMs);
    if (announcement[4] == kLastBlock && settings_.rebootMs > 0)
        rebootUntil_ = nowMs + settings_.flashMs + settings_.rebootMs;
}

void DeviceModel::Emit(const Frame& command, const Frame& reply, std::vector<Reply>& out,
                       int delayMs) {
    bool drop = false, corrupt = false, duplicate = false, late = false, close = false;
    // Nothing overtakes a block still being written.
    int delay = std::max<int>(delayMs, static_cast<int>(busyUntil_ - now_));
    for (auto& rule : faults_) {
        if (!rule.Matches(command)) continue;
        if (rule.remaining > 0) --rule.remaining;
        switch (rule.action) {
            case FaultAction::Drop:
                drop = true;
                break;
            case FaultAction::Corrupt:
                corrupt = true;
                break;
            case FaultAction::Delay:
                delay += rule.delayMs;
                break;
            case FaultAction::Duplicate:
                duplicate = true;
                break;
            case FaultAction::LateDuplicate:
                late = true;
                break;
            case FaultAction::Close:
                close = true;
                break;
        }
    }
    std::erase_if(faults_, [](const FaultRule& r) { return r.Spent(); });

    if (close) {
        out.push_back({delay, {}, true});
        lineClosed_ = true;
        return;
    }
    if (drop) return;

    std::vector<std::uint8_t> bytes(reply.begin(), reply.end());
    if (corrupt) bytes[12] = static_cast<std::uint8_t>(bytes[12] + 1);
    out.push_back({delay, bytes, false});
    if (duplicate) out.push_back({delay, bytes, false});
    if (late) lateDuplicate_ = bytes;

    if (closeAfter_ > 0 && --closeAfter_ == 0) {
        out.push_back({delay, {}, true});
        lineClosed_ = true;
    }
}

std::optional<Frame> DeviceModel::Answer(const Frame& c, std::int64_t nowMs) {
    const std::uint8_t cmd = c[2], sub = c[3], b4 = c[4], b6 = c[6], b10 = c[10];
    auto& s = state_;
    // Set commands echo b6 (the output, or the input for the VGA format) and refuse bad values.
    auto setReply = [&](bool ok) { return Make(cmd, sub, ok ? kOk : kRefused, b4, b6); };

    switch ((cmd << 8) | sub) {
        case 0x0101:
            return Make(cmd, sub, settings_.deviceType, 0, 0, b10);
        case 0x0102:
            return Make(cmd, sub, settings_.inputs, 0, settings_.outputs, b10);
        case 0x0103:
            return Make(cmd, sub, settings_.versionMajor, 0, settings_.versionMinor, b10);
        case 0x010B:
            return Make(cmd, sub, kOk, 0, s.beeper ? 0x00 : 0x01);

        case 0x0201:
            return Make(cmd, sub, b4, 0, s.input);
        case 0x0203:
            if (IsInput(b4)) s.input = b4;
            return setReply(IsInput(b4));

        case 0x0A06:
            if (b4 >= 1 && b4 <= 5) s.resolution = b4;
            return setReply(b4 >= 1 && b4 <= 5);
        case 0x0A0C:
            if (b4 == 1 || b4 == 2) s.audio[s.input] = b4;
            return setReply(b4 == 1 || b4 == 2);
        case 0x0A0E:
            s.vgaFormat[s.input] = 4;
            return setReply(true);
        case 0x0A0F:
            s.vgaFormat[s.input] = 3;
            return setReply(true);
        case 0x0A01: {
            // Set numbering 2 RGBHV, 5 YPbPr; stored as reported (1, 2). Input 0 means the
            // input in use, which is what a program that never asked for it sends.
            const std::uint8_t format = b4 == 0x02 ? 1 : b4 == 0x05 ? 2 : 0;
            const std::uint8_t target = IsInput(b6) ? b6 : b6 == 0 ? s.input : 0;
            if (format && target) s.vgaFormat[target] = format;
            return setReply(format && target);
        }

        case 0x900C:
            if (!IsInput(b6)) return std::nullopt;
            return Make(cmd, sub, s.audio[b6], 0, b6);
        case 0x9006:
            return Make(cmd, sub, s.resolution, 0, b6);
        case 0x9001:
            if (!IsInput(b6)) return std::nullopt;
            return Make(cmd, sub, s.vgaFormat[b6], 0, b6);

        case 0x0308:
            s.edidPrepared = true;
            return Make(cmd, sub, kOk, 0, 0, b10);
        case 0x0302: {
            const bool ok = b4 >= 0x01 && b4 <= 0x0F && b6 >= 1 && b6 <= 5;
            if (ok) s.edid[b6] = {EdidSource::Preset, b4};
            s.edidPrepared = false;
            return Make(cmd, sub, ok ? kOk : kRefused, 0, b6);
        }
        case 0x0304: {
            const bool ok = (b4 == 1 || b4 == 2) && (b6 == 1 || b6 == 2);
            if (ok) s.edid[b6] = {EdidSource::Output, b4};
            s.edidPrepared = false;
            return Make(cmd, sub, ok ? kOk : kRefused, 0, b6);
        }

        case 0x0601:
            if (b4 == 0x0F) s.beeper = true;
            if (b4 == 0xF0) s.beeper = false;
            return Make(cmd, sub, b4 == 0x0F || b4 == 0xF0 ? kOk : kRefused, 0,
                        s.beeper ? 0xDD : 0x00);

        case 0x0707:
            ++s.scalerUpgrades;
            return Make(cmd, sub, kOk, 0, 0);
        case 0x1201:
            FactoryReset();
            return Make(cmd, sub, kOk, 0, 0);

        case 0x2001:
            if (IsBlockAnnouncement(c)) {
                // Answered after the data block that follows.
                announcement_ = c;
                announcedAt_ = nowMs;
                return std::nullopt;
            }
            if (b4 == 0x01) {
                firmware_.Start();
                lateDuplicate_.reset();
                return Make(cmd, sub, 0xAA, 0, 0);
            }
            if (b4 == 0x80 || b4 == 0x10) return Make(cmd, sub, kOk, 0, 0, b10);
            return std::nullopt;
    }
    return std::nullopt;
}

void DeviceModel::FactoryReset() {
    // Input and resolution are left as the reset steps before this one set them.
    auto& s = state_;
    s.audio.fill(1);
    s.vgaFormat.fill(1);
    s.edid.fill(EdidSetting{});
    s.beeper = true;
    s.dhcp = false;
    s.ip = settings_.ip;
    s.gateway = settings_.gateway;
    s.mask = settings_.mask;
    ++s.factoryResets;
}

std::optional<std::vector<std::uint8_t>> DeviceModel::AnswerSearch(
    const std::vector<std::uint8_t>& datagram) const {
    if (silent_ || lineClosed_ || datagram.size() != 1 || datagram[0] != kSearchRequest)
        return std::nullopt;
    std::vector<std::uint8_t> r(kSearchReplySize, 0);
    std::copy(state_.mac.begin(), state_.mac.end(), r.begin());
    std::copy(state_.ip.begin(), state_.ip.end(), r.begin() + 6);
    std::copy(state_.gateway.begin(), state_.gateway.end(), r.begin() + 10);
    std::copy(state_.mask.begin(), state_.mask.end(), r.begin() + 14);
    r[18] = 0x77;
    r[19] = 0x88;
    r[20] = state_.dhcp ? 1 : 0;
    return r;
}

std::optional<std::vector<std::uint8_t>> DeviceModel::AnswerConfig(
    const std::vector<std::uint8_t>& p) {
    if (silent_ || lineClosed_ || p.size() != kConfigSize) return std::nullopt;
    // Only requests (byte 74 = FF) with a good sum, addressed to this unit's MAC.
    const auto sum = std::accumulate(p.begin(), p.begin() + 75, 0u);
    if (p[74] != 0xFF || static_cast<std::uint8_t>(sum) != p[75]) return std::nullopt;
    if (!std::equal(state_.mac.begin(), state_.mac.end(), p.begin())) return std::nullopt;

    auto& s = state_;
    s.dhcp = p[18] == 0x01;
    if (!s.dhcp) {
        std::copy_n(p.begin() + 6, 4, s.ip.begin());
        std::copy_n(p.begin() + 10, 4, s.gateway.begin());
        std::copy_n(p.begin() + 14, 4, s.mask.begin());
    }
    std::copy_n(p.begin() + 19, 6, s.mac.begin());

    std::vector<std::uint8_t> ack = p;
    ack[74] = 0x00;
    ack[75] = static_cast<std::uint8_t>(std::accumulate(ack.begin(), ack.begin() + 75, 0u));
    return ack;
}

}  // namespace corvane::sim
