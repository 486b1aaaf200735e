// Faults the simulated switcher commits on request, as the tests of the program's time-outs and
// retries use them.

#include "sim/DeviceModel.h"
#include "sim/Faults.h"
#include "tests/sim/SimTest.h"

#include <gtest/gtest.h>

namespace corvane::sim::test {
namespace {

const char kBeeperQuery[] = "01 0B 00 00 00 00 00 00 00 00";
const char kInputQuery[] = "02 01 01 00 00 00 00 00 00 00";

FaultRule Rule(FaultAction action, const std::string& text) {
    std::string error;
    auto rule = ParseFaultRule(action, text, &error);
    EXPECT_TRUE(rule.has_value()) << error;
    return rule.value_or(FaultRule{});
}

TEST(FaultParse, PatternsDelaysAndCounts) {
    const FaultRule some = Rule(FaultAction::Corrupt, "20,01,*,00@3");
    ASSERT_EQ(some.pattern.size(), 4u);
    EXPECT_FALSE(some.pattern[2].has_value());
    EXPECT_EQ(some.remaining, 3);
    EXPECT_TRUE(some.Matches(FrameFromBody("20 01 80 00 00 00 00 00 EE 00")));
    EXPECT_FALSE(some.Matches(FrameFromBody("20 01 80 01 00 00 00 00 EE 00")));
    EXPECT_EQ(Rule(FaultAction::Drop, "20,01").remaining, -1);
    EXPECT_EQ(ToString(Rule(FaultAction::Delay, "02,03:8000@1")), "delay 02,03:8000 x1");

    for (const char* bad : {"20", "2001", "20,GG", "20,01,100", "20,01@0", "20,01@x", "",
                            "1,2,3,4,5,6,7,8,9,10,11"}) {
        std::string error;
        EXPECT_FALSE(ParseFaultRule(FaultAction::Drop, bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_FALSE(ParseFaultRule(FaultAction::Delay, "02,03"));
    EXPECT_FALSE(ParseFaultRule(FaultAction::Delay, "02,03:-5"));
}

TEST(Faults, DropForTheNextNOnlyAndTheCommandIsStillCarriedOut) {
    DeviceModel m;
    m.AddFault(Rule(FaultAction::Drop, "02,03@2"));
    EXPECT_TRUE(Send(m, "02 03 05 00 01 00 00 00 00 00").empty());
    EXPECT_EQ(Send(m, kInputQuery).size(), 1u) << "other commands are not touched";
    EXPECT_TRUE(Send(m, "02 03 06 00 01 00 00 00 00 00").empty());
    EXPECT_EQ(m.State().input, 6);
    EXPECT_EQ(Send(m, "02 03 07 00 01 00 00 00 00 00").size(), 1u);
    EXPECT_TRUE(m.Faults().empty()) << "a spent rule goes away";
}

TEST(Faults, CorruptDelayAndDuplicateCombine) {
    DeviceModel m;
    const auto good = Send(m, kBeeperQuery);
    m.AddFault(Rule(FaultAction::Corrupt, "01,0B@1"));
    m.AddFault(Rule(FaultAction::Delay, "01,0B:8000"));
    m.AddFault(Rule(FaultAction::Duplicate, "01,0B@1"));
    auto r = Send(m, kBeeperQuery);
    ASSERT_EQ(good.size(), 1u);
    ASSERT_EQ(r.size(), 2u);
    for (const auto& reply : r) {
        EXPECT_EQ(reply.delayMs, 8000);
        EXPECT_FALSE(IsChecksumValid(reply.bytes.data()));
        EXPECT_TRUE(
            std::equal(good[0].bytes.begin(), good[0].bytes.begin() + 12, reply.bytes.begin()));
    }
    r = Send(m, kBeeperQuery);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].delayMs, 8000);
    EXPECT_EQ(r[0].bytes, good[0].bytes);
    EXPECT_EQ(Send(m, kInputQuery).at(0).delayMs, 0);
}

TEST(Faults, SilentTakesNothingIn) {
    DeviceModel m;
    m.SetSilent(true);
    EXPECT_TRUE(Send(m, "02 03 05 00 01 00 00 00 00 00").empty());
    EXPECT_EQ(m.State().input, 1);
    m.SetSilent(false);
    EXPECT_EQ(Send(m, kBeeperQuery).size(), 1u);
}

TEST(Faults, LineClosesAfterNRepliesOrOnACommand) {
    DeviceModel m;
    m.CloseAfter(2);
    m.AddFault(Rule(FaultAction::Drop, "01,0B@1"));
    EXPECT_TRUE(Send(m, kBeeperQuery).empty()) << "a dropped answer does not count";
    EXPECT_EQ(Send(m, kInputQuery).size(), 1u);
    const auto last = Send(m, kInputQuery);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_FALSE(last[0].closeLine);
    EXPECT_TRUE(last[1].closeLine);
    EXPECT_TRUE(m.LineClosed());
    EXPECT_TRUE(Send(m, kInputQuery).empty());

    DeviceModel n;
    n.AddFault(Rule(FaultAction::Close, "20,01,80"));
    EXPECT_EQ(Send(n, "20 01 01 00 00 00 00 00 00 00").size(), 1u);
    const auto r = Send(n, "20 01 80 00 00 00 00 00 EE 00");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_TRUE(r[0].closeLine);
    EXPECT_TRUE(n.LineClosed());
}

// A unit that writes each block to flash for 40 ms: the stale answer to block 00 comes when
// block 01 is in, ahead of block 01's own answer, and nothing overtakes a block being written.
TEST(Faults, ALateDuplicateFollowsTheNextBlockAheadOfItsAnswer) {
    DeviceModel m(DeviceSettings{.flashMs = 40});
    m.AddFault(Rule(FaultAction::LateDuplicate, "20,01,*,00,00,01,01,40,00@1"));
    auto block = [&](std::uint8_t page, std::int64_t now) {
        auto wire = Wire(MakeFrame(0x20, 0x01, {0xAA, 0, 0, 1, 1, 0x40, page, 0}));
        wire.insert(wire.end(), 257, 0);  // zeros: the checksum of 256 zeros is zero
        return m.Receive(wire, now);
    };
    const auto first = block(0, 100);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].delayMs, 40);
    const auto second = block(1, 200);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].delayMs, 0);
    EXPECT_EQ(second[0].bytes, first[0].bytes);
    EXPECT_EQ(AsFrame(second[1])[11], 0x01) << "then block 01's own answer";
    EXPECT_EQ(second[1].delayMs, 40);
    EXPECT_EQ(Send(m, kInputQuery, 210).at(0).delayMs, 30) << "waits for the flash";
    EXPECT_EQ(block(2, 300).size(), 1u) << "once only";
    EXPECT_EQ(m.LateDuplicatesSent(), 1);
}

}  // namespace
}  // namespace corvane::sim::test
