#include "link/CommandFrame.h"
#include "link/DeviceSender.h"
#include "link/FrameAssembler.h"
#include "link/FrameRouter.h"
#include "link/TrafficLog.h"
#include "tests/support/FakeLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

using test::FakeLink;
using test::Hex;

// A log target that keeps the text exactly as written.
class TextTarget : public LogTarget {
public:
    void InsertAtCaret(const std::string& text) override { text_ += text; }
    void Empty() override {
        text_.clear();
        ++emptied_;
    }
    std::string text_;
    int emptied_ = 0;
};

const Frame kBeeperQuery = {0xA5, 0x5B, 0x01, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0xF4};

TEST(Checksum, FrameAndBlockGoldenValues) {
    EXPECT_EQ(FrameChecksum(kBeeperQuery.data()), 0xF4);
    EXPECT_TRUE(IsChecksumValid(kBeeperQuery.data()));
    EXPECT_EQ(MakeFrame(0x01, 0x0B), kBeeperQuery);
    // The Switch tab's current-input query: A5+5B+02+01+01 = 0x104 -> 0x04 -> 0xFC.
    EXPECT_EQ(MakeFrame(0x02, 0x01, {0x01})[12], 0xFC);

    Block block{};
    for (int i = 1; i <= 256; ++i)
        block[i] = 0x01;  // sum 256 = 0 mod 256
    EXPECT_EQ(BlockChecksum(block.data()), 0x00);
    block[256] = 0x02;  // sum 257 -> 1 -> 0xFF
    EXPECT_EQ(BlockChecksum(block.data()), 0xFF);
}

class AssemblerTest : public ::testing::Test {
protected:
    void Feed(const std::vector<std::uint8_t>& bytes) {
        for (auto b : bytes)
            assembler.OnRxByte(b);
    }
    void FeedFrame(const Frame& f) { Feed(std::vector<std::uint8_t>(f.begin(), f.end())); }

    std::vector<Frame> frames;
    FrameAssembler assembler{[this](const Frame& f) { frames.push_back(f); }};
};

TEST_F(AssemblerTest, OneFrameFedByteByByte) {
    FeedFrame(kBeeperQuery);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kBeeperQuery);
    EXPECT_FALSE(assembler.InFrame());
    EXPECT_EQ(assembler.ScanLength(), 2);
}

TEST_F(AssemblerTest, LeadingNoiseIsSkippedAndTheFrameStartsAtA5DirectlyFollowedBy5B) {
    Feed({0x00, 0xA5, 0x00, 0xA5});
    FeedFrame(kBeeperQuery);  // its A5 follows the noise's A5; the header is A5 5B
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kBeeperQuery);
}

TEST_F(AssemblerTest, HeaderInsideAFrameDoesNotRestartIt) {
    const std::vector<std::uint8_t> bytes = {0xA5, 0x5B, 0xA5, 0x5B, 1, 2,  3, 4,
                                             5,    6,    7,    8,    9, 10, 11};
    Feed(bytes);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(Hex(frames[0]), "A5 5B A5 5B 01 02 03 04 05 06 07 08 09");
    // The two bytes after the 13th are noise again.
    EXPECT_EQ(assembler.ScanLength(), 4);
}

TEST_F(AssemblerTest, NoiseWrapsTheScanAfter254BytesAndAHeaderAcrossTheWrapIsMissed) {
    // Positions 2..254 take 253 noise bytes; A5 lands on 255, then the scan wraps to 2.
    Feed(std::vector<std::uint8_t>(253, 0x11));
    EXPECT_EQ(assembler.ScanLength(), 255);
    Feed({0xA5});
    EXPECT_EQ(assembler.ScanLength(), 2);
    Feed({0x5B, 0x01, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0xF4});
    EXPECT_TRUE(frames.empty());
    EXPECT_FALSE(assembler.InFrame());
    // The next clean frame is found again.
    FeedFrame(kBeeperQuery);
    EXPECT_EQ(frames.size(), 1u);
}

TEST_F(AssemblerTest, ExactlyTwoHundredFiftyFourNoiseBytesReturnTheScanToTwo) {
    Feed(std::vector<std::uint8_t>(254, 0x22));
    EXPECT_EQ(assembler.ScanLength(), 2);
}

class RouterTest : public ::testing::Test {
protected:
    RouterTest() {
        for (Page p : {kPageGeneral, kPageEdid, kPageSwitch, kPageFirmware}) {
            router.SetHandler(p, [this, p](const Frame& f) { handled.emplace_back(p, f); });
        }
    }
    TextTarget sendText, receiveText;
    TrafficLog log{sendText, receiveText};
    FrameRouter router{log};
    std::vector<std::pair<int, Frame>> handled;
};

TEST_F(RouterTest, ValidFrameGoesToThePageInFront) {
    for (std::uint8_t page : {2, 3, 4, 1}) {
        handled.clear();
        router.SetCurrentPage(page);
        router.DispatchFrame(kBeeperQuery);
        ASSERT_EQ(handled.size(), 1u);
        EXPECT_EQ(handled[0].first, page);
    }
}

TEST_F(RouterTest, WrongChecksumIsLoggedButReachesNoHandler) {
    Frame bad = kBeeperQuery;
    bad[12] = 0xF5;
    router.SetCurrentPage(kPageSwitch);
    router.DispatchFrame(bad);
    EXPECT_TRUE(handled.empty());
    EXPECT_EQ(receiveText.text_, "A5 5B 01 0B 00 00 00 00 00 00 00 00 F5 \r\n");
}

TEST_F(RouterTest, PageZeroOrFiveIsResetToGeneralEvenForABadChecksum) {
    router.SetCurrentPage(0);
    router.DispatchFrame(kBeeperQuery);
    EXPECT_EQ(router.CurrentPage(), kPageGeneral);
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0].first, kPageGeneral);

    Frame bad = kBeeperQuery;
    bad[5] = 0x99;
    router.SetCurrentPage(5);
    router.DispatchFrame(bad);
    EXPECT_EQ(router.CurrentPage(), kPageGeneral);
    EXPECT_EQ(handled.size(), 1u);
}

class SenderTest : public ::testing::Test {
protected:
    TextTarget sendText, receiveText;
    TrafficLog log{sendText, receiveText};
    bool com = true;
    DeviceSender sender{[this] { return com; }, log};
    FakeLink serial, tcp;
};

TEST_F(SenderTest, FrameGetsItsChecksumAndGoesToTheLinkTheRadioChooses) {
    sender.SetSerialLink(&serial);
    sender.SetTcpLink(&tcp);
    TransmitBuffers tx;
    tx.Compose(0x01, 0x0B);
    tx.frame[12] = 0x77;  // stale; recomputed at send time
    sender.Send(tx.frame);
    ASSERT_EQ(serial.Count(), 1u);
    EXPECT_EQ(Hex(serial.writes[0]), "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4");
    EXPECT_EQ(tcp.Count(), 0u);

    com = false;
    sender.Send(tx.frame);
    EXPECT_EQ(tcp.Count(), 1u);
    EXPECT_EQ(serial.Count(), 1u);
}

TEST_F(SenderTest, LinkFlagsPlayNoPartOnlyTheOpenLinkOfTheChosenKind) {
    sender.SetSerialLink(&serial);
    serial.open = false;
    TransmitBuffers tx;
    tx.Compose(0x02, 0x01, {0x01});
    sender.Send(tx.frame);
    EXPECT_EQ(serial.Count(), 0u);
    // The send log records it all the same.
    EXPECT_EQ(sendText.text_, "A5 5B 02 01 01 00 00 00 00 00 00 00 FC \r\n");
}

TEST_F(SenderTest, DataBlockGoesOutAs257BytesChecksumFirstAndIsLoggedInTwentyOneLines) {
    sender.SetSerialLink(&serial);
    TransmitBuffers tx;
    for (int i = 1; i <= 256; ++i)
        tx.block[i] = static_cast<std::uint8_t>(i);
    sender.Send(tx.block);
    ASSERT_EQ(serial.Count(), 1u);
    const auto& out = serial.writes[0];
    ASSERT_EQ(out.size(), 257u);
    // 1 + 2 + ... + 255 + 0 = 32640 = 0x7F80 -> 0x80 -> checksum 0x80.
    EXPECT_EQ(out[0], 0x80);
    EXPECT_EQ(out[1], 0x01);
    EXPECT_EQ(out[256], 0x00);

    // 19 full lines, one of the last 10 bytes, then an empty line.
    std::vector<std::string> lines;
    std::string::size_type start = 0, end;
    while ((end = sendText.text_.find("\r\n", start)) != std::string::npos) {
        lines.push_back(sendText.text_.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[0].size(), 13u * 3);
    EXPECT_EQ(lines[19].size(), 10u * 3);
    EXPECT_EQ(lines[20], "");
    EXPECT_EQ(start, sendText.text_.size());
    EXPECT_EQ(log.BytesOnLine(), 0);
}

TEST_F(SenderTest, SixtiethTransmissionEmptiesTheSendLogAndTheSixtyFirstStartsAfresh) {
    TransmitBuffers tx;
    tx.Compose(0x01, 0x0B);
    for (int i = 0; i < 59; ++i)
        sender.Send(tx.frame);
    EXPECT_EQ(sendText.emptied_, 0);
    EXPECT_EQ(log.Transmissions(), 59);
    sender.Send(tx.frame);
    EXPECT_EQ(sendText.emptied_, 1);
    EXPECT_EQ(sendText.text_, "");
    EXPECT_EQ(log.Transmissions(), 0);
    sender.Send(tx.frame);
    EXPECT_EQ(sendText.text_, "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4 \r\n");
}

TEST(TrafficLogTest, ReceiveLogEmptiesAfterSixtyFramesAndSearchRepliesLeaveTheCounterAlone) {
    TextTarget sendText, receiveText;
    TrafficLog log(sendText, receiveText);
    std::vector<std::uint8_t> reply(26, 0xAB);
    log.LogDatagram(reply.data(), reply.size());
    const std::string row = "AB AB AB AB AB AB AB AB AB AB AB AB AB \r\n";
    EXPECT_EQ(receiveText.text_, row + row);
    EXPECT_EQ(log.ReceivedFrames(), 0);

    receiveText.text_.clear();
    std::vector<std::uint8_t> shortReply(15, 0x01);
    log.LogDatagram(shortReply.data(), shortReply.size());
    EXPECT_EQ(receiveText.text_, "01 01 01 01 01 01 01 01 01 01 01 01 01 \r\n01 01 ");

    for (int i = 0; i < 60; ++i)
        log.LogRx(kBeeperQuery);
    EXPECT_EQ(receiveText.emptied_, 1);
    EXPECT_EQ(receiveText.text_, "");
}

TEST(TrafficLogTest, BytesOnLineRunAcrossShortTransmissions) {
    TextTarget sendText, receiveText;
    TrafficLog log(sendText, receiveText);
    const std::uint8_t five[5] = {1, 2, 3, 4, 5};
    log.LogTx(five, 5);
    log.LogTx(five, 5);
    log.LogTx(five, 5);
    EXPECT_EQ(sendText.text_, "01 02 03 04 05 01 02 03 04 05 01 02 03 \r\n04 05 ");
    EXPECT_EQ(log.BytesOnLine(), 2);
}

}  // namespace
}  // namespace corvane
