#include "link/CommandFrame.h"
#include "link/TrafficDecoder.h"
#include "tests/support/FakeLink.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace corvane {
namespace {

using test::FrameFromBody;

std::string Sent(const Frame& f) {
    return DecodeTraffic(TrafficKind::Sent, f.data(), f.size()).Text();
}
std::string Sent(const std::string& body) {
    return Sent(FrameFromBody(body));
}
std::string Received(const Frame& f) {
    return DecodeTraffic(TrafficKind::Received, f.data(), f.size()).Text();
}
std::string Received(const std::string& body) {
    return Received(FrameFromBody(body));
}
std::string Datagram(TrafficKind kind, const std::vector<std::uint8_t>& bytes) {
    return DecodeTraffic(kind, bytes.data(), bytes.size()).Text();
}

TEST(TrafficDecoder, BeeperQueryGoldenFrameAndItsChecksum) {
    const Frame good = {0xA5, 0x5B, 0x01, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0xF4};
    const TrafficMeaning m = DecodeTraffic(TrafficKind::Sent, good.data(), good.size());
    EXPECT_EQ(m.name, "beeper state query");
    EXPECT_EQ(m.check, CheckResult::Good);
    EXPECT_EQ(m.Text(), "beeper state query; checksum good");

    Frame bad = good;
    bad[12] = 0xF5;
    EXPECT_EQ(DecodeTraffic(TrafficKind::Sent, bad.data(), bad.size()).check, CheckResult::Bad);
    EXPECT_EQ(Received(bad), "beeper state reply: status 00, beeper on; checksum BAD");
    // A bad checksum anywhere in the body is caught too, not only in byte 12.
    bad = good;
    bad[7] = 0x01;
    EXPECT_EQ(DecodeTraffic(TrafficKind::Received, bad.data(), bad.size()).check, CheckResult::Bad);
}

TEST(TrafficDecoder, CommandsOfThePagesAndTheFactoryReset) {
    EXPECT_EQ(Sent("02 03 03 00 01 00 00 00 00 00"), "input select: input 3 HDMI 3; checksum good");
    EXPECT_EQ(Sent("0A 06 02 00 01 00 00 00 00 00"), "output resolution: 1080P; checksum good");
    // The set command numbers VGA formats 02/05; byte 6 is the input in use.
    EXPECT_EQ(Sent("0A 01 05 00 06 00 00 00 00 00"),
              "VGA format: YPbPr, input 6 VGA 1; checksum good");
    EXPECT_EQ(Sent("90 01 00 00 06 00 00 00 00 00"),
              "VGA format query: input 6 VGA 1; checksum good");

    EXPECT_EQ(Sent("03 08 F0 00 00 00 00 00 EE 00"),
              "EDID preparation: for copy EDID; checksum good");
    EXPECT_EQ(Sent("03 02 04 F0 03 00 00 00 00 00"),
              "set EDID preset: preset 04 1080p,Stereo Audio 2.0 or Default EDID, target input 3 "
              "HDMI 3; checksum good");
    EXPECT_EQ(Sent("03 04 02 00 01 00 00 00 00 00"),
              "copy EDID: from QLX OUT to input 1 HDMI 1; checksum good");
    EXPECT_EQ(Sent("12 01 F0 F0 03 00 00 00 00 00"), "factory reset, last step; checksum good");
    EXPECT_EQ(Sent("06 01 0F 00 DD 00 00 00 00 00"),
              "beeper enable/disable: enable; checksum good");
    EXPECT_EQ(Sent("55 66 00 00 00 00 00 00 00 00"), "unknown command: 55 66; checksum good");
    // Values outside the tables are shown as such, not as the nearest name.
    EXPECT_EQ(Sent("02 03 09 00 01 00 00 00 00 00"),
              "input select: input 9 unknown 09; checksum good");
}

TEST(TrafficDecoder, FirmwareRunFramesAndBlocks) {
    // Byte 10 tells the device type query (CC) from the reboot probe (00).
    EXPECT_EQ(Sent("01 01 00 00 00 00 00 00 CC 00"), "device type query; checksum good");
    EXPECT_EQ(Sent("01 01 00 00 00 00 00 00 00 00"), "reboot probe; checksum good");
    EXPECT_EQ(Sent("20 01 01 00 00 00 00 00 00 00"), "firmware upgrade start; checksum good");
    EXPECT_EQ(Sent("20 01 80 00 00 00 00 00 EE 00"), "firmware 0x80 request; checksum good");
    EXPECT_EQ(Sent("20 01 AA 00 00 01 01 B0 01 00"),
              "firmware block announcement: region B0, page 01; checksum good");
    EXPECT_EQ(Sent("20 01 56 00 00 01 01 40 05 00"),
              "firmware block announcement: region 40, page 05, last block; checksum good");

    EXPECT_EQ(Received("20 01 AA 00 00 00 00 00 00 00"),
              "firmware upgrade start reply: accepted; checksum good");
    EXPECT_EQ(Received("20 01 00 00 00 00 00 00 EE 00"),
              "firmware 0x80 request reply: accepted; checksum good");
    EXPECT_EQ(Received("20 01 00 00 00 01 01 40 F0 00"),
              "firmware block reply: accepted, steer F0, next block to region B0; checksum good");
    EXPECT_EQ(Received("20 01 00 00 00 01 01 B0 B0 00"),
              "firmware block reply: accepted, steer B0, back to region 40, 4096 bytes on; "
              "checksum good");
    EXPECT_EQ(Received("01 01 01 00 00 00 00 00 00 00"),
              "reboot probe reply: device back after reboot; checksum good");
    EXPECT_EQ(Received("01 01 02 00 00 00 00 00 CC 00"),
              "device type reply: Pellaro; checksum good");
    EXPECT_EQ(Received("01 03 02 00 0A 00 00 00 CC 00"),
              "version reply: version 2.10; checksum good");

    Block block{};
    for (int i = 1; i <= 256; ++i)
        block[i] = static_cast<std::uint8_t>(i * 7);
    block[0] = BlockChecksum(block.data());
    EXPECT_EQ(DecodeTraffic(TrafficKind::Sent, block.data(), block.size()).Text(),
              "data block: 256 data bytes; checksum good");
    block[100] ^= 0x01;
    EXPECT_EQ(DecodeTraffic(TrafficKind::Sent, block.data(), block.size()).check, CheckResult::Bad);
}

TEST(TrafficDecoder, RepliesReadTheBytesTheProgramTests) {
    EXPECT_EQ(Received("02 03 00 03 01 00 00 00 00 00"),
              "input select reply: status 00, confirmed; checksum good");
    EXPECT_EQ(Received("02 03 01 09 00 00 00 00 00 00"),
              "input select reply: status 01, not confirmed; checksum good");
    // The device reports VGA formats as 1 RGBHV, 2 YPbPr, 3 SCALER, 4 AUTO ADJUST.
    EXPECT_EQ(Received("90 01 02 00 06 00 00 00 00 00"),
              "VGA format query reply: input 6 VGA 1, YPbPr; checksum good");
    EXPECT_EQ(Received("90 0C 02 00 03 00 00 00 00 00"),
              "audio source query reply: input 3 HDMI 3, EXT; checksum good");
    // Beeper on is 00 in the state report but DD in the answer to a set.
    EXPECT_EQ(Received("01 0B 00 00 01 00 00 00 00 00"),
              "beeper state reply: status 00, beeper off; checksum good");
    EXPECT_EQ(Received("06 01 00 0F DD 00 00 00 00 00"),
              "beeper enable/disable reply: status 00, beeper on; checksum good");

    Frame noHeader = FrameFromBody("01 0B 00 00 00 00 00 00 00 00");
    noHeader[0] = 0x00;
    EXPECT_EQ(Received(noHeader), "no frame header");
}

std::vector<std::uint8_t> SearchReply(std::size_t length, bool marker) {
    std::vector<std::uint8_t> r(length, 0);
    const std::uint8_t head[] = {0x02, 0x43, 0x56, 0x00, 0x00, 0x01, 198, 51, 100, 10};
    std::copy(std::begin(head), std::end(head), r.begin());
    if (marker) {
        r[18] = 0x77;
        r[19] = 0x88;
    }
    return r;
}

TEST(TrafficDecoder, SearchDatagrams) {
    EXPECT_EQ(Datagram(TrafficKind::SearchRequest, {0x61}), "search request");
    EXPECT_EQ(Datagram(TrafficKind::SearchReply, SearchReply(50, true)),
              "search reply: MAC 02:43:56:00:00:01, IP 198.51.100.10, switcher");
    EXPECT_EQ(Datagram(TrafficKind::SearchReply, SearchReply(50, false)),
              "search reply: MAC 02:43:56:00:00:01, IP 198.51.100.10, no switcher marker");
    EXPECT_EQ(Datagram(TrafficKind::SearchReply, SearchReply(49, true)),
              "search reply: 49 bytes, too short: ignored");
}

std::vector<std::uint8_t> ConfigPacket(bool staticIp) {
    std::vector<std::uint8_t> p(76, 0);
    const std::uint8_t mac[] = {0x02, 0x43, 0x56, 0x00, 0x00, 0x01};
    std::copy(std::begin(mac), std::end(mac), p.begin());
    if (staticIp) {
        const std::uint8_t ip[] = {0xC0, 0xA8, 0x01, 0x32, 0xC0, 0xA8,
                                   0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00};
        std::copy(std::begin(ip), std::end(ip), p.begin() + 6);
    } else {
        p[18] = 0x01;
    }
    const std::uint8_t newMac[] = {0x02, 0x43, 0x56, 0x00, 0x00, 0x02};
    std::copy(std::begin(newMac), std::end(newMac), p.begin() + 19);
    p[25] = staticIp ? 0x17 : 0x16;
    p[74] = 0xFF;
    p[75] = static_cast<std::uint8_t>(std::accumulate(p.begin(), p.begin() + 75, 0u));
    return p;
}

TEST(TrafficDecoder, ConfigurationDatagrams) {
    EXPECT_EQ(Datagram(TrafficKind::ConfigSent, ConfigPacket(true)),
              "network configuration: for MAC 02:43:56:00:00:01, static IP 192.168.1.50, gateway "
              "192.168.1.1, mask 255.255.255.0, new MAC 02:43:56:00:00:02; checksum good");
    EXPECT_EQ(Datagram(TrafficKind::ConfigSent, ConfigPacket(false)),
              "network configuration: for MAC 02:43:56:00:00:01, automatic IP, new MAC "
              "02:43:56:00:00:02; checksum good");
    std::vector<std::uint8_t> bad = ConfigPacket(true);
    bad[75] ^= 0x10;
    EXPECT_EQ(DecodeTraffic(TrafficKind::ConfigSent, bad.data(), bad.size()).check,
              CheckResult::Bad);

    std::vector<std::uint8_t> ack = ConfigPacket(true);
    ack[74] = 0x00;
    EXPECT_EQ(Datagram(TrafficKind::ConfigReply, ack),
              "configuration acknowledgement: byte 74 = 00");
    // Our own broadcast coming back carries FF in byte 74.
    EXPECT_EQ(Datagram(TrafficKind::ConfigReply, ConfigPacket(true)),
              "configuration reply: byte 74 = FF, not an acknowledgement");
    EXPECT_EQ(Datagram(TrafficKind::ConfigReply, std::vector<std::uint8_t>(75, 0)),
              "configuration reply: 75 bytes, too short: ignored");
}

}  // namespace
}  // namespace corvane
