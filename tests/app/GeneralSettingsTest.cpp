// The beeper check box and the factory reset sequence, on the serial fake link and the manual
// clock.
#include "app/GeneralSettings.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using test::Harness;

const char* const kStepBodies[] = {
    "02 03 03 00 01 00 00 00 00 00", "0A 06 02 00 01 00 00 00 00 00",
    "0A 0C 01 00 01 00 00 00 00 00", "03 08 F0 00 00 00 00 00 00 00",
    "03 02 04 F0 03 00 00 00 00 00", "12 01 F0 F0 03 00 00 00 00 00",
};
// What the switcher answers to each step.
const char* const kAnswers[] = {
    "02 03 00 03 01 00 00 00 00 00", "0A 06 00 02 01 00 00 00 00 00",
    "0A 0C 00 01 01 00 00 00 00 00", "03 08 00 00 00 00 00 00 00 00",
    "03 02 00 00 03 00 00 00 00 00", "12 01 00 00 00 00 00 00 00 00",
};

class FactoryResetTest : public ::testing::Test {
protected:
    // Factory Reset, and Ok to the question when it comes.
    void PressReset(int answer = 1058 /* Ok */) {
        Harness::Click(&h.main, IDC_FACTORY_RESET);
        h.Settle();
        if (h.program.popUps.MessageOpen()) {
            EXPECT_EQ(h.program.popUps.MessageText(), GeneralSettings::kResetQuestion);
            h.CloseMessage(answer);
        }
    }
    Harness h;
};

TEST_F(FactoryResetTest, SixStepsEachSentOnTheAnswerToTheLast) {
    PressReset();
    EXPECT_EQ(h.program.popUps.BusyText(), "Setting");
    EXPECT_TRUE(h.program.popUps.BusyOpen());
    h.Advance(2999);
    EXPECT_EQ(h.link.Count(), 0u);
    h.Advance(1);
    ASSERT_EQ(h.link.Count(), 1u);
    EXPECT_EQ(h.link.LastBody(), kStepBodies[0]);
    for (int step = 1; step < 6; ++step) {
        h.Reply(kAnswers[step - 1]);
        ASSERT_EQ(h.link.Count(), static_cast<std::size_t>(step + 1));
        EXPECT_EQ(h.link.LastBody(), kStepBodies[step]);
        EXPECT_EQ(h.main.Link().ready, 0);
    }
    h.Reply(kAnswers[5]);
    EXPECT_EQ(h.link.Count(), 6u);
    EXPECT_EQ(h.main.Link().ready, 1);
    EXPECT_EQ(h.program.popUps.BusyText(), "Set successfully!");
    EXPECT_TRUE(h.program.popUps.BusyOpen());
    h.Advance(899);
    EXPECT_TRUE(h.program.popUps.BusyOpen());
    h.Advance(1);
    EXPECT_FALSE(h.program.popUps.BusyOpen());
    for (int id = 2500; id <= 2511; ++id)
        EXPECT_FALSE(h.main.Settings().Reset().Timers().IsRunning(id)) << id;
}

TEST_F(FactoryResetTest, AStepIsSentOnceMoreAfterThreeSecondsAndGivenUpThreeSecondsLater) {
    PressReset();
    h.Advance(3000);
    h.Reply(kAnswers[0]);  // step 2 out
    h.Advance(3000);
    ASSERT_EQ(h.link.Count(), 3u);
    EXPECT_EQ(h.link.LastBody(), kStepBodies[1]);
    h.Advance(2999);
    EXPECT_FALSE(h.program.popUps.MessageOpen());
    h.Advance(1);
    EXPECT_FALSE(h.program.popUps.BusyOpen());
    EXPECT_EQ(h.program.popUps.MessageText(), "Time out!");
    EXPECT_EQ(h.link.Count(), 3u);
    h.CloseMessage();
    EXPECT_EQ(h.main.Link().ready, 1);

    // Step 1 is sent once only, 3 s after the confirmation, and given up 3 s after that.
    PressReset();
    h.link.Clear();
    h.Advance(5999);
    EXPECT_EQ(h.link.Count(), 1u);
    EXPECT_FALSE(h.program.popUps.MessageOpen());
    h.Advance(1);
    EXPECT_EQ(h.program.popUps.MessageText(), "Time out!");
}

TEST_F(FactoryResetTest, AResentStepIsThatStepEvenIfTheTransmitFrameWasUsedMeanwhile) {
    PressReset();
    h.Advance(3000);
    h.main.Tx().Compose(0x01, 0x0B);  // the beeper query of a link that came up
    h.Advance(3000);
    EXPECT_EQ(h.link.LastBody(), kStepBodies[0]);
}

TEST_F(FactoryResetTest, OnlyTheAnswerToTheStepOutMovesTheSequenceOn) {
    // Idle: a stray answer (a Switch command answered after its time-out) sends nothing.
    h.Reply(kAnswers[0]);
    h.Reply(kAnswers[4]);
    EXPECT_EQ(h.link.Count(), 0u);

    PressReset();
    h.Reply(kAnswers[0]);  // before step 1 is out
    EXPECT_EQ(h.link.Count(), 0u);
    h.Advance(3000);
    h.Reply("02 03 00 03 02 00 00 00 00 00");  // byte 6 other than 01
    EXPECT_EQ(h.link.Count(), 1u);
    h.Reply(kAnswers[0]);
    h.Reply(kAnswers[1]);  // step 3 out
    h.Reply(kAnswers[0]);  // a late duplicate of an earlier answer
    h.Reply(kAnswers[5]);  // the last step's answer, early
    EXPECT_EQ(h.link.Count(), 3u);
    EXPECT_EQ(h.main.Settings().SentStep(), 3);
    EXPECT_TRUE(h.program.popUps.BusyOpen());
    EXPECT_EQ(h.main.Link().ready, 0);
}

TEST_F(FactoryResetTest, CancelSendsNothingAndNoLongerRemindSkipsTheQuestion) {
    PressReset(1099 /* Cancel */);
    EXPECT_EQ(h.main.Link().ready, 1);
    h.Advance(10000);
    EXPECT_EQ(h.link.Count(), 0u);
    EXPECT_FALSE(h.program.popUps.BusyOpen());

    // Ticked, then cancelled: the tick still counts.
    Harness::Click(&h.main, IDC_FACTORY_RESET);
    h.Settle();
    Harness::Click(h.program.popUps.MessageWindow(), IDC_MSG_NO_REMIND);
    h.CloseMessage(1099);
    EXPECT_EQ(h.main.Link().ready, 1);

    Harness::Click(&h.main, IDC_FACTORY_RESET);
    h.Settle();
    EXPECT_FALSE(h.program.popUps.MessageOpen());
    EXPECT_TRUE(h.program.popUps.BusyOpen());
    h.Advance(3000);
    EXPECT_EQ(h.link.LastBody(), kStepBodies[0]);
}

TEST_F(FactoryResetTest, WithoutALinkTheGuardRefuses) {
    h.main.Link().comUp = 0;
    Harness::Click(&h.main, IDC_FACTORY_RESET);
    h.Settle();
    EXPECT_EQ(h.program.popUps.MessageText(), "Open COM failed!");
    h.CloseMessage();
    h.Advance(10000);
    EXPECT_EQ(h.link.Count(), 0u);
}

TEST(EnableBeep, TheMarkFollowsTheDeviceNotTheClick) {
    Harness h;
    h.main.Link().comUp = 0;
    Harness::Click(&h.main, IDC_ENABLE_BEEP);
    EXPECT_FALSE(h.main.IsItemChecked(IDC_ENABLE_BEEP));
    EXPECT_EQ(h.program.popUps.MessageText(), "Open COM failed!");
    h.CloseMessage();
    EXPECT_EQ(h.link.Count(), 0u);

    h.main.Link().comUp = 1;
    Harness::Click(&h.main, IDC_ENABLE_BEEP);
    EXPECT_FALSE(h.main.IsItemChecked(IDC_ENABLE_BEEP));
    EXPECT_EQ(h.link.LastBody(), "06 01 0F 00 DD 00 00 00 00 00");
    EXPECT_EQ(h.main.Link().ready, 1);
    h.Reply("06 01 00 0F DD 00 00 00 00 00");
    EXPECT_TRUE(h.main.IsItemChecked(IDC_ENABLE_BEEP));

    Harness::Click(&h.main, IDC_ENABLE_BEEP);
    EXPECT_TRUE(h.main.IsItemChecked(IDC_ENABLE_BEEP));
    EXPECT_EQ(h.link.LastBody(), "06 01 F0 00 00 00 00 00 00 00");
    h.Reply("06 01 00 F0 00 00 00 00 00 00");
    EXPECT_FALSE(h.main.IsItemChecked(IDC_ENABLE_BEEP));

    // The state report on connect reads the other way round: 00 is enabled.
    h.Reply("01 0B 00 00 00 00 00 00 00 00");
    EXPECT_TRUE(h.main.IsItemChecked(IDC_ENABLE_BEEP));
    h.Reply("01 0B 00 00 01 00 00 00 00 00");
    EXPECT_FALSE(h.main.IsItemChecked(IDC_ENABLE_BEEP));
    h.Reply("01 0B 01 00 00 00 00 00 00 00");  // byte 4 not 0: no report
    EXPECT_FALSE(h.main.IsItemChecked(IDC_ENABLE_BEEP));
}

}  // namespace
}  // namespace corvane
