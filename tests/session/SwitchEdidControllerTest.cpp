// The switching and EDID controllers without a window: what they report to a listener, and the
// link they hold or free around a time-out.

#include "session/EdidController.h"
#include "session/SwitchController.h"
#include "tests/support/StandInHost.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace corvane {
namespace {

using test::StandInHost;

Frame Reply(std::uint8_t b2, std::uint8_t b3, std::uint8_t b4, std::uint8_t b6) {
    return MakeFrame(b2, b3, {b4, 0, b6});
}

struct SwitchLog : SwitchListener {
    void OnSwitchState(int kind, int value) override { states.emplace_back(kind, value); }
    void OnSwitchEnd(End end) override { ends.push_back(end); }
    std::vector<std::pair<int, int>> states;
    std::vector<End> ends;
};

class SwitchControllerTest : public ::testing::Test {
protected:
    SwitchControllerTest() { sw.SetListener(&log); }
    ManualClock clock;
    StandInHost host;
    SwitchController sw{host, clock};
    SwitchLog log;
};

TEST_F(SwitchControllerTest, AnInputChainReportsEachStateThenItsEnd) {
    ASSERT_TRUE(sw.SelectInput(6));
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0], MakeFrame(0x02, 0x03, {6, 0, 1}));
    sw.OnReply(Reply(0x02, 0x03, 0, 1));
    EXPECT_EQ(host.sent.back(), MakeFrame(0x90, 0x01, {0, 0, 6}));
    EXPECT_TRUE(log.ends.empty());
    sw.OnReply(Reply(0x90, 0x01, 2, 6));
    using L = SwitchListener;
    const std::vector<std::pair<int, int>> shown = {{L::kInput, 6}, {L::kVgaFormat, 2}};
    EXPECT_EQ(log.states, shown);
    EXPECT_EQ(log.ends, std::vector<L::End>{L::End::Confirmed});
    EXPECT_TRUE(host.ready);
    EXPECT_FALSE(sw.IsTimerRunning(SwitchController::kTimeoutTimer));
}

// A value the device has no button for is refused before the link is taken.
TEST_F(SwitchControllerTest, OutOfRangeValuesAreRefusedWithoutTakingTheLink) {
    EXPECT_FALSE(sw.SelectInput(0));
    EXPECT_FALSE(sw.SelectInput(9));
    EXPECT_FALSE(sw.SetResolution(6));
    EXPECT_FALSE(sw.SetAudio(3));
    EXPECT_FALSE(sw.SetVgaFormat(0));
    EXPECT_TRUE(host.ready);
    EXPECT_TRUE(host.sent.empty());
}

TEST_F(SwitchControllerTest, ATimeOutHoldsTheLinkUntilAcknowledged) {
    ASSERT_TRUE(sw.Scaler());
    clock.Advance(6999);
    EXPECT_TRUE(log.ends.empty());
    clock.Advance(1);
    EXPECT_EQ(log.ends, std::vector<SwitchListener::End>{SwitchListener::End::TimeOut});
    EXPECT_FALSE(host.ready);
    sw.TimeOutAcknowledged();
    EXPECT_TRUE(host.ready);
    sw.TimeOutAcknowledged();  // a second close frees nothing more
    ASSERT_TRUE(sw.AutoAdjust());
    sw.TimeOutAcknowledged();
    EXPECT_FALSE(host.ready);
}

struct EdidLog : EdidListener {
    EdidChoice CurrentChoice() const override { return choice; }
    void OnEdidEnd(End end) override { ends.push_back(end); }
    EdidChoice choice;
    std::vector<End> ends;
};

class EdidControllerTest : public ::testing::Test {
protected:
    EdidControllerTest() { edid.SetListener(&log); }
    ManualClock clock;
    StandInHost host;
    EdidController edid{host, clock};
    EdidLog log;
};

// The operation is built from the choice as it stands when the preparation is confirmed.
TEST_F(EdidControllerTest, TheOperationTakesTheChoiceOfTheMomentTheDeviceIsReady) {
    log.choice = {.preset = 2, .target = 1};
    ASSERT_TRUE(edid.StartPreset());
    log.choice = {.preset = 15, .target = 4};
    edid.OnReply(Reply(0x03, 0x08, 0, 0));
    EXPECT_EQ(host.sent.back(), MakeFrame(0x03, 0x02, {0x04, 0xF0, 5}));
    edid.OnReply(Reply(0x03, 0x02, 0, 5));
    EXPECT_EQ(log.ends, std::vector<EdidListener::End>{EdidListener::End::Confirmed});
    EXPECT_TRUE(host.ready);

    log.choice = {.source = 1, .copyTarget = 3};
    ASSERT_TRUE(edid.StartCopy());
    clock.Advance(7000);
    EXPECT_EQ(log.ends.back(), EdidListener::End::TimeOut);
    EXPECT_FALSE(host.ready);
    edid.OnReply(Reply(0x03, 0x08, 0, 0));  // late: no operation goes out
    EXPECT_EQ(host.sent.size(), 3u);
    edid.TimeOutAcknowledged();
    EXPECT_TRUE(host.ready);
}

}  // namespace
}  // namespace corvane
