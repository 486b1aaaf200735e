// The main window's network side on fake sockets: the TCP button and link, the search and its
// list, and the configuration flow with its timers on the manual clock.
#include "app/CConfigIPDlg.h"
#include "app/NetworkControl.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>

namespace corvane {
namespace {

using test::FrameFromBody;
using test::Harness;
using test::Hex;
using test::SearchReplyBytes;

std::vector<std::uint8_t> Wire(const Frame& f) {
    return {f.begin(), f.end()};
}

class NetworkTest : public ::testing::Test {
protected:
    NetworkTest() { Harness::Click(&h.main, IDC_TCP_MODE); }

    QComboBox& List() { return *h.main.ItemAs<QComboBox>(IDC_SWITCHER_IP); }
    int TcpIcon() { return h.main.Item(IDC_TCP_ICON)->property("resource").toInt(); }
    QString TcpButton() { return h.main.ItemText(IDC_TCP_CONNECT); }
    NetworkState& Net() { return h.program.network; }
    const WindowTimers& Timers() { return h.main.Network().Controller().Timers(); }

    // Search, then one reply per address, in that order.
    void SearchAnswered(const std::vector<std::pair<std::string, std::string>>& switchers) {
        Harness::Click(&h.main, IDC_SEARCH);
        for (const auto& [mac, ip] : switchers)
            h.sockets.datagram->Arrive(SearchReplyBytes(mac, ip));
    }
    test::FakeStreamSocket& Connect(const std::string& ip = "198.51.100.10") {
        SearchAnswered({{"02:43:56:00:00:01", ip}});
        Harness::Click(&h.main, IDC_TCP_CONNECT);
        h.sockets.stream->FinishConnect(0);
        return *h.sockets.stream;
    }
    void Select(int index) {
        List().setCurrentIndex(index);
        emit List().activated(index);
    }

    Harness h;
};

TEST_F(NetworkTest, ConnectShowsTheLinkAndAsksForTheBeeperStateOnly) {
    auto& socket = Connect();
    EXPECT_EQ(socket.address, 0xC633640Au);  // 198.51.100.10
    EXPECT_EQ(socket.port, 8000);
    EXPECT_EQ(h.main.Link().tcpUp, 1);
    EXPECT_EQ(TcpButton(), "Disconnect");
    EXPECT_EQ(TcpIcon(), IDI_LINK_UP);
    ASSERT_EQ(socket.sent.size(), 1u);
    EXPECT_EQ(Hex(socket.sent[0]), "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4");
    EXPECT_EQ(h.main.Link().ready, 1);
    EXPECT_FALSE(h.main.Session().MainTimeoutRunning());

    // Its answer comes back through the General reply handler.
    socket.Arrive(Wire(FrameFromBody("01 0B 00 00 00 00 00 00 00 00")));
    EXPECT_TRUE(h.main.IsItemChecked(IDC_ENABLE_BEEP));
    EXPECT_EQ(h.main.Log().ReceivedFrames(), 1);
}

TEST_F(NetworkTest, AConnectThatFailsOrHasNoAddressChangesNothing) {
    Harness::Click(&h.main, IDC_TCP_CONNECT);  // empty list
    ASSERT_NE(h.sockets.stream, nullptr);
    EXPECT_FALSE(h.sockets.stream->connectStarted);

    SearchAnswered({{"02:43:56:00:00:01", "198.51.100.10"}});
    Harness::Click(&h.main, IDC_TCP_CONNECT);
    h.sockets.stream->FinishConnect(10061);
    EXPECT_EQ(h.main.Link().tcpUp, 0);
    EXPECT_EQ(TcpButton(), "Connect");
    EXPECT_EQ(TcpIcon(), IDI_LINK_DOWN);
    EXPECT_TRUE(h.sockets.stream->sent.empty());
}

TEST_F(NetworkTest, APeerThatHangsUpLeavesTheWindowDisconnected) {
    auto& socket = Connect();
    socket.PeerClose();
    EXPECT_EQ(h.main.Link().tcpUp, 0);
    EXPECT_EQ(TcpButton(), "Connect");
    EXPECT_EQ(TcpIcon(), IDI_LINK_DOWN);
    // A command now meets the guard, and the button connects again rather than disconnecting.
    Harness::Click(&h.main, IDC_FACTORY_RESET);
    EXPECT_EQ(h.program.popUps.MessageText(), "Connect to Matrix failed!");
    h.CloseMessage();
    const int made = h.sockets.streamsMade;
    Harness::Click(&h.main, IDC_TCP_CONNECT);
    EXPECT_EQ(h.sockets.streamsMade, made + 1);
    EXPECT_TRUE(h.sockets.stream->connectStarted);
}

TEST_F(NetworkTest, DisconnectSearchAndComModeEachCloseTheConnection) {
    Connect();
    Harness::Click(&h.main, IDC_TCP_CONNECT);
    EXPECT_EQ(h.sockets.stream, nullptr);
    EXPECT_EQ(TcpButton(), "Connect");

    Connect();
    Harness::Click(&h.main, IDC_SEARCH);
    EXPECT_EQ(h.sockets.stream, nullptr);
    EXPECT_EQ(h.main.Link().tcpUp, 0);
    EXPECT_EQ(TcpButton(), "Connect");
    EXPECT_EQ(TcpIcon(), IDI_LINK_DOWN);
    EXPECT_EQ(List().count(), 0);

    Connect();
    Harness::Click(&h.main, IDC_COM_MODE);
    EXPECT_EQ(h.sockets.stream, nullptr);
    EXPECT_EQ(h.main.Link().tcpUp, 0);
    EXPECT_EQ(TcpIcon(), IDI_LINK_DOWN);
}

TEST_F(NetworkTest, TwoSwitchersGiveSortedEntriesThatEachKeepTheirMac) {
    SearchAnswered({{"02:00:00:00:00:BB", "10.0.0.9"}, {"02:00:00:00:00:AA", "10.0.0.10"}});
    ASSERT_EQ(List().count(), 2);
    EXPECT_EQ(List().itemText(0), "10.0.0.10");  // text order, as the list sorts
    EXPECT_EQ(List().itemText(1), "10.0.0.9");
    EXPECT_EQ(List().currentIndex(), 0);
    EXPECT_EQ(Net().targetMac[5], "AA");  // the selected entry

    Select(1);
    EXPECT_EQ(Net().targetIp, (std::array<QString, 4>{"10", "0", "0", "9"}));
    EXPECT_EQ(Net().targetMac, (std::array<QString, 6>{"02", "00", "00", "00", "00", "BB"}));
    Select(0);
    EXPECT_EQ(Net().targetIp[3], "10");
    EXPECT_EQ(Net().targetMac[5], "AA");
}

TEST_F(NetworkTest, RepliesAreLoggedAndOnlyMarkedOnesOfFiftyBytesAreListed) {
    Harness::Click(&h.main, IDC_SEARCH);
    auto& socket = *h.sockets.datagram;
    EXPECT_EQ(socket.port, 30600);

    std::vector<std::uint8_t> short27(27);
    for (std::size_t i = 0; i < short27.size(); ++i)
        short27[i] = static_cast<std::uint8_t>(i + 1);
    socket.Arrive(short27);
    h.main.FlushLogs();
    EXPECT_EQ(h.main.ItemText(IDC_RX_LOG),
              "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D \n"
              "0E 0F 10 11 12 13 14 15 16 17 18 19 1A \n1B ");
    h.main.SetItemText(IDC_RX_LOG, QString());

    socket.Arrive(SearchReplyBytes("02:43:56:00:00:01", "198.51.100.10", true, 49));
    h.main.FlushLogs();
    EXPECT_EQ(h.main.ItemText(IDC_RX_LOG).count(' '), 49);
    EXPECT_EQ(List().count(), 0);
    EXPECT_TRUE(Net().targetIp[0].isEmpty());

    // No marker: the target fields follow, the list does not.
    socket.Arrive(SearchReplyBytes("0A:0B:0C:0D:0E:0F", "192.168.1.7", false, 50));
    EXPECT_EQ(List().count(), 0);
    EXPECT_EQ(Net().targetIp, (std::array<QString, 4>{"192", "168", "1", "7"}));
    EXPECT_EQ(Net().targetMac, (std::array<QString, 6>{"0A", "0B", "0C", "0D", "0E", "0F"}));
    EXPECT_FALSE(Timers().IsRunning(NetworkController::kConfigDoneTimer));

    // An ordinary search has no configuration to confirm.
    socket.Arrive(SearchReplyBytes("02:43:56:00:00:01", "198.51.100.10", true, 50));
    EXPECT_EQ(List().count(), 1);
    EXPECT_FALSE(Timers().IsRunning(NetworkController::kConfigDoneTimer));
    EXPECT_EQ(h.main.Log().ReceivedFrames(), 0);  // datagrams leave the frame counter alone
}

TEST_F(NetworkTest, OneSearchKeepsAtMost256Switchers) {
    Harness::Click(&h.main, IDC_SEARCH);
    for (int i = 0; i < 300; ++i) {
        const std::string ip = "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256);
        h.sockets.datagram->Arrive(SearchReplyBytes("02:00:00:00:01:02", ip));
    }
    EXPECT_EQ(List().count(), 256);
    EXPECT_EQ(h.main.Network().Controller().Found().size(), 256u);
    EXPECT_EQ(Net().targetIp[3], "0");  // the target stays the selected entry, 10.0.0.0
    Harness::Click(&h.main, IDC_SEARCH);
    EXPECT_EQ(List().count(), 0);
    EXPECT_TRUE(h.main.Network().Controller().Found().empty());
}

// Opens Config..., types an address and presses OK.
class ConfigFlowTest : public NetworkTest {
protected:
    void Configure(const QStringList& ip) {
        SearchAnswered({{"02:43:56:00:00:01", "198.51.100.10"}});
        Harness::Click(&h.main, IDC_CONFIG);
        CConfigIPDlg* dialog = h.main.Network().ConfigDialog();
        ASSERT_NE(dialog, nullptr);
        Harness::Click(dialog, IDC_CFG_STATIC_IP);
        for (int i = 0; i < 4; ++i)
            dialog->SetItemText(IDC_CFG_IP1 + i, ip[i]);
        Harness::Click(dialog, IDC_CFG_OK);
        h.Settle();
    }
    std::vector<std::uint8_t> Acknowledgement(std::uint8_t byte74 = 0x00) {
        std::vector<std::uint8_t> ack(h.sockets.sentDatagrams.back().bytes);
        ack[74] = byte74;
        return ack;
    }
    std::size_t SearchesSent() {
        std::size_t n = 0;
        for (const auto& d : h.sockets.sentDatagrams)
            n += d.port == 30600;
        return n;
    }
};

TEST_F(ConfigFlowTest, AcknowledgedConfigurationEndsWhenTheSwitcherAnswersAgain) {
    Configure({"198", "51", "100", "50"});
    const auto& packet = h.sockets.sentDatagrams.back();
    EXPECT_EQ(packet.fromPort, 30601);
    EXPECT_EQ(packet.port, 30601);
    EXPECT_EQ(packet.address, kLimitedBroadcast);
    ASSERT_EQ(packet.bytes.size(), 76u);
    EXPECT_EQ(Hex({packet.bytes.begin(), packet.bytes.begin() + 10}),
              "02 43 56 00 00 01 C6 33 64 32");
    EXPECT_TRUE(h.program.popUps.BusyOpen());
    EXPECT_EQ(h.program.popUps.BusyText(), "Configuring");
    EXPECT_TRUE(Timers().IsRunning(NetworkController::kConfigTimeoutTimer));

    // Our own packet coming back, and an answer with byte 74 other than 0, are no acknowledgement.
    h.sockets.datagram->Arrive(Acknowledgement(0xFF));
    h.sockets.datagram->Arrive(Acknowledgement(0x01));
    const std::size_t searchesBefore = SearchesSent();
    EXPECT_FALSE(Timers().IsRunning(NetworkController::kSearchAgainTimer));

    h.sockets.datagram->Arrive(Acknowledgement());
    EXPECT_EQ(SearchesSent(), searchesBefore + 1);
    EXPECT_TRUE(Timers().IsRunning(NetworkController::kSearchAgainTimer));
    h.Advance(3000);
    h.Advance(3000);
    EXPECT_EQ(SearchesSent(), searchesBefore + 3);  // at once, then every 3 s

    // Another switcher answering is listed but confirms nothing.
    h.sockets.datagram->Arrive(SearchReplyBytes("02:99:00:00:00:07", "198.51.100.77"));
    EXPECT_TRUE(Timers().IsRunning(NetworkController::kSearchAgainTimer));
    EXPECT_FALSE(Timers().IsRunning(NetworkController::kConfigDoneTimer));

    h.sockets.datagram->Arrive(SearchReplyBytes("02:43:56:00:00:01", "198.51.100.50"));
    EXPECT_FALSE(Timers().IsRunning(NetworkController::kSearchAgainTimer));
    EXPECT_FALSE(Timers().IsRunning(NetworkController::kConfigTimeoutTimer));
    h.Advance(899);
    EXPECT_EQ(h.program.popUps.BusyText(), "Configuring");
    h.Advance(1);
    EXPECT_EQ(h.program.popUps.BusyText(), "Configure successfully!");
    EXPECT_TRUE(h.program.popUps.BusyOpen());
    EXPECT_TRUE(h.program.popUps.BusyWindow()
                    ->Item(IDC_BUSY_PICTURE)
                    ->isVisibleTo(h.program.popUps.BusyWindow()));
    h.Advance(900);
    EXPECT_FALSE(h.program.popUps.BusyOpen());
    EXPECT_FALSE(h.program.popUps.MessageOpen());
    EXPECT_EQ(List().itemText(0), "198.51.100.50");
    EXPECT_EQ(List().count(), 2);
}

TEST_F(ConfigFlowTest, TheSelectedSwitcherIsConfiguredWhicheverAnsweredLast) {
    // The later reply sorts after the first: the first stays selected and is the target.
    SearchAnswered({{"02:00:00:00:00:AA", "10.0.0.10"}, {"02:00:00:00:00:BB", "10.0.0.9"}});
    Harness::Click(&h.main, IDC_CONFIG);
    EXPECT_EQ(h.main.Network().ConfigDialog()->ItemText(IDC_CFG_MAC1 + 5), "AA");
    Harness::Click(h.main.Network().ConfigDialog(), IDC_CFG_OK);
    h.Settle();
    const auto& packet = h.sockets.sentDatagrams.back().bytes;
    EXPECT_EQ(Hex({packet.begin(), packet.begin() + 6}), "02 00 00 00 00 AA");

    // A later reply that sorts before is selected, and so becomes the target.
    SearchAnswered({{"02:00:00:00:00:CC", "10.0.0.9"}, {"02:00:00:00:00:DD", "10.0.0.10"}});
    EXPECT_EQ(Net().targetIp[3], "10");
    EXPECT_EQ(Net().targetMac[5], "DD");
}

TEST_F(ConfigFlowTest, AConfigurationNeverAcknowledgedTimesOutAfterTwentySeconds) {
    Configure({"198", "51", "100", "50"});
    h.main.Link().ready = 0;  // the time-out hands the ready flag back once it is closed
    h.Advance(19999);
    EXPECT_TRUE(h.program.popUps.BusyOpen());
    EXPECT_FALSE(h.program.popUps.MessageOpen());
    h.Advance(1);
    EXPECT_FALSE(h.program.popUps.BusyOpen());
    EXPECT_TRUE(h.program.popUps.MessageOpen());
    EXPECT_EQ(h.program.popUps.MessageText(), "Time out!");
    h.CloseMessage();
    EXPECT_EQ(h.main.Link().ready, 1);
    for (int id : {1004, 1005, 1007, 1008})
        EXPECT_FALSE(Timers().IsRunning(id)) << id;
}

TEST_F(ConfigFlowTest, ASwitcherOnTwoInterfacesIsListedOnceAndConfiguredWhereItAnswered) {
    h.sockets.interfaces = {test::BroadcastInterface(2, "eth0", 0xC0A80A17u),
                            test::BroadcastInterface(5, "enx1", 0xC6336402u),
                            test::BroadcastInterface(7, "enx2", 0xCB007102u)};
    h.main.Traffic().Clear();
    Harness::Click(&h.main, IDC_SEARCH);
    EXPECT_EQ(SearchesSent(), 3u);
    h.sockets.datagram->Arrive(SearchReplyBytes("02:43:56:00:00:01", "198.51.100.10"), 5);
    h.sockets.datagram->Arrive(SearchReplyBytes("02:43:56:00:00:01", "198.51.100.10"), 7);
    h.sockets.datagram->Arrive(SearchReplyBytes("02:43:56:00:00:01", "198.51.100.10"), 5);
    h.sockets.datagram->Arrive(SearchReplyBytes("02:00:00:00:00:AA", "192.168.10.9"), 2);
    ASSERT_EQ(List().count(), 2);
    EXPECT_EQ(List().itemText(0), "192.168.10.9");
    EXPECT_EQ(h.main.Traffic().LineText(0).section('\t', 1, 1), "sent on eth0");
    EXPECT_EQ(h.main.Traffic().LineText(3).section('\t', 1, 1), "received on enx1");

    Select(1);
    Harness::Click(&h.main, IDC_CONFIG);
    Harness::Click(h.main.Network().ConfigDialog(), IDC_CFG_OK);
    h.Settle();
    const auto& sent = h.sockets.sentDatagrams;
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[3].port, 30601);
    EXPECT_EQ(sent[3].interfaceIndex, 5);
    EXPECT_EQ(sent[4].interfaceIndex, 7);
    EXPECT_EQ(Hex({sent[4].bytes.begin(), sent[4].bytes.begin() + 6}), "02 43 56 00 00 01");
}

TEST_F(ConfigFlowTest, CancelSendsNothing) {
    SearchAnswered({{"02:43:56:00:00:01", "198.51.100.10"}});
    const std::size_t sent = h.sockets.sentDatagrams.size();
    Harness::Click(&h.main, IDC_CONFIG);
    Harness::Click(h.main.Network().ConfigDialog(), IDC_CFG_CANCEL);
    h.Settle();
    EXPECT_EQ(h.main.Network().ConfigDialog(), nullptr);
    EXPECT_EQ(h.sockets.sentDatagrams.size(), sent);
    EXPECT_FALSE(h.program.popUps.BusyOpen());
    EXPECT_FALSE(Timers().IsRunning(NetworkController::kConfigTimeoutTimer));
}

}  // namespace
}  // namespace corvane
