// The simulated switcher against the frames the program sends and the tests its reply handlers
// apply to the answers.

#include "sim/DeviceModel.h"
#include "tests/sim/SimTest.h"

#include <gtest/gtest.h>

namespace corvane::sim::test {
namespace {

// Byte n (2..11) of a body text such as "02 03 00 ...".
std::uint8_t B(const std::string& body, int n) {
    return Bytes(body).at(static_cast<std::size_t>(n - 2));
}

TEST(DeviceModelFrames, BeeperQueryGoldenFrameAndSetAnswers) {
    DeviceModel m;
    // The query exactly as the program sends it after a link comes up.
    const auto replies = m.Receive(Bytes("A5 5B 01 0B 00 00 00 00 00 00 00 00 F4"));
    ASSERT_EQ(replies.size(), 1u);
    const Frame r = AsFrame(replies[0]);
    EXPECT_TRUE(IsChecksumValid(r.data()));
    EXPECT_EQ(r[2], 0x01);
    EXPECT_EQ(r[3], 0x0B);
    EXPECT_EQ(r[4], 0x00);
    EXPECT_EQ(r[6], 0x00) << "b6 = 00 is how the program learns the beeper is on";

    // Disable, then the query reports it off (b6 not 00); enable answers DD.
    EXPECT_EQ(AnswerBody(m, "06 01 F0 00 00 00 00 00 00 00"), "06 01 00 00 00 00 00 00 00 00");
    EXPECT_FALSE(m.State().beeper);
    EXPECT_NE(B(AnswerBody(m, "01 0B 00 00 00 00 00 00 00 00"), 6), 0x00);
    EXPECT_EQ(AnswerBody(m, "06 01 0F 00 DD 00 00 00 00 00"), "06 01 00 00 DD 00 00 00 00 00");
    EXPECT_TRUE(m.State().beeper);
    // Neither 0F nor F0: refused, state kept.
    EXPECT_NE(B(AnswerBody(m, "06 01 33 00 00 00 00 00 00 00"), 4), 0x00);
    EXPECT_TRUE(m.State().beeper);
}

TEST(DeviceModelFrames, InputSelectThenStatusQueries) {
    DeviceModel m;
    // "HDMI 3": the page takes the input confirmation only with b4 = 00 and b6 = 01.
    const std::string inputSet = AnswerBody(m, "02 03 03 00 01 00 00 00 00 00");
    EXPECT_EQ(B(inputSet, 2), 0x02);
    EXPECT_EQ(B(inputSet, 3), 0x03);
    EXPECT_EQ(B(inputSet, 4), 0x00);
    EXPECT_EQ(B(inputSet, 6), 0x01);
    EXPECT_EQ(m.State().input, 3);

    // The input report: b4 = 01, b6 = the input.
    EXPECT_EQ(AnswerBody(m, "02 01 01 00 00 00 00 00 00 00"), "02 01 01 00 03 00 00 00 00 00");

    // Audio of the current input, then of another one: the report carries b4 = source,
    // b6 = input.
    EXPECT_EQ(AnswerBody(m, "0A 0C 02 00 01 00 00 00 00 00").substr(0, 17), "0A 0C 00 02 01 00");
    EXPECT_EQ(AnswerBody(m, "90 0C 00 00 03 00 00 00 00 00"), "90 0C 02 00 03 00 00 00 00 00");
    EXPECT_EQ(AnswerBody(m, "90 0C 00 00 05 00 00 00 00 00"), "90 0C 01 00 05 00 00 00 00 00");

    // Resolution set (confirmed with b4 = 00, b6 = 01), then its report (b6 = 01, b4 = resolution).
    const std::string resolutionSet = AnswerBody(m, "0A 06 04 00 01 00 00 00 00 00");
    EXPECT_EQ(B(resolutionSet, 4), 0x00);
    EXPECT_EQ(B(resolutionSet, 6), 0x01);
    EXPECT_EQ(AnswerBody(m, "90 06 00 00 01 00 00 00 00 00"), "90 06 04 00 01 00 00 00 00 00");
}

TEST(DeviceModelFrames, VgaFormatUsesSetAndReportedNumbering) {
    DeviceModel m;
    AnswerBody(m, "02 03 06 00 01 00 00 00 00 00");
    // YPbPr is sent as 05 and reported as 2; its confirmation carries the input in b6.
    const std::string vgaFormatSet = AnswerBody(m, "0A 01 05 00 06 00 00 00 00 00");
    EXPECT_EQ(B(vgaFormatSet, 4), 0x00);
    EXPECT_EQ(B(vgaFormatSet, 6), 0x06);
    EXPECT_EQ(AnswerBody(m, "90 01 00 00 06 00 00 00 00 00"), "90 01 02 00 06 00 00 00 00 00");
    // RGBHV sent as 02, reported as 1; VGA 2 keeps its own format.
    AnswerBody(m, "0A 01 02 00 06 00 00 00 00 00");
    AnswerBody(m, "0A 01 05 00 07 00 00 00 00 00");
    EXPECT_EQ(B(AnswerBody(m, "90 01 00 00 06 00 00 00 00 00"), 4), 1);
    EXPECT_EQ(B(AnswerBody(m, "90 01 00 00 07 00 00 00 00 00"), 4), 2);

    // AUTO ADJUST and SCALER: confirmed with b4 = 00, b6 = 01, reported as 4 and 3.
    const std::string autoAdjustSet = AnswerBody(m, "0A 0E 00 00 01 00 00 00 00 00");
    EXPECT_EQ(B(autoAdjustSet, 4), 0x00);
    EXPECT_EQ(B(autoAdjustSet, 6), 0x01);
    EXPECT_EQ(B(AnswerBody(m, "90 01 00 00 06 00 00 00 00 00"), 4), 4);
    const std::string scalerSet = AnswerBody(m, "0A 0F 00 00 01 00 00 00 00 00");
    EXPECT_EQ(B(scalerSet, 3), 0x0F);
    EXPECT_EQ(B(scalerSet, 4), 0x00);
    EXPECT_EQ(B(scalerSet, 6), 0x01);
    EXPECT_EQ(B(AnswerBody(m, "90 01 00 00 06 00 00 00 00 00"), 4), 3);

    // A program that never learnt the input sends 00; it is echoed so that the page accepts the
    // confirmation.
    const std::string zero = AnswerBody(m, "0A 01 05 00 00 00 00 00 00 00");
    EXPECT_EQ(B(zero, 4), 0x00);
    EXPECT_EQ(B(zero, 6), 0x00);
    EXPECT_EQ(m.State().vgaFormat[6], 2);
}

TEST(DeviceModelFrames, BadValuesAreRefusedAndChangeNothing) {
    DeviceModel m;
    const DeviceState before = m.State();
    EXPECT_NE(B(AnswerBody(m, "02 03 09 00 01 00 00 00 00 00"), 4), 0x00);
    EXPECT_NE(B(AnswerBody(m, "02 03 00 00 01 00 00 00 00 00"), 4), 0x00);
    EXPECT_NE(B(AnswerBody(m, "0A 06 06 00 01 00 00 00 00 00"), 4), 0x00);
    EXPECT_NE(B(AnswerBody(m, "0A 0C 03 00 01 00 00 00 00 00"), 4), 0x00);
    EXPECT_NE(B(AnswerBody(m, "0A 01 03 00 06 00 00 00 00 00"), 4), 0x00);
    EXPECT_NE(B(AnswerBody(m, "03 02 10 F0 01 00 00 00 00 00"), 4), 0x00);
    EXPECT_NE(B(AnswerBody(m, "03 04 01 00 03 00 00 00 00 00"), 4), 0x00);
    EXPECT_EQ(m.State().input, before.input);
    EXPECT_EQ(m.State().resolution, before.resolution);
    EXPECT_EQ(m.State().audio, before.audio);
    EXPECT_EQ(m.State().vgaFormat, before.vgaFormat);
    EXPECT_EQ(m.State().edid, before.edid);
    // Queries for inputs that do not exist and unknown commands get no answer at all.
    EXPECT_TRUE(Send(m, "90 0C 00 00 09 00 00 00 00 00").empty());
    EXPECT_TRUE(Send(m, "90 01 00 00 00 00 00 00 00 00").empty());
    EXPECT_TRUE(Send(m, "55 01 00 00 00 00 00 00 00 00").empty());
    EXPECT_TRUE(Send(m, "20 01 42 00 00 00 00 00 00 00").empty());
}

TEST(DeviceModelFrames, EdidPresetAndCopyEchoB3AndB6) {
    DeviceModel m;
    // Preparation for Copy EDID, then "QLX OUT" to "HDMI 2", as the EDID page sends them.
    const std::string prep = AnswerBody(m, "03 08 F0 00 00 00 00 00 EE 00");
    EXPECT_EQ(B(prep, 2), 0x03);
    EXPECT_EQ(B(prep, 3), 0x08);
    EXPECT_EQ(B(prep, 4), 0x00);
    EXPECT_EQ(AnswerBody(m, "03 04 02 00 02 00 00 00 00 00"), "03 04 00 00 02 00 00 00 00 00");
    EXPECT_EQ(m.State().edid[2], (EdidSetting{EdidSource::Output, 2}));

    // Set EDID mode "DVI 1920x1080" (0E) to "DVI" (05): b3 and b6 echoed, b4 = b5 = 0.
    AnswerBody(m, "03 08 F0 00 00 00 00 00 00 00");
    EXPECT_EQ(AnswerBody(m, "03 02 0E F0 05 00 00 00 00 00"), "03 02 00 00 05 00 00 00 00 00");
    EXPECT_EQ(m.State().edid[5], (EdidSetting{EdidSource::Preset, 0x0E}));
    EXPECT_EQ(m.State().edid[1], EdidSetting{}) << "other inputs keep their EDID";
}

TEST(DeviceModelFrames, FactoryResetStepsAreEachAccepted) {
    DeviceModel m;
    m.State().beeper = false;
    m.State().audio[3] = 2;
    m.State().vgaFormat[6] = 2;
    m.State().edid[1] = {EdidSource::Output, 1};

    struct Step {
        const char* frame;
        int b6;  // what the reset sequence requires of b6, -1 for nothing
    };
    const Step steps[] = {
        {"02 03 03 00 01 00 00 00 00 00", 0x01}, {"0A 06 02 00 01 00 00 00 00 00", 0x01},
        {"0A 0C 01 00 01 00 00 00 00 00", 0x01}, {"03 08 F0 00 00 00 00 00 00 00", -1},
        {"03 02 04 F0 03 00 00 00 00 00", 0x03}, {"12 01 F0 F0 03 00 00 00 00 00", -1}};
    for (const auto& s : steps) {
        const std::string r = AnswerBody(m, s.frame);
        SCOPED_TRACE(s.frame);
        EXPECT_EQ(B(r, 2), B(s.frame, 2));
        EXPECT_EQ(B(r, 3), B(s.frame, 3));
        EXPECT_EQ(B(r, 4), 0x00);
        if (s.b6 >= 0) {
            EXPECT_EQ(B(r, 6), s.b6);
        }
    }
    EXPECT_EQ(m.State().input, 3);
    EXPECT_EQ(m.State().resolution, 2);
    EXPECT_TRUE(m.State().beeper);
    EXPECT_EQ(m.State().audio[3], 1);
    EXPECT_EQ(m.State().vgaFormat[6], 1);
    EXPECT_EQ(m.State().edid[1], EdidSetting{});
    EXPECT_EQ(m.State().factoryResets, 1);
}

TEST(DeviceModelFrames, DeviceInformationAndScaler) {
    DeviceSettings s;
    s.deviceType = 2;
    s.inputs = 8;
    s.outputs = 8;
    s.versionMajor = 2;
    s.versionMinor = 10;
    DeviceModel m(s);
    // b10 = CC comes back, which is how the firmware page tells these from the reboot probe.
    EXPECT_EQ(AnswerBody(m, "01 01 00 00 00 00 00 00 CC 00"), "01 01 02 00 00 00 00 00 CC 00");
    EXPECT_EQ(AnswerBody(m, "01 02 00 00 00 00 00 00 CC 00"), "01 02 08 00 08 00 00 00 CC 00");
    EXPECT_EQ(AnswerBody(m, "01 03 00 00 00 00 00 00 CC 00"), "01 03 02 00 0A 00 00 00 CC 00");
    // The reboot probe: b7 = b8 = b10 = 00.
    const std::string probe = AnswerBody(m, "01 01 00 00 00 00 00 00 00 00");
    EXPECT_EQ(B(probe, 7), 0x00);
    EXPECT_EQ(B(probe, 8), 0x00);
    EXPECT_EQ(B(probe, 10), 0x00);

    EXPECT_EQ(B(AnswerBody(m, "07 07 00 00 00 00 00 00 00 00"), 3), 0x07);
    EXPECT_EQ(m.State().scalerUpgrades, 1);
}

TEST(DeviceModelInput, FindsFramesInAnySplitAndSkipsNoise) {
    DeviceModel m;
    // Leading noise, a false start, then two frames fed one byte at a time.
    const auto stream = Bytes(
        "00 A5 00 A5 5B 01 0B 00 00 00 00 00 00 00 00 F4 "
        "A5 5B 02 01 01 00 00 00 00 00 00 00 FC");
    std::vector<Reply> replies;
    for (std::uint8_t b : stream) {
        auto r = m.Receive(&b, 1);
        replies.insert(replies.end(), r.begin(), r.end());
    }
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(AsFrame(replies[0])[3], 0x0B);
    EXPECT_EQ(AsFrame(replies[1])[3], 0x01);
    EXPECT_EQ(m.Commands().size(), 2u);
}

TEST(DeviceModelInput, BadChecksumIsIgnoredAndAHeaderInsideItIsFound) {
    DeviceModel m;
    // A frame with a wrong checksum gets no answer.
    EXPECT_TRUE(m.Receive(Bytes("A5 5B 01 0B 00 00 00 00 00 00 00 00 F5")).empty());
    // A cut-off frame followed by a whole one: the whole one is still answered.
    const auto replies = m.Receive(Bytes("A5 5B 02 03 A5 5B 01 0B 00 00 00 00 00 00 00 00 F4"));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(AsFrame(replies[0])[2], 0x01);
    EXPECT_EQ(AsFrame(replies[0])[3], 0x0B);
}

TEST(DeviceModelDatagrams, SearchReplyCarriesAddressAndMarker) {
    DeviceModel m;
    EXPECT_FALSE(m.AnswerSearch(Bytes("62")).has_value());
    const auto r = m.AnswerSearch(Bytes("61"));
    ASSERT_TRUE(r.has_value());
    ASSERT_GE(r->size(), 50u);
    EXPECT_EQ(Hex(std::vector<std::uint8_t>(r->begin(), r->begin() + 10)),
              "02 43 56 00 00 01 C6 33 64 0A");
    EXPECT_EQ((*r)[18], 0x77);
    EXPECT_EQ((*r)[19], 0x88);
}

// The configuration packet as the General page builds it for static IP 192.168.1.50.
std::vector<std::uint8_t> ConfigPacket(const std::vector<std::uint8_t>& targetMac, bool staticIp) {
    std::vector<std::uint8_t> p(76, 0);
    std::copy(targetMac.begin(), targetMac.end(), p.begin());
    if (staticIp) {
        const auto addr = Bytes("C0 A8 01 32 C0 A8 01 01 FF FF FF 00");
        std::copy(addr.begin(), addr.end(), p.begin() + 6);
    }
    p[18] = staticIp ? 0x00 : 0x01;
    const auto newMac = Bytes("02 43 56 00 00 99");
    std::copy(newMac.begin(), newMac.end(), p.begin() + 19);
    p[25] = staticIp ? 0x17 : 0x16;
    p[74] = 0xFF;
    unsigned sum = 0;
    for (int i = 0; i < 75; ++i)
        sum += p[static_cast<std::size_t>(i)];
    p[75] = static_cast<std::uint8_t>(sum);
    return p;
}

TEST(DeviceModelDatagrams, ConfigurationIsAppliedAndAcknowledged) {
    DeviceModel m;
    const auto mac = Bytes("02 43 56 00 00 01");

    // For another unit, with a bad sum, or an acknowledgement echoed back: ignored.
    EXPECT_FALSE(m.AnswerConfig(ConfigPacket(Bytes("02 43 56 00 00 02"), true)));
    auto badSum = ConfigPacket(mac, true);
    ++badSum[75];
    EXPECT_FALSE(m.AnswerConfig(badSum));
    auto ack = ConfigPacket(mac, true);
    ack[74] = 0;
    EXPECT_FALSE(m.AnswerConfig(ack));
    EXPECT_EQ(m.State().ip, (std::array<std::uint8_t, 4>{198, 51, 100, 10}));

    const auto reply = m.AnswerConfig(ConfigPacket(mac, true));
    ASSERT_TRUE(reply.has_value());
    ASSERT_GE(reply->size(), 76u);
    EXPECT_EQ((*reply)[74], 0x00);
    EXPECT_EQ(m.State().ip, (std::array<std::uint8_t, 4>{192, 168, 1, 50}));
    EXPECT_EQ(m.State().gateway, (std::array<std::uint8_t, 4>{192, 168, 1, 1}));
    EXPECT_EQ(m.State().mask, (std::array<std::uint8_t, 4>{255, 255, 255, 0}));
    EXPECT_FALSE(m.State().dhcp);
    // The search now shows the new address and MAC.
    const auto found = m.AnswerSearch(Bytes("61"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(Hex(std::vector<std::uint8_t>(found->begin(), found->begin() + 10)),
              "02 43 56 00 00 99 C0 A8 01 32");

    // Auto IP keeps the address (there is no DHCP server to ask) and says so.
    ASSERT_TRUE(m.AnswerConfig(ConfigPacket(Bytes("02 43 56 00 00 99"), false)));
    EXPECT_TRUE(m.State().dhcp);
    EXPECT_EQ(m.State().ip, (std::array<std::uint8_t, 4>{192, 168, 1, 50}));
}

}  // namespace
}  // namespace corvane::sim::test
