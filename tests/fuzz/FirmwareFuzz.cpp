// The firmware controller on its own, on a manual clock, with a stand-in session that hands
// every frame and block it is asked to send to a model of the device.
//
// The input is the .fw file. Its two prefix bytes never go out, so they choose the device: with
// bit 7 of the first byte clear it answers every request once and in time; with it set it
// misbehaves as the first two bytes seed, either losing requests and blocks (answering within
// the retry period) or answering late, out of turn and twice (never losing an answer).
// Answers leave the device in the order it made them.
//
// Invariants: a file is loaded exactly when it has a payload and fits the image, and a refused
// one keeps the image before; every data block is 257 bytes with a valid checksum, follows its
// own announcement and carries exactly the scrambled file bytes of the block announced; no
// device information query goes out during a run; a run never reports success while a block it
// sent is unacknowledged by the device, or with a block placed other than the device steered
// it; every run ends, and the ready flag comes back with its
// end; a device without faults always gets the whole image.

#include "session/FirmwareController.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/support/StandInHost.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

using corvane::Block;
using corvane::FirmwareController;
using corvane::Frame;
using Stage = FirmwareController::Stage;
using End = FirmwareController::End;

namespace {

Frame Reply(std::uint8_t b2, std::uint8_t b3, std::uint8_t b4, std::uint8_t b7, std::uint8_t b8,
            std::uint8_t b10) {
    return corvane::MakeFrame(b2, b3, {b4, 0, 0, b7, b8, 0, b10, 0});
}

std::uint8_t Steer(std::uint8_t b) {
    if (b < 0x20) return 0xF0;  // to the alternate region
    if (b < 0x40) return 0xB0;  // back, 4096 bytes on
    return b;
}

class Ends final : public FirmwareController::Listener {
public:
    std::vector<End> ends;
    void RunLogCleared() override {}
    void RunLogLine(const QString&, FirmwareController::LineKind) override {}
    void ImageLoaded(const QString&, int) override {}
    void FileRefused(const QString&) override { ++refusals; }
    void Progress(int) override {}
    void DeviceInfo(const QString&) override {}
    void Ended(End end) override { ends.push_back(end); }
    int refusals = 0;
};

struct Device {
    enum class Faults { None, Losses, Surplus };
    Faults faults = Faults::None;
    std::uint32_t state = 1;
    int rate = 0;  // out of 32

    std::uint32_t Random() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    bool Misbehaves() { return faults != Faults::None && static_cast<int>(Random() % 32) < rate; }
};

void CheckBlock(const Block& block, const std::uint8_t* file, int length, int position) {
    unsigned sum = 0;
    for (std::uint8_t b : block)
        sum += b;
    FUZZ_CHECK(sum % 256 == 0);
    const auto mask = static_cast<std::uint8_t>(0x5E ^ (length & 0xFF));
    for (int i = 0; i < 256; ++i) {
        const long long index = static_cast<long long>(position) + 2 + i;
        const std::uint8_t expected = index < length ? file[index] ^ mask : 0;
        FUZZ_CHECK(block[static_cast<std::size_t>(1 + i)] == expected);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::ManualClock clock;
    corvane::test::StandInHost session(clock);
    Ends ends;
    FirmwareController controller(session, clock);
    controller.SetListener(&ends);

    // A refused file keeps what was loaded before.
    static const std::uint8_t kEarlier[3] = {1, 2, 3};
    FUZZ_CHECK(controller.LoadImage(kEarlier, {}) == FirmwareController::LoadResult::Loaded);
    const bool acceptable = size > 2 && size <= 100000;
    const auto loaded = controller.LoadImage(std::span(data, size), {});
    FUZZ_CHECK((loaded == FirmwareController::LoadResult::Loaded) == acceptable);
    FUZZ_CHECK(controller.ImageLength() == (acceptable ? static_cast<int>(size) : 3));
    FUZZ_CHECK(ends.refusals == (acceptable ? 0 : 1));
    if (!acceptable) return 0;
    const int length = static_cast<int>(size);

    Device device;
    if (data[0] & 0x80) {
        device.faults = (data[0] & 0x40) ? Device::Faults::Surplus : Device::Faults::Losses;
        device.rate = 1 + (data[0] & 0x0F);
        device.state = (static_cast<std::uint32_t>(data[0]) << 8 | data[1]) * 2654435761u + 1u;
    }

    // Answers leave the device in the order made: none is delivered before an earlier one.
    std::int64_t lineFree = 0;
    // position: the block an acknowledgement answers, counted as acknowledged once delivered.
    std::set<int> ackedPositions;
    auto answer = [&](const Frame& frame, int delay, int position = -1) {
        const std::int64_t at = std::max(clock.Now() + delay, lineFree);
        lineFree = at;
        clock.Schedule(static_cast<int>(at - clock.Now()), [&, frame, position] {
            if (position >= 0) ackedPositions.insert(position);
            controller.OnFirmwareReply(frame);
        });
    };
    // Delays within the retry period, or (for a device that never loses an answer) past it.
    auto delay = [&]() -> int {
        if (!device.Misbehaves()) return 1;
        if (device.faults == Device::Faults::Losses)
            return static_cast<int>(device.Random() % 2900);
        return static_cast<int>(device.Random() % 7000);
    };
    auto lost = [&] { return device.faults == Device::Faults::Losses && device.Misbehaves(); };

    std::optional<Frame> announcement;  // the device takes the next block as its data
    std::set<int> sentPositions;
    std::vector<int> order;               // the blocks in the order first sent
    std::map<int, std::uint8_t> steerOf;  // the device's steering for each block it answered
    int blocks = 0;
    // A steer back moves the position 4096 bytes on, and each block at least 256.
    const int bound = 2 * (length / 256 + 2);

    session.onFrame = [&](const Frame& f) {
        FUZZ_CHECK(corvane::IsChecksumValid(f.data()));
        // Device information queries go out only outside a run.
        if (f[2] == 0x01 && f[10] == 0xCC) {
            FUZZ_CHECK(controller.RunStage() == Stage::Idle);
            return;
        }
        announcement.reset();
        if (f[2] == 0x20 && f[3] == 0x01 && f[7] == 0x01 && f[8] == 0x01) {
            announcement = f;
            return;
        }
        if (lost()) return;
        if (f[2] == 0x20 && f[4] == 0x01)
            answer(Reply(0x20, 0x01, 0xAA, 0, 0, 0), delay());
        else if (f[2] == 0x20 && f[4] == 0x80)
            answer(Reply(0x20, 0x01, 0x00, 0, 0, 0xEE), delay());
        else if (f[2] == 0x20 && f[4] == 0x10)
            answer(Reply(0x20, 0x01, 0x00, 0, 0, 0x00), delay());
        else if (f[2] == 0x01 && f[3] == 0x01)
            answer(Reply(0x01, 0x01, 0x00, 0, 0, 0x00), delay());
    };
    session.onBlock = [&](const Block& block) {
        FUZZ_CHECK(announcement.has_value());
        const Frame a = *announcement;
        announcement.reset();
        const corvane::BlockPlan& plan = controller.Plan();
        FUZZ_CHECK(a[4] == plan.Mark() && a[9] == plan.Region() && a[10] == plan.PageNumber());
        const int position = plan.Position();
        FUZZ_CHECK(position >= 0 && position < length + 4096);
        CheckBlock(block, data, length, position);
        if (sentPositions.insert(position).second) {
            order.push_back(position);
            FUZZ_CHECK(++blocks <= bound);
        }
        if (lost()) return;
        const std::uint8_t steer = Steer(data[static_cast<std::size_t>(position) % size]);
        steerOf.emplace(position, steer);
        answer(Reply(0x20, 0x01, 0x00, 0x01, 0x01, steer), delay(), position);
        if (device.faults == Device::Faults::Surplus && device.Misbehaves()) {
            // Once more, steering the same or not.
            const std::uint8_t again =
                (device.Random() & 1) ? steer : Steer(device.Random() & 0xFF);
            answer(Reply(0x20, 0x01, 0x00, 0x01, 0x01, again), delay(), position);
        }
    };

    // Device information answers may arrive at any time, in or out of a run.
    if (device.faults != Device::Faults::None && (data[1] & 1)) {
        const int at = static_cast<int>(device.Random() % 20000);
        for (std::uint8_t sub = 1; sub <= 3; ++sub)
            clock.Schedule(at + sub, [&controller, sub] {
                controller.OnFirmwareReply(Reply(0x01, sub, sub, 0, 0, 0xCC));
            });
    }

    FUZZ_CHECK(controller.StartUpgrade());
    FUZZ_CHECK(!session.ready);
    clock.RunPending();
    // Every timer of the run is bounded: the clock runs dry.
    for (int steps = 0; clock.AdvanceToNext(); ++steps)
        FUZZ_CHECK(steps < 40 * bound + 1000);

    FUZZ_CHECK(controller.RunStage() == Stage::Idle);
    FUZZ_CHECK(ends.ends.size() == 1);
    const End end = ends.ends.front();
    if (end == End::Upgraded) {
        FUZZ_CHECK(session.ready);
        FUZZ_CHECK(blocks >= 1);
        // Each block was answered, and the next one is where the device's answer steered.
        corvane::BlockPlan replay(length);
        replay.Restart();
        for (std::size_t i = 0; i < order.size(); ++i) {
            FUZZ_CHECK(replay.Position() == order[i]);
            FUZZ_CHECK(ackedPositions.count(order[i]) == 1);
            FUZZ_CHECK(replay.Accept(steerOf.at(order[i])) == (i + 1 < order.size()));
        }
    } else {
        FUZZ_CHECK(device.faults != Device::Faults::None);
        FUZZ_CHECK(end == End::TimedOut || end == End::UnexpectedAcknowledgement);
        FUZZ_CHECK(!session.ready);
        controller.FinishEnd(end);
        FUZZ_CHECK(session.ready && controller.Failed());
    }
    return 0;
}
