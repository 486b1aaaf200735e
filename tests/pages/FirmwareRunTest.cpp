// Upgrade runs as the device sees them: every frame and block on the wire, the run log and the
// ready flag.
#include "tests/pages/FirmwareFixture.h"

namespace corvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST_F(FirmwareTest, A258ByteFileGoesOutAsTwoBlocksThenTheRebootProbe) {
    const Bytes file = FileOf(258);
    Load(file);
    RunToFirstBlock();
    AckBlock();
    h.Reply(BlockOk());
    h.Reply(kDeviceBack);

    const auto& w = h.link.writes;
    ASSERT_EQ(w.size(), 8u);
    EXPECT_EQ(Hex(w[0]), "A5 5B 20 01 01 00 00 00 00 00 00 00 DE");
    EXPECT_EQ(Hex(w[1]), "A5 5B 20 01 80 00 00 00 00 00 EE 00 71");
    EXPECT_EQ(Hex(w[2]), "A5 5B 20 01 10 00 00 00 00 00 00 00 CF");
    EXPECT_EQ(Hex(w[3]), "A5 5B 20 01 AA 00 00 01 01 40 00 00 F3");
    EXPECT_EQ(w[4], ExpectedBlock(file, 0));
    EXPECT_EQ(w[4][1], file[2] ^ 0x5C);  // 0x5E ^ 0x02, the low byte of 258
    EXPECT_EQ(Hex(w[5]), "A5 5B 20 01 56 00 00 01 01 40 01 00 46");
    EXPECT_EQ(w[6], Bytes(257, 0));  // the payload ended on a boundary: one block of zeros
    EXPECT_EQ(Hex(w[7]), "A5 5B 01 01 00 00 00 00 00 00 00 00 FE");

    EXPECT_EQ(Messages(),
              "->Upgrading MCU...\n->System rebooting, please wait...\n->System reboot ok \n"
              "->MCU upgrading complete \n->Firmware upgrade successfully \n");
    EXPECT_TRUE(Ready());
    EXPECT_EQ(Progress()->value(), 258);
    EXPECT_EQ(page->Plan().Position(), 0);

    // Nothing of the run is left running.
    h.Advance(30000);
    EXPECT_EQ(h.link.Count(), 8u);
    EXPECT_FALSE(h.program.popUps.MessageOpen());
}

TEST_F(FirmwareTest, A600ByteFileGoesOutAsThreeBlocksTheLastPaddedWithZeros) {
    const Bytes file = FileOf(600);
    Load(file);
    RunToFirstBlock();
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 0));
    AckBlock();
    EXPECT_EQ(Body(h.link.Frames().back()), "20 01 AA 00 00 01 01 40 01 00");
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 256));
    EXPECT_EQ(Progress()->value(), 256);
    AckBlock();
    EXPECT_EQ(Body(h.link.Frames().back()), "20 01 56 00 00 01 01 40 02 00");
    const Bytes last = LastWrite();
    EXPECT_EQ(last, ExpectedBlock(file, 512));
    EXPECT_EQ(last[86], file[599] ^ 0x5E ^ 0x58);
    EXPECT_EQ(Bytes(last.begin() + 87, last.end()), Bytes(170, 0));
    h.Reply(BlockOk());
    EXPECT_EQ(LastBody(), "01 01 00 00 00 00 00 00 00 00");
}

TEST_F(FirmwareTest, TheDeviceSteersBlocksToTheAlternateRegionAndBack) {
    const Bytes file = FileOf(6000);
    Load(file);
    RunToFirstBlock();
    AckBlock("F0");
    EXPECT_EQ(Body(h.link.Frames().back()), "20 01 AA 00 00 01 01 B0 01 00");
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 256));
    AckBlock("B0");  // the next block starts 4096 bytes after the one accepted
    EXPECT_EQ(Body(h.link.Frames().back()), "20 01 AA 00 00 01 01 40 00 00");
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 256 + 4096));
    AckBlock();
    EXPECT_EQ(Body(h.link.Frames().back()), "20 01 AA 00 00 01 01 40 01 00");
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 256 + 4096 + 256));
}

TEST_F(FirmwareTest, PageNumbersWrapAtThe257thBlock) {
    const Bytes file = FileOf(257 * 256 + 3);
    Load(file);
    RunToFirstBlock();
    for (int block = 1; block <= 256; ++block)
        AckBlock();
    const auto frames = h.link.Frames();
    EXPECT_EQ(Body(frames[frames.size() - 2]), "20 01 AA 00 00 01 01 40 FF 00");
    EXPECT_EQ(Body(frames.back()), "20 01 AA 00 00 01 01 40 00 00");
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 256 * 256));
    AckBlock();  // block 258 holds the last payload byte
    EXPECT_EQ(Body(h.link.Frames().back()), "20 01 56 00 00 01 01 40 01 00");
}

TEST_F(FirmwareTest, TheRebootProbeGoesOutSixTimesAndTheRunFailsAt18Seconds) {
    Load(FileOf(100));
    RunToFirstBlock();
    h.Reply(BlockOk());
    const std::size_t before = h.link.Count();  // the first probe is on the wire
    h.Advance(15000);
    EXPECT_EQ(h.link.Count(), before + 5);
    EXPECT_EQ(LastBody(), "01 01 00 00 00 00 00 00 00 00");
    EXPECT_TRUE(PopUpText().isEmpty());
    h.Advance(2999);
    EXPECT_TRUE(PopUpText().isEmpty());
    h.Advance(1);
    EXPECT_EQ(PopUpText(), "Time out!");
    EXPECT_FALSE(Ready());
    EXPECT_FALSE(Messages().contains("failed"));  // the red line follows the pop-up
    h.CloseMessage();
    EXPECT_TRUE(Messages().endsWith("->System rebooting, please wait...\n->MCU upgrade failed\n"));
    EXPECT_EQ(MessageColour(), QColor(255, 0, 0));
    EXPECT_TRUE(Ready());
    EXPECT_EQ(h.link.Count(), before + 5);
    h.Reply(kDeviceBack);  // too late: the run is over
    EXPECT_FALSE(Messages().contains("successfully"));
}

// Drives the run to the stage under test; each step's request is on the wire afterwards.
struct RetryCase {
    const char* name;
    int replies;  // how many of the run's replies come before the stage
};

void PrintTo(const RetryCase& c, std::ostream* os) {
    *os << c.name;
}

class FirmwareRetryTest : public FirmwareTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(FirmwareRetryTest, EachRequestIsResentOnceAfter3sAndFails3sLater) {
    Load(FileOf(600));
    Upgrade();
    const std::vector<std::string> replies = {kStartOk, kRequest80Ok, kRequest10Ok};
    for (int i = 0; i < GetParam().replies; ++i) {
        h.Reply(replies[i]);
        if (i != 1) h.Advance(50);  // the 0x80 request and each block follow a short pause
    }
    // The stage's request went out just now.
    const std::size_t sent = h.link.Count();
    const std::vector<std::uint8_t> request = h.link.writes.back();
    const bool block = GetParam().replies == 3;
    h.Advance(2999);
    ASSERT_EQ(h.link.Count(), sent);
    h.Advance(1);
    if (block) {
        // The announcement again, and 50 ms later the block.
        ASSERT_EQ(h.link.Count(), sent + 1);
        EXPECT_EQ(Body(h.link.Frames().back()), "20 01 AA 00 00 01 01 40 00 00");
        h.Advance(50);
    }
    ASSERT_EQ(h.link.Count(), sent + (block ? 2 : 1));
    EXPECT_EQ(h.link.writes.back(), request);
    h.Advance(2999);
    EXPECT_TRUE(PopUpText().isEmpty());
    h.Advance(1);
    EXPECT_EQ(PopUpText(), "Time out!");
    h.CloseMessage();
    EXPECT_TRUE(Messages().endsWith("->MCU upgrade failed\n"));
    EXPECT_EQ(MessageColour(), QColor(255, 0, 0));
    EXPECT_TRUE(Ready());
    EXPECT_EQ(h.link.Count(), sent + (block ? 2 : 1));
    EXPECT_EQ(page->RunStage(), CFWDlg::Stage::Idle);
}

INSTANTIATE_TEST_SUITE_P(Stages, FirmwareRetryTest,
                         ::testing::Values(RetryCase{"Start", 0}, RetryCase{"Request80", 1},
                                           RetryCase{"Request10", 2}, RetryCase{"Block", 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FirmwareTest, ALateAcknowledgementAfterAResendDoesNotSkipABlock) {
    const Bytes file = FileOf(600);
    Load(file);
    RunToFirstBlock();
    h.Advance(3050);     // block 0 announced and sent again
    h.Reply(BlockOk());  // the late answer to the first send
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 0));
    h.Advance(50);
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 0));  // still waiting for the resend's answer
    h.Reply(BlockOk());
    h.Advance(50);
    EXPECT_EQ(Body(h.link.Frames().back()), "20 01 AA 00 00 01 01 40 01 00");
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 256));
    AckBlock();
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 512));
}

TEST_F(FirmwareTest, AResentBlockAnsweredOnlyOnceMovesOnWhenTheResendIsOverdue) {
    const Bytes file = FileOf(600);
    Load(file);
    RunToFirstBlock();
    h.Advance(3050);
    h.Reply(BlockOk("F0"));
    h.Advance(2999);
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 0));
    h.Advance(1);  // no second answer came: the block was accepted, go on as it steered
    EXPECT_EQ(Body(h.link.Frames().back()), "20 01 AA 00 00 01 01 B0 01 00");
    h.Advance(50);
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 256));
    EXPECT_FALSE(h.program.popUps.MessageOpen());
}

// The resent announcement is always followed by its block, or the device would take the next
// announcement for block data; the run then waits for the resend's answer too.
TEST_F(FirmwareTest, AnAnswerBetweenAResentAnnouncementAndItsBlockStillLetsTheBlockFollow) {
    const Bytes file = FileOf(600);
    Load(file);
    RunToFirstBlock();
    h.Advance(3000);  // announcement resent; its block follows in 50 ms
    h.Reply(BlockOk());
    h.Advance(50);
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 0));
    h.Advance(50);
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 0));
    h.Reply(BlockOk());
    h.Advance(50);
    EXPECT_EQ(Body(h.link.Frames().back()), "20 01 AA 00 00 01 01 40 01 00");
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 256));
    AckBlock();
    AckBlock();
    h.Reply(kDeviceBack);
    const std::size_t done = h.link.Count();
    h.Advance(20000);
    EXPECT_EQ(h.link.Count(), done);
    EXPECT_FALSE(h.program.popUps.MessageOpen());
    EXPECT_TRUE(Messages().endsWith("->Firmware upgrade successfully \n"));
}

// Block 0's answer comes a second time after block 1's data went out. The page cannot tell it
// from block 1's answer, but the answer that then arrives with no block owed shows that the
// count is off: the run fails rather than flash on with steering that may be another block's.
TEST_F(FirmwareTest, AnAcknowledgementThatNoBlockIsOwedFailsTheRun) {
    struct Case {
        const char* name;
        int delay;  // from block 1's data to its own answer
    };
    for (const Case c : {Case{"own answer in the pause before block 2", 20},
                         Case{"answers one behind until the reboot probe", 70}}) {
        SCOPED_TRACE(c.name);
        const Bytes file = FileOf(600);
        Load(file);
        RunToFirstBlock();
        AckBlock();
        ASSERT_EQ(LastWrite(), ExpectedBlock(file, 256));
        h.Reply(BlockOk());  // block 0's, again
        h.Advance(c.delay);
        h.Reply(BlockOk());  // block 1's own
        h.Advance(50);
        if (c.delay > 50) h.Reply(BlockOk());  // block 2's own, in the reboot stage
        ASSERT_EQ(PopUpText(), "Time out!");
        EXPECT_FALSE(Ready());
        const std::size_t sent = h.link.Count();
        h.Reply(kDeviceBack);
        h.CloseMessage();
        h.Advance(20000);
        EXPECT_EQ(h.link.Count(), sent) << "nothing more of the run goes out";
        EXPECT_TRUE(Ready());
        EXPECT_TRUE(Messages().endsWith(
            "->Unexpected acknowledgement, upgrade stopped\n->MCU upgrade failed\n"));
        EXPECT_EQ(MessageColour(), QColor(255, 0, 0));
        h.link.Clear();
    }
}

// A block sent twice is answered twice; answers that steer differently cannot both be its.
TEST_F(FirmwareTest, TwoAnswersToOneBlockThatSteerDifferentlyFailTheRun) {
    Load(FileOf(600));
    RunToFirstBlock();
    h.Advance(3050);
    h.Reply(BlockOk());
    h.Reply(BlockOk("F0"));
    EXPECT_EQ(PopUpText(), "Time out!");
    EXPECT_EQ(page->RunStage(), CFWDlg::Stage::Idle);
}

TEST_F(FirmwareTest, RepliesForAnotherStageAreIgnored) {
    Load(FileOf(600));
    Upgrade();
    for (const std::string& reply : {kRequest80Ok, kRequest10Ok, BlockOk(), kDeviceBack}) {
        h.Reply(reply);
    }
    h.Advance(50);
    EXPECT_EQ(h.link.Count(), 1u);
    EXPECT_EQ(page->RunStage(), CFWDlg::Stage::Start);
    h.Reply(kStartOk);
    h.Advance(50);
    h.Reply(kStartOk);  // the answer to a resend, after the run moved on
    h.Advance(50);
    EXPECT_EQ(h.link.Count(), 2u);
    EXPECT_EQ(page->RunStage(), CFWDlg::Stage::Request80);
}

TEST_F(FirmwareTest, DeviceBackOutsideARunWritesNothing) {
    h.main.Link().ready = 0;
    h.Reply(kDeviceBack);
    EXPECT_EQ(Messages(), "");
    EXPECT_FALSE(Ready());
}

TEST_F(FirmwareTest, UpgradeWithoutAFileAsksForOneAndSendsNothing) {
    Upgrade();
    EXPECT_EQ(PopUpText(), "Please open the file(.fw)!");
    h.CloseMessage();
    EXPECT_TRUE(Ready());
    EXPECT_EQ(h.link.Count(), 0u);
}

TEST_F(FirmwareTest, ASecondPressDuringARunIsRefusedAndAFailedRunTurnsBlackOnTheNext) {
    Load(FileOf(600));
    Upgrade();
    Upgrade();
    EXPECT_EQ(h.link.Count(), 1u);
    EXPECT_FALSE(h.program.popUps.MessageOpen());
    h.Advance(6000);
    h.CloseMessage();
    ASSERT_TRUE(page->Failed());
    Upgrade();
    EXPECT_FALSE(page->Failed());
    EXPECT_EQ(MessageColour(), QColor(0, 0, 0));
    EXPECT_EQ(Messages(), "->Upgrading MCU...\n");
}

TEST_F(FirmwareTest, TheScalerRequestIsAnsweredRetriedOnceOrTimesOut) {
    Harness::Click(page, IDC_FW_SCALER);
    h.Settle();
    EXPECT_EQ(LastBody(), "07 07 00 00 00 00 00 00 00 00");
    EXPECT_FALSE(Ready());
    h.Reply("07 07 00 00 00 00 00 00 00 00");
    EXPECT_TRUE(Ready());
    h.Advance(6000);
    EXPECT_EQ(h.link.Count(), 1u);

    Harness::Click(page, IDC_FW_SCALER);
    h.Advance(3000);
    EXPECT_EQ(h.link.Count(), 3u);
    h.Advance(3000);
    EXPECT_EQ(PopUpText(), "Time out!");
    h.CloseMessage();
    EXPECT_TRUE(Ready());
    EXPECT_EQ(Messages(), "");

    // An answer nobody waits for does not release the ready flag.
    h.main.Link().ready = 0;
    h.Reply("07 07 00 00 00 00 00 00 00 00");
    EXPECT_FALSE(Ready());
}

// The tab's device information queries take no ready flag, so their answers may come during a
// run; the queries they lead to must wait, or one would go out between a block's announcement
// and its data and be taken by the device as the start of the block.
TEST_F(FirmwareTest, DeviceInformationAnswersDuringARunPutNothingOnTheLine) {
    const Bytes file = FileOf(600);
    Load(file);
    Upgrade();
    h.Reply(kStartOk);
    h.Advance(50);
    h.Reply(kRequest80Ok);
    h.Reply(kRequest10Ok);
    const std::size_t announced = h.link.Count();
    h.Reply("01 01 02 00 00 00 00 00 CC 00");
    h.Reply("01 02 08 00 08 00 00 00 CC 00");
    h.Reply("01 03 02 00 0A 00 00 00 CC 00");
    h.Advance(50);
    ASSERT_EQ(h.link.Count(), announced + 1);
    EXPECT_EQ(LastWrite(), ExpectedBlock(file, 0));
    AckBlock();
    AckBlock();
    h.Reply(BlockOk());
    h.Reply(kDeviceBack);
    EXPECT_TRUE(Messages().endsWith("->Firmware upgrade successfully \n"));
    EXPECT_EQ(page->ItemText(IDC_FW_STATUS), "");

    // Outside a run they are answered as before.
    h.Reply("01 01 02 00 00 00 00 00 CC 00");
    EXPECT_EQ(LastBody(), "01 02 00 00 00 00 00 00 CC 00");
}

}  // namespace
}  // namespace corvane::test
