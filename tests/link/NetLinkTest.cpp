#include "link/SwitcherSearch.h"
#include "link/TcpLink.h"
#include "tests/support/FakeLink.h"
#include "tests/support/FakeSockets.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace corvane {
namespace {

using test::FakeSockets;
using test::FrameFromBody;
using test::Hex;

std::vector<std::uint8_t> Wire(const Frame& f) {
    return {f.begin(), f.end()};
}

std::vector<std::uint8_t> Join(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Frame kBeeperOn = FrameFromBody("01 0B 00 00 00 00 00 00 00 00");
const Frame kInput3 = FrameFromBody("02 03 00 03 01 00 00 00 00 00");

TEST(Ipv4Text, OnlyFourDecimalOctetsAreAnAddress) {
    EXPECT_EQ(ParseIpv4("192.168.1.50"), std::optional<Ipv4>(0xC0A80132u));
    EXPECT_EQ(ParseIpv4("0.0.0.0"), std::optional<Ipv4>(0u));
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1.2.3.256", "1.2.3.-4", " 1.2.3.4", "1..3.4",
                            "a.b.c.d", "0x7f.0.0.1", "switcher.local", "1.2.3.0004"}) {
        EXPECT_FALSE(ParseIpv4(bad).has_value()) << bad;
    }
}

class TcpLinkTest : public ::testing::Test {
protected:
    FakeSockets sockets;
    std::vector<Frame> frames;
    int connected = 0;
    int closed = 0;
    TcpLink link{sockets,
                 {[this] { ++connected; }, [this] { ++closed; },
                  [this](const Frame& f) { frames.push_back(f); }}};

    test::FakeStreamSocket& Connected() {
        link.Connect("198.51.100.10");
        sockets.stream->FinishConnect(0);
        return *sockets.stream;
    }
};

TEST_F(TcpLinkTest, ChunksFormAtMostOneFrameFromTheirStart) {
    auto& socket = Connected();
    // Two frames in one chunk: only the first is taken.
    socket.Arrive(Join(Wire(kBeeperOn), Wire(kInput3)));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kBeeperOn);
    EXPECT_EQ(link.Accumulator().Count(), 0u);

    // 5 bytes, then 8: one frame once the second part is in.
    const auto wire = Wire(kInput3);
    socket.Arrive({wire.begin(), wire.begin() + 5});
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_EQ(link.Accumulator().Count(), 5u);
    socket.Arrive({wire.begin() + 5, wire.end()});
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1], kInput3);

    // A chunk that does not start with the header is dropped once 13 bytes are in, and with
    // it a frame that arrives behind it; the next chunk starts afresh.
    socket.Arrive({0x00, 0xA5, 0x5B, 0x01});
    socket.Arrive(Wire(kBeeperOn));
    EXPECT_EQ(frames.size(), 2u);
    EXPECT_EQ(link.Accumulator().Count(), 0u);
    socket.Arrive(Wire(kBeeperOn));
    EXPECT_EQ(frames.size(), 3u);
}

TEST_F(TcpLinkTest, LargeChunksAreTakenAKilobyteAtATimeAndNeverOverfill) {
    auto& socket = Connected();
    // 64 KiB, a frame at every kilobyte boundary and noise between: each 1024-byte receive
    // gives its first frame.
    std::vector<std::uint8_t> chunk(64 * 1024, 0x5A);
    for (std::size_t at = 0; at < chunk.size(); at += 1024) {
        std::copy(kInput3.begin(), kInput3.end(), chunk.begin() + static_cast<std::ptrdiff_t>(at));
    }
    socket.Arrive(chunk);
    EXPECT_EQ(frames.size(), 64u);

    // A partial frame followed by more than the buffer holds: the overflow is cut off.
    TcpAccumulator acc;
    const auto wire = Wire(kBeeperOn);
    EXPECT_FALSE(acc.Add(wire.data(), 5).has_value());
    std::vector<std::uint8_t> rest(2000, 0xEE);
    std::copy(wire.begin() + 5, wire.end(), rest.begin());
    const auto frame = acc.Add(rest.data(), rest.size());
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(*frame, kBeeperOn);
    EXPECT_EQ(acc.Count(), 0u);
}

TEST_F(TcpLinkTest, ChunksOfAnySizeAndContentLeaveAtMostAPartialFrame) {
    auto& socket = Connected();
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        std::vector<std::uint8_t> chunk(random() % (64 * 1024 + 1));
        for (auto& b : chunk)
            b = static_cast<std::uint8_t>(random());
        if (!chunk.empty() && i % 3 == 0) chunk[0] = kHeader0;
        if (chunk.size() > 1 && i % 3 == 0) chunk[1] = kHeader1;
        socket.Arrive(chunk);
        ASSERT_LT(link.Accumulator().Count(), kFrameSize);
    }
    for (const Frame& f : frames)
        EXPECT_TRUE(f[0] == kHeader0 && f[1] == kHeader1);
}

TEST_F(TcpLinkTest, WritesOnlyWhenConnected) {
    link.Connect("192.168.1.50");
    auto& socket = *sockets.stream;
    EXPECT_EQ(socket.address, 0xC0A80132u);
    EXPECT_EQ(socket.port, kSwitcherTcpPort);
    link.Write(kBeeperOn.data(), kBeeperOn.size());
    EXPECT_TRUE(socket.sent.empty());
    EXPECT_FALSE(link.IsOpen());

    socket.FinishConnect(10061);  // refused: nothing to report
    EXPECT_EQ(connected, 0);
    socket.FinishConnect(0);
    EXPECT_EQ(connected, 1);
    link.Write(kBeeperOn.data(), kBeeperOn.size());
    ASSERT_EQ(socket.sent.size(), 1u);
    EXPECT_EQ(Hex(socket.sent[0]), Hex(kBeeperOn));

    socket.PeerClose();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(link.IsOpen());
    link.Close();
    EXPECT_EQ(sockets.stream, nullptr);
}

TEST_F(TcpLinkTest, ANewConnectionForgetsBytesLeftByTheLastOne) {
    auto& first = Connected();
    const auto wire = Wire(kBeeperOn);
    first.Arrive({wire.begin(), wire.begin() + 5});
    auto& second = Connected();
    second.Arrive(wire);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kBeeperOn);
}

TEST(SearchReplies, LengthMarkerAndAcknowledgement) {
    auto reply = test::SearchReplyBytes("02:43:56:00:00:01", "198.51.100.10", true, 50);
    const auto parsed = ParseSearchReply(reply.data(), reply.size());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->mac, (std::array<std::uint8_t, 6>{0x02, 0x43, 0x56, 0x00, 0x00, 0x01}));
    EXPECT_EQ(parsed->ip, (std::array<std::uint8_t, 4>{198, 51, 100, 10}));
    EXPECT_TRUE(parsed->switcher);
    EXPECT_FALSE(ParseSearchReply(reply.data(), 49).has_value());
    reply[19] = 0x89;
    EXPECT_FALSE(ParseSearchReply(reply.data(), reply.size())->switcher);

    std::vector<std::uint8_t> ack(76, 0xFF);
    ack[74] = 0x00;
    EXPECT_TRUE(IsConfigAcknowledgement(ack.data(), 76));
    EXPECT_FALSE(IsConfigAcknowledgement(ack.data(), 75));
    ack[74] = 0x01;
    EXPECT_FALSE(IsConfigAcknowledgement(ack.data(), 76));
}

TEST(SwitcherSearchSocket, EachUseMakesTheSocketAnewAndBroadcasts) {
    FakeSockets sockets;
    std::vector<std::vector<std::uint8_t>> searchReplies, configReplies;
    SwitcherSearch search(sockets, {[&](const std::uint8_t* b, std::size_t n, const Via&) {
                                        searchReplies.emplace_back(b, b + n);
                                    },
                                    [&](const std::uint8_t* b, std::size_t n, const Via&) {
                                        configReplies.emplace_back(b, b + n);
                                    }});
    // No interface listed: one broadcast where the routing table says.
    ASSERT_EQ(search.Search().size(), 1u);
    ASSERT_EQ(sockets.sentDatagrams.size(), 1u);
    const auto& request = sockets.sentDatagrams[0];
    EXPECT_EQ(request.fromPort, kSearchPort);
    EXPECT_EQ(request.address, kLimitedBroadcast);
    EXPECT_EQ(request.interfaceIndex, 0);
    EXPECT_EQ(request.port, kSearchPort);
    EXPECT_EQ(Hex(request.bytes), "61");

    // A datagram longer than the buffer is cut to 1024 bytes.
    sockets.datagram->Arrive(std::vector<std::uint8_t>(3000, 0x11));
    ASSERT_EQ(searchReplies.size(), 1u);
    EXPECT_EQ(searchReplies[0].size(), kDatagramBufferSize);

    ConfigPacket packet{};
    packet[74] = 0xFF;
    ASSERT_EQ(search.SendConfig(packet, {}).size(), 1u);
    EXPECT_EQ(search.CurrentRole(), SwitcherSearch::Role::Config);
    EXPECT_EQ(sockets.datagramsMade, 2);
    EXPECT_EQ(sockets.sentDatagrams.back().fromPort, kConfigPort);
    EXPECT_EQ(sockets.sentDatagrams.back().port, kConfigPort);
    EXPECT_EQ(sockets.sentDatagrams.back().bytes.size(), kConfigPacketSize);
    sockets.datagram->Arrive({0x00, 0x01});
    EXPECT_EQ(configReplies.size(), 1u);
    EXPECT_EQ(searchReplies.size(), 1u);

    // A port that cannot be bound ends the search without sending.
    sockets.refuseDatagrams = true;
    EXPECT_TRUE(search.Search().empty());
    EXPECT_EQ(search.CurrentRole(), SwitcherSearch::Role::None);
    EXPECT_EQ(sockets.sentDatagrams.size(), 2u);
}

TEST(SwitcherSearchSocket, BroadcastsOutOfEveryInterfaceThatCanCarryOne) {
    FakeSockets sockets;
    NetInterface lo = test::BroadcastInterface(1, "lo", 0x7F000001u);
    NetInterface down = test::BroadcastInterface(3, "wlan0", 0x0A000005u);
    NetInterface tunnel = test::BroadcastInterface(4, "tun0", 0x0A080001u);
    NetInterface bare = test::BroadcastInterface(6, "eth1", 0);
    lo.loopback = true;
    down.up = false;
    tunnel.canBroadcast = false;
    bare.broadcast = 0;
    sockets.interfaces = {lo,     test::BroadcastInterface(2, "eth0", 0xC0A80A17u), down,
                          tunnel, test::BroadcastInterface(5, "enx1", 0xC6336402u), bare};
    std::vector<std::string> cameIn;
    SwitcherSearch search(sockets, {[&](const std::uint8_t*, std::size_t, const Via& via) {
                                        cameIn.push_back(via.name);
                                    },
                                    {}});
    auto sentOn = [&](std::size_t from) {
        std::vector<int> on;
        for (std::size_t i = from; i < sockets.sentDatagrams.size(); ++i) {
            EXPECT_EQ(sockets.sentDatagrams[i].address, kLimitedBroadcast);
            on.push_back(sockets.sentDatagrams[i].interfaceIndex);
        }
        return on;
    };

    EXPECT_EQ(search.Search().size(), 2u);
    EXPECT_EQ(sentOn(0), (std::vector<int>{2, 5}));
    sockets.datagram->Arrive({0x61}, 5);
    sockets.datagram->Arrive({0x61}, 9);  // an interface that came up after the search
    EXPECT_EQ(cameIn, (std::vector<std::string>{"enx1", ""}));

    // A configuration goes where the switcher answered; where that has gone, everywhere.
    std::size_t before = sockets.sentDatagrams.size();
    search.SendConfig(ConfigPacket{}, {5});
    EXPECT_EQ(sentOn(before), (std::vector<int>{5}));
    before = sockets.sentDatagrams.size();
    search.SendConfig(ConfigPacket{}, {9, 3});
    EXPECT_EQ(sentOn(before), (std::vector<int>{2, 5}));
}

}  // namespace
}  // namespace corvane
