// The network configuration packet built from typed texts, and the checks on what was typed.
#include "session/ConfigPacket.h"
#include "tests/support/FakeLink.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using test::Hex;

const std::array<QString, 6> kMac = {"02", "43", "56", "00", "00", "01"};

std::string HexOf(const ConfigPacket& p) {
    return Hex(std::vector<std::uint8_t>(p.begin(), p.end()));
}

std::string Zeros(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += " 00";
    return s;
}

TEST(ConfigPacketBytes, StaticAndAutoGoldenPackets) {
    const ConfigPacket fixed = BuildConfigPacket(kStaticIp, kMac, {"192", "168", "1", "50"}, kMac);
    EXPECT_EQ(HexOf(fixed),
              "02 43 56 00 00 01 C0 A8 01 32 C0 A8 01 01 FF FF FF 00 00 "
              "02 43 56 00 00 01 17" +
                  Zeros(48) + " FF 50");

    const ConfigPacket automatic =
        BuildConfigPacket(kAutoIp, kMac, {"192", "168", "1", "50"}, kMac);
    EXPECT_EQ(HexOf(automatic),
              "02 43 56 00 00 01" + Zeros(12) + " 01 02 43 56 00 00 01 16" + Zeros(48) + " FF 4E");
}

TEST(ConfigPacketBytes, TextConversions) {
    EXPECT_EQ(IpOctetFromText("300"), 44);
    EXPECT_EQ(IpOctetFromText("99999"), 159);
    EXPECT_EQ(IpOctetFromText("12ab"), 12);
    EXPECT_EQ(IpOctetFromText(""), 0);
    EXPECT_EQ(IpOctetFromText("x1"), 0);
    EXPECT_EQ(MacByteFromText("1A2B"), 0x2B);
    EXPECT_EQ(MacByteFromText("ab"), 0xAB);
    EXPECT_EQ(MacByteFromText("1AZZ"), 0x1A);
    EXPECT_EQ(MacByteFromText("1A2"), 0x1A);
    EXPECT_EQ(MacByteFromText("G1"), 0);
    EXPECT_EQ(MacByteFromText("A"), 0);
}

TEST(ConfigPacketBytes, WhatMayBeSent) {
    const std::array<QString, 4> good = {"0", "010", "255", "7"};
    EXPECT_TRUE(AddressInputError(kStaticIp, good, kMac).isEmpty());
    for (const char* octet : {"300", "256", "", "1000", "1a"}) {
        std::array<QString, 4> ip = good;
        ip[2] = octet;
        EXPECT_EQ(AddressInputError(kStaticIp, ip, kMac), "Invalid IP address!") << octet;
        // Auto IP sends no address, so only the MAC counts.
        EXPECT_TRUE(AddressInputError(kAutoIp, ip, kMac).isEmpty());
    }
    for (const char* byte : {"1", "GG", "123", "", "a "}) {
        std::array<QString, 6> mac = kMac;
        mac[4] = byte;
        EXPECT_EQ(AddressInputError(kAutoIp, good, mac), "Invalid MAC address!") << byte;
    }
    std::array<QString, 6> lower = kMac;
    lower[0] = "ab";
    EXPECT_TRUE(AddressInputError(kAutoIp, good, lower).isEmpty());
}

}  // namespace
}  // namespace corvane
