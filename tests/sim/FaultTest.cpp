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
    const FaultRule drop = Rule(FaultAction::Drop, "20,01");
    EXPECT_EQ(drop.pattern.size(), 2u);
    EXPECT_EQ(drop.remaining, -1);
    const FaultRule some = Rule(FaultAction::Corrupt, "20,01,*,00@3");
    ASSERT_EQ(some.pattern.size(), 4u);
    EXPECT_FALSE(some.pattern[2].has_value());
    EXPECT_EQ(some.pattern[3], std::optional<std::uint8_t>(0x00));
    EXPECT_EQ(some.remaining, 3);
    const FaultRule delay = Rule(FaultAction::Delay, "02,03:8000@1");
    EXPECT_EQ(delay.delayMs, 8000);
    EXPECT_EQ(delay.remaining, 1);
    EXPECT_EQ(ToString(delay), "delay 02,03:8000 x1");

    for (const char* bad : {"20", "2001", "20,GG", "20,01,100", "20,01@0", "20,01@x", "",
                            "1,2,3,4,5,6,7,8,9,10,11"}) {
        std::string error;
        EXPECT_FALSE(ParseFaultRule(FaultAction::Drop, bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_FALSE(ParseFaultRule(FaultAction::Delay, "02,03"));
    EXPECT_FALSE(ParseFaultRule(FaultAction::Delay, "02,03:-5"));
}

TEST(FaultMatch, MoreBytesNarrowTheMatch) {
    const FaultRule r = Rule(FaultAction::Drop, "20,01,*,*,*,*,*,*,EE");
    EXPECT_TRUE(r.Matches(FrameFromBody("20 01 80 00 00 00 00 00 EE 00")));
    EXPECT_FALSE(r.Matches(FrameFromBody("20 01 10 00 00 00 00 00 00 00")));
    EXPECT_FALSE(r.Matches(FrameFromBody("20 02 80 00 00 00 00 00 EE 00")));
}

TEST(Faults, DropForTheNextNThenAnswerAgain) {
    DeviceModel m;
    m.AddFault(Rule(FaultAction::Drop, "01,0B@2"));
    EXPECT_TRUE(Send(m, kBeeperQuery).empty());
    EXPECT_EQ(Send(m, kInputQuery).size(), 1u) << "other commands are not touched";
    EXPECT_TRUE(Send(m, kBeeperQuery).empty());
    EXPECT_EQ(Send(m, kBeeperQuery).size(), 1u);
    EXPECT_TRUE(m.Faults().empty()) << "a spent rule goes away";
}

TEST(Faults, DropAlwaysStillChangesState) {
    DeviceModel m;
    m.AddFault(Rule(FaultAction::Drop, "02,03"));
    // The device carries the command out; only its answer is lost.
    EXPECT_TRUE(Send(m, "02 03 05 00 01 00 00 00 00 00").empty());
    EXPECT_TRUE(Send(m, "02 03 06 00 01 00 00 00 00 00").empty());
    EXPECT_EQ(m.State().input, 6);
}

TEST(Faults, CorruptGivesABadChecksumOnly) {
    DeviceModel m;
    const auto good = Send(m, kBeeperQuery);
    m.AddFault(Rule(FaultAction::Corrupt, "01,0B@1"));
    const auto bad = Send(m, kBeeperQuery);
    ASSERT_EQ(good.size(), 1u);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_FALSE(IsChecksumValid(bad[0].bytes.data()));
    EXPECT_TRUE(
        std::equal(good[0].bytes.begin(), good[0].bytes.begin() + 12, bad[0].bytes.begin()));
}

TEST(Faults, DelayAndDuplicateCombine) {
    DeviceModel m;
    m.AddFault(Rule(FaultAction::Delay, "02,03:8000"));
    m.AddFault(Rule(FaultAction::Duplicate, "02,03@1"));
    auto r = Send(m, "02 03 01 00 01 00 00 00 00 00");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].delayMs, 8000);
    EXPECT_EQ(r[1].delayMs, 8000);
    EXPECT_EQ(r[0].bytes, r[1].bytes);
    r = Send(m, "02 03 01 00 01 00 00 00 00 00");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].delayMs, 8000);
    EXPECT_EQ(Send(m, kBeeperQuery).at(0).delayMs, 0);
}

TEST(Faults, BlockAcksMatchTheirAnnouncement) {
    DeviceModel m;
    m.AddFault(Rule(FaultAction::Delay, "20,01,56:500"));
    Block block{};
    block[0] = BlockChecksum(block.data());
    const std::vector<std::uint8_t> data(block.begin(), block.end());
    EXPECT_TRUE(Send(m, "20 01 AA 00 00 01 01 40 00 00").empty());
    EXPECT_EQ(m.Receive(data).at(0).delayMs, 0);
    EXPECT_TRUE(Send(m, "20 01 56 00 00 01 01 40 01 00").empty());
    EXPECT_EQ(m.Receive(data).at(0).delayMs, 500);
}

TEST(Faults, SilentTakesNothingIn) {
    DeviceModel m;
    m.SetSilent(true);
    EXPECT_TRUE(Send(m, "02 03 05 00 01 00 00 00 00 00").empty());
    EXPECT_EQ(m.State().input, 1);
    m.SetSilent(false);
    EXPECT_EQ(Send(m, kBeeperQuery).size(), 1u);
}

TEST(Faults, CloseAfterNRepliesThenNothing) {
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
}

TEST(Faults, CloseOnACommandInsteadOfAnswering) {
    DeviceModel m;
    m.AddFault(Rule(FaultAction::Close, "20,01,80"));
    EXPECT_EQ(Send(m, "20 01 01 00 00 00 00 00 00 00").size(), 1u);
    const auto r = Send(m, "20 01 80 00 00 00 00 00 EE 00");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_TRUE(r[0].closeLine);
    EXPECT_TRUE(r[0].bytes.empty());
    EXPECT_TRUE(m.LineClosed());
}

}  // namespace
}  // namespace corvane::sim::test
