// Firmware runs against the simulated switcher, driven the way the firmware page drives them:
// its byte transformation, its block plan and its reading of the device's steering answers are
// written out here on their own, so that the simulator is not checked against itself.

#include "sim/DeviceModel.h"
#include "tests/sim/SimTest.h"

#include <gtest/gtest.h>

#include <random>

namespace corvane::sim::test {
namespace {

std::vector<std::uint8_t> RandomFile(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> f(n);
    for (auto& b : f)
        b = static_cast<std::uint8_t>(gen());
    return f;
}

struct UpgradeRun {
    std::vector<Frame> announcements;
    std::vector<Frame> acks;
    std::int64_t endMs = 0;
    bool failed = false;
};

class Program {
public:
    explicit Program(DeviceModel& m) : m_(m) {}

    // One request, its answer checked by the reply table's test. A run sends a request at most
    // twice before it fails.
    bool Request(const std::string& body, const std::function<bool(const Frame&)>& accepted) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            for (const auto& r : Send(m_, body, now_))
                if (!r.closeLine && IsChecksumValid(r.bytes.data()) && accepted(AsFrame(r)))
                    return true;
            now_ += 3000;
        }
        return false;
    }

    UpgradeRun Upgrade(const std::vector<std::uint8_t>& file) {
        UpgradeRun run;
        const auto length = static_cast<std::int64_t>(file.size());
        std::vector<std::uint8_t> image(file.size());
        for (std::size_t i = 0; i < file.size(); ++i)
            image[i] = static_cast<std::uint8_t>(file[i] ^ 0x5E ^ (file.size() & 0xFF));

        if (!Request("20 01 01 00 00 00 00 00 00 00",
                     [](const Frame& f) { return f[2] == 0x20 && f[3] == 0x01 && f[4] == 0xAA; }) ||
            !Request("20 01 80 00 00 00 00 00 EE 00",
                     [](const Frame& f) {
                         return f[2] == 0x20 && f[4] == 0 && f[6] == 0 && f[7] == 0 && f[8] == 0 &&
                                f[10] == 0xEE;
                     }) ||
            !Request("20 01 10 00 00 00 00 00 00 00", [](const Frame& f) {
                return f[2] == 0x20 && f[4] == 0 && f[6] == 0 && f[7] == 0 && f[8] == 0 &&
                       f[10] != 0xEE;
            })) {
            run.failed = true;
            return run;
        }

        std::int64_t position = 0, pageCounter = 0;
        std::uint8_t region = 0x40, page = 0, mark = 0xAA;
        for (;;) {
            const Frame announce = MakeFrame(0x20, 0x01, {mark, 0, 0, 1, 1, region, page, 0});
            Block block{};
            for (std::int64_t i = 0; i < 256; ++i) {
                const std::int64_t at = position + 2 + i;
                block[static_cast<std::size_t>(i) + 1] =
                    at < length ? image[static_cast<std::size_t>(at)] : 0;
            }
            block[0] = BlockChecksum(block.data());

            std::optional<Frame> ack;
            for (int attempt = 0; attempt < 2 && !ack; ++attempt) {
                EXPECT_TRUE(m_.Receive(Wire(announce), now_).empty())
                    << "an announcement has no answer";
                now_ += 50;
                for (const auto& r :
                     m_.Receive(std::vector<std::uint8_t>(block.begin(), block.end()), now_)) {
                    const Frame f = AsFrame(r);
                    if (IsChecksumValid(f.data()) && f[2] == 0x20 && f[3] == 0x01 && f[4] == 0 &&
                        f[7] == 1 && f[8] == 1)
                        ack = f;
                }
                if (!ack) now_ += 3000;
            }
            if (!ack) {
                run.failed = true;
                return run;
            }
            run.announcements.push_back(announce);
            run.acks.push_back(*ack);
            now_ += 10;

            position += 256;
            pageCounter += 256;
            if (position >= length) break;
            if ((*ack)[10] == 0xF0) {
                region = 0xB0;
                page = 0x01;
            } else if ((*ack)[10] == 0xB0) {
                region = 0x40;
                position += 3840;
                pageCounter = 0;
                page = 0;
            } else {
                region = 0x40;
                page = static_cast<std::uint8_t>((pageCounter >> 8) & 0xFF);
            }
            mark = position + 256 >= length ? 0x56 : 0xAA;
        }
        run.endMs = now_;
        return run;
    }

    std::int64_t now_ = 0;

private:
    DeviceModel& m_;
};

TEST(FirmwareTransform, XorsWithKeyAndLengthAndDropsThePrefix) {
    // Length 3: every byte XOR 5E XOR 03 = XOR 5D.
    EXPECT_EQ(TransformFirmware({0x00, 0x01, 0x5D}), (std::vector<std::uint8_t>{0x5D, 0x5C, 0x00}));
    EXPECT_EQ(ExpectedPayload({0x00, 0x01, 0x5D}), (std::vector<std::uint8_t>{0x00}));
    // Length 256: the length byte is 0, only the key remains.
    std::vector<std::uint8_t> f(256, 0x5E);
    EXPECT_EQ(TransformFirmware(f), std::vector<std::uint8_t>(256, 0x00));
    EXPECT_TRUE(ExpectedPayload({0x11, 0x22}).empty());
}

TEST(FirmwareRun, HundredThousandBytesCrossBothRegionSwitches) {
    DeviceModel m;
    Program program(m);
    const auto file = RandomFile(100000, 7);
    const UpgradeRun run = program.Upgrade(file);
    ASSERT_FALSE(run.failed);

    // Pages 00..FF of region 40, one block in region B0, then region 40 again 4096 bytes on.
    ASSERT_EQ(run.announcements.size(), 256u + 1u + 119u);
    EXPECT_EQ(Body(run.announcements[0]), "20 01 AA 00 00 01 01 40 00 00");
    EXPECT_EQ(Body(run.announcements[255]), "20 01 AA 00 00 01 01 40 FF 00");
    EXPECT_EQ(run.acks[254][10], 0x00);
    EXPECT_EQ(run.acks[255][10], 0xF0);
    EXPECT_EQ(Body(run.announcements[256]), "20 01 AA 00 00 01 01 B0 01 00");
    EXPECT_EQ(run.acks[256][10], 0xB0);
    EXPECT_EQ(Body(run.announcements[257]), "20 01 AA 00 00 01 01 40 00 00");
    EXPECT_EQ(Body(run.announcements[258]), "20 01 AA 00 00 01 01 40 01 00");
    EXPECT_EQ(Body(run.announcements.back()), "20 01 56 00 00 01 01 40 76 00");

    const auto& fw = m.Firmware();
    EXPECT_TRUE(fw.Complete());
    EXPECT_EQ(fw.BlocksAccepted(), run.announcements.size());
    ASSERT_EQ(fw.Skipped().size(), 1u);
    EXPECT_EQ(fw.Skipped()[0], (std::pair<std::size_t, std::size_t>{65792, 69632}));
    EXPECT_TRUE(fw.IsReceived(65791));
    EXPECT_FALSE(fw.IsReceived(65792));
    EXPECT_TRUE(fw.IsReceived(69632));

    const FirmwareCheck check = fw.Compare(file);
    EXPECT_TRUE(check.Matches()) << check.Describe();
    EXPECT_EQ(check.payloadBytes, 99998u);
    EXPECT_EQ(check.skippedBytes, 3840u);
    EXPECT_EQ(check.receivedBytes, 99998u - 3840u);

    // The same image checked against another file of that length differs.
    auto other = file;
    other[70000] ^= 0x01;
    const FirmwareCheck off = fw.Compare(other);
    EXPECT_FALSE(off.Matches());
    EXPECT_EQ(off.mismatches, 1u);
    EXPECT_EQ(off.firstMismatch, std::optional<std::size_t>(70000 - 2));
}

TEST(FirmwareRun, SmallFilesFollowTheBlockPlan) {
    struct Case {
        std::size_t length;
        std::vector<std::uint8_t> marks;
        bool complete;
    };
    for (const Case& c : {Case{258, {0xAA, 0x56}, true}, Case{600, {0xAA, 0xAA, 0x56}, true},
                          Case{2, {0xAA}, false}, Case{1, {0xAA}, false}}) {
        SCOPED_TRACE(c.length);
        DeviceModel m;
        Program program(m);
        const auto file = RandomFile(c.length, static_cast<unsigned>(c.length));
        const UpgradeRun run = program.Upgrade(file);
        ASSERT_FALSE(run.failed);
        ASSERT_EQ(run.announcements.size(), c.marks.size());
        for (std::size_t i = 0; i < c.marks.size(); ++i)
            EXPECT_EQ(run.announcements[i][4], c.marks[i]);
        const FirmwareCheck check = m.Firmware().Compare(file);
        EXPECT_TRUE(check.Matches()) << check.Describe();
        EXPECT_EQ(check.complete, c.complete);
        EXPECT_EQ(m.Firmware().Image().size(), 256 * c.marks.size());
    }
}

TEST(FirmwareRun, SmallBankRestartsPageNumbersAfterTheJump) {
    DeviceSettings s;
    s.bankBlocks = 4;
    DeviceModel m(s);
    Program program(m);
    const auto file = RandomFile(6000, 3);
    const UpgradeRun run = program.Upgrade(file);
    ASSERT_FALSE(run.failed);
    std::vector<std::string> placed;
    for (const auto& a : run.announcements)
        placed.push_back(Body(a).substr(21, 5));
    EXPECT_EQ(placed, (std::vector<std::string>{"40 00", "40 01", "40 02", "40 03", "B0 01",
                                                "40 00", "40 01", "40 02", "40 03"}));
    ASSERT_EQ(m.Firmware().Skipped().size(), 1u);
    EXPECT_EQ(m.Firmware().Skipped()[0], (std::pair<std::size_t, std::size_t>{1280, 5120}));
    const FirmwareCheck check = m.Firmware().Compare(file);
    EXPECT_TRUE(check.Matches()) << check.Describe();
}

TEST(FirmwareRun, WithoutSteeringPageNumbersWrapAndStillPlaceRight) {
    DeviceSettings s;
    s.bankBlocks = 0;
    DeviceModel m(s);
    Program program(m);
    const auto file = RandomFile(70000, 5);
    const UpgradeRun run = program.Upgrade(file);
    ASSERT_FALSE(run.failed);
    EXPECT_EQ(run.announcements[256][10], 0x00) << "the 257th block has page 00 again";
    const FirmwareCheck check = m.Firmware().Compare(file);
    EXPECT_TRUE(check.Matches()) << check.Describe();
    EXPECT_EQ(check.skippedBytes, 0u);
}

TEST(FirmwareRun, BadBlockIsNotAcknowledgedAndTheResendIs) {
    DeviceModel m;
    Program program(m);
    ASSERT_TRUE(program.Request("20 01 01 00 00 00 00 00 00 00",
                                [](const Frame& f) { return f[4] == 0xAA; }));
    const Frame announce = FrameFromBody("20 01 56 00 00 01 01 40 00 00");
    Block block{};
    block[1] = 0x42;
    block[0] = static_cast<std::uint8_t>(BlockChecksum(block.data()) + 1);
    EXPECT_TRUE(m.Receive(Wire(announce)).empty());
    EXPECT_TRUE(m.Receive(std::vector<std::uint8_t>(block.begin(), block.end())).empty());
    EXPECT_EQ(m.Firmware().BlocksAccepted(), 0u);

    block[0] = BlockChecksum(block.data());
    EXPECT_TRUE(m.Receive(Wire(announce)).empty());
    const auto replies = m.Receive(std::vector<std::uint8_t>(block.begin(), block.end()));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(Body(AsFrame(replies[0])), "20 01 00 00 00 01 01 40 00 00");
    EXPECT_EQ(m.Firmware().Image()[0], 0x42);
}

TEST(FirmwareRun, LostAckMeansTheBlockIsSentAgainAndLandsInPlace) {
    DeviceModel m;
    // The 3rd block's ack is lost once; the program resends announcement and block.
    auto rule = ParseFaultRule(FaultAction::Drop, "20,01,AA,00,00,01,01,40,02@1");
    ASSERT_TRUE(rule);
    m.AddFault(*rule);
    Program program(m);
    const auto file = RandomFile(1500, 11);
    const UpgradeRun run = program.Upgrade(file);
    ASSERT_FALSE(run.failed);
    EXPECT_EQ(run.announcements.size(), 6u);
    EXPECT_EQ(m.Firmware().BlocksAccepted(), 7u);
    EXPECT_TRUE(m.Firmware().Compare(file).Matches()) << m.Firmware().Compare(file).Describe();
}

TEST(FirmwareRun, RebootProbeIsAnsweredOnlyAfterTheReboot) {
    DeviceModel m;  // reboots for 4000 ms
    Program program(m);
    const UpgradeRun run = program.Upgrade(RandomFile(600, 1));
    ASSERT_FALSE(run.failed);
    const std::string probe = "01 01 00 00 00 00 00 00 00 00";
    // Probes at 0, 3 and 6 s after the last ack, as the firmware page sends them.
    EXPECT_TRUE(Send(m, probe, run.endMs).empty());
    EXPECT_TRUE(Send(m, probe, run.endMs + 3000).empty());
    EXPECT_TRUE(m.Rebooting(run.endMs + 3000));
    const auto replies = Send(m, probe, run.endMs + 6000);
    ASSERT_EQ(replies.size(), 1u);
    const Frame f = AsFrame(replies[0]);
    EXPECT_EQ(f[2], 0x01);
    EXPECT_EQ(f[3], 0x01);
    EXPECT_EQ(f[7], 0x00);
    EXPECT_EQ(f[8], 0x00);
    EXPECT_EQ(f[10], 0x00);
}

TEST(FirmwareRun, AnnouncementWithoutItsBlockIsForgottenInTime) {
    DeviceModel m;
    EXPECT_TRUE(Send(m, "20 01 AA 00 00 01 01 40 00 00", 1000).empty());
    // Within the block's time the next 13 bytes are taken as block data...
    EXPECT_TRUE(Send(m, "01 0B 00 00 00 00 00 00 00 00", 1100).empty());
    // ...later the incomplete block is dropped and what follows is read as frames again.
    EXPECT_EQ(Send(m, "01 0B 00 00 00 00 00 00 00 00", 5000).size(), 1u);
    EXPECT_EQ(m.Firmware().BlocksAccepted(), 0u);
}

TEST(FirmwareRun, UnknownRegionIsNotAcknowledged) {
    DeviceModel m;
    EXPECT_TRUE(Send(m, "20 01 AA 00 00 01 01 77 00 00").empty());
    Block block{};
    block[0] = BlockChecksum(block.data());
    EXPECT_TRUE(m.Receive(std::vector<std::uint8_t>(block.begin(), block.end())).empty());
    EXPECT_EQ(m.Firmware().BlocksAccepted(), 0u);
}

}  // namespace
}  // namespace corvane::sim::test
