#pragma once
// The switcher as the program sees it: bytes in, timed replies out. No threads and no I/O, so a
// transport (pseudo-terminal, TCP, UDP) or a test on a manual clock decides when replies leave.

#include "link/CommandFrame.h"
#include "sim/Faults.h"
#include "sim/FirmwareReceiver.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace corvane::sim {

// One thing to put on the line, delayMs after the input that caused it.
struct Reply {
    int delayMs = 0;
    std::vector<std::uint8_t> bytes;
    bool closeLine = false;  // the transport closes the line here instead of writing
};

// Fixed properties of the simulated unit.
struct DeviceSettings {
    std::uint8_t deviceType = 1;  // 1 Corvane, 2 Pellaro, other Ostrevin
    std::uint8_t inputs = 8;
    std::uint8_t outputs = 2;
    std::uint8_t versionMajor = 1;
    std::uint8_t versionMinor = 2;
    int rebootMs = 4000;        // after the last firmware block; 0 = no reboot
    int blockTimeoutMs = 1000;  // a block not complete this long after its announcement is dropped
    // Time the unit spends writing a data block to its flash before it answers it; it answers
    // nothing else meanwhile, so its replies keep their order.
    int flashMs = 0;
    std::size_t bankBlocks = 256;  // region-40 blocks per bank (see FirmwareReceiver)
    std::array<std::uint8_t, 6> mac{0x02, 0x43, 0x56, 0x00, 0x00, 0x01};
    std::array<std::uint8_t, 4> ip{198, 51, 100, 10};
    std::array<std::uint8_t, 4> gateway{198, 51, 100, 1};
    std::array<std::uint8_t, 4> mask{255, 255, 255, 0};
};

enum class EdidSource { Preset, Output };
struct EdidSetting {
    EdidSource source = EdidSource::Preset;
    std::uint8_t value = 0x04;  // preset number, or output 1 HDMI OUT / 2 QLX OUT
    bool operator==(const EdidSetting&) const = default;
};

constexpr std::size_t kInputs = 8;

// What the unit remembers. Per-input arrays are indexed by input number 1..8 (index 0 unused).
struct DeviceState {
    std::uint8_t input = 1;
    std::uint8_t resolution = 2;  // 1 1920x1200 .. 5 1024x768
    std::array<std::uint8_t, kInputs + 1> audio{1, 1, 1, 1, 1, 1, 1, 1, 1};  // 1 INT, 2 EXT
    // Reported numbering: 1 RGBHV, 2 YPbPr, 3 SCALER, 4 AUTO ADJUST.
    std::array<std::uint8_t, kInputs + 1> vgaFormat{1, 1, 1, 1, 1, 1, 1, 1, 1};
    std::array<EdidSetting, kInputs + 1> edid{};
    bool beeper = true;
    bool dhcp = false;
    std::array<std::uint8_t, 6> mac{};
    std::array<std::uint8_t, 4> ip{};
    std::array<std::uint8_t, 4> gateway{};
    std::array<std::uint8_t, 4> mask{};
    bool edidPrepared = false;
    int scalerUpgrades = 0;
    int factoryResets = 0;
};

// One unit of input as the device parsed it, for traces and tests.
struct Incoming {
    std::int64_t atMs = 0;
    bool isBlock = false;
    bool valid = true;  // block checksum (frames with a bad checksum are not reported)
    std::vector<std::uint8_t> bytes;
};

class DeviceModel {
public:
    explicit DeviceModel(DeviceSettings settings = {});

    // Bytes from the program, in any split, arriving at nowMs on the caller's clock.
    std::vector<Reply> Receive(const std::uint8_t* bytes, std::size_t count,
                               std::int64_t nowMs = 0);
    std::vector<Reply> Receive(const std::vector<std::uint8_t>& bytes, std::int64_t nowMs = 0) {
        return Receive(bytes.data(), bytes.size(), nowMs);
    }

    // Datagrams for the UDP transports: the search request on 30600 and the configuration
    // packet on 30601. Nothing comes back for a datagram that is not meant for this unit.
    std::optional<std::vector<std::uint8_t>> AnswerSearch(
        const std::vector<std::uint8_t>& datagram) const;
    std::optional<std::vector<std::uint8_t>> AnswerConfig(
        const std::vector<std::uint8_t>& datagram);

    DeviceState& State() { return state_; }
    const DeviceState& State() const { return state_; }
    const DeviceSettings& Settings() const { return settings_; }
    const FirmwareReceiver& Firmware() const { return firmware_; }
    bool Rebooting(std::int64_t nowMs) const { return nowMs < rebootUntil_; }

    void AddFault(FaultRule rule) { faults_.push_back(std::move(rule)); }
    void ClearFaults() { faults_.clear(); }
    const std::vector<FaultRule>& Faults() const { return faults_; }
    // A silent unit takes no input at all, as if hung.
    void SetSilent(bool silent) { silent_ = silent; }
    bool Silent() const { return silent_; }
    // Closes the line after the next n replies; a negative n cancels.
    void CloseAfter(int replies) { closeAfter_ = replies; }
    bool LineClosed() const { return lineClosed_; }
    // A new connection after the line was closed (TCP): the unit answers again.
    void ReopenLine() { lineClosed_ = false; }

    // Stale block acknowledgements sent so far (LateDuplicate faults that came due).
    int LateDuplicatesSent() const { return lateDuplicatesSent_; }

    // Every checksum-valid command frame received, in order.
    const std::vector<Frame>& Commands() const { return commands_; }
    void SetObserver(std::function<void(const Incoming&)> observer) {
        observer_ = std::move(observer);
    }

private:
    void HandleFrame(const Frame& frame, std::int64_t nowMs, std::vector<Reply>& out);
    void HandleBlock(const Block& block, std::int64_t nowMs, std::vector<Reply>& out);
    std::optional<Frame> Answer(const Frame& command, std::int64_t nowMs);
    void Emit(const Frame& command, const Frame& reply, std::vector<Reply>& out, int delayMs = 0);
    void FactoryReset();

    DeviceSettings settings_;
    DeviceState state_;
    FirmwareReceiver firmware_;
    std::vector<FaultRule> faults_;
    bool silent_ = false;
    int closeAfter_ = -1;
    bool lineClosed_ = false;
    std::int64_t rebootUntil_ = 0;
    std::int64_t now_ = 0;        // arrival time of the input being handled
    std::int64_t busyUntil_ = 0;  // writing a block to flash until then

    std::deque<std::uint8_t> pending_;
    std::optional<Frame> announcement_;  // set while a data block is expected
    std::int64_t announcedAt_ = 0;
    // A block acknowledgement to send again when the next data block arrives.
    std::optional<std::vector<std::uint8_t>> lateDuplicate_;
    int lateDuplicatesSent_ = 0;

    std::vector<Frame> commands_;
    std::function<void(const Incoming&)> observer_;
};

}  // namespace corvane::sim
