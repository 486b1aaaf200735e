// The search and configuration controller without a window: what it refuses and how a
// configuration ends, on fake sockets and the manual clock.
#include "session/NetworkController.h"
#include "tests/support/FakeSockets.h"
#include "tests/support/StandInHost.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

class Ends final : public NetworkListener {
public:
    void OnSearchStarted() override { ++searches; }
    void OnSwitcherListed(int, const FoundSwitcher&) override {}
    void OnTargetChanged(int, const SwitcherTarget&) override {}
    void OnConfigConfirmed() override { ++confirmed; }
    void OnConfigFinished() override {}
    void OnConfigTimedOut() override { ++timedOut; }
    int searches = 0;
    int confirmed = 0;
    int timedOut = 0;
};

class NetworkControllerTest : public ::testing::Test {
protected:
    NetworkControllerTest() {
        host.linkUp = false;  // no serial or TCP link: a search or configuration only
        host.ready = false;
        controller.SetListener(&ends);
        controller.UseSockets(sockets);
        controller.Search();
        sockets.datagram->Arrive(test::SearchReplyBytes("02:43:56:00:00:01", "198.51.100.10"));
    }
    ConfigRequest Request() const {
        return {kStaticIp,
                controller.Target().mac,
                {"198", "51", "100", "50"},
                controller.Target().mac};
    }
    std::vector<std::uint8_t> Acknowledgement() const {
        std::vector<std::uint8_t> ack = sockets.sentDatagrams.back().bytes;
        ack[74] = 0x00;
        return ack;
    }

    ManualClock clock;
    test::FakeSockets sockets;
    test::StandInHost host;
    test::NullLog sendLog, receiveLog;
    TrafficLog log{sendLog, receiveLog};
    NetworkController controller{host, clock, log};
    Ends ends;
};

TEST_F(NetworkControllerTest, ARequestTheDialogWouldRefuseIsRefusedWithItsTextAndNotSent) {
    const std::size_t sent = sockets.sentDatagrams.size();
    ConfigRequest badIp = Request();
    badIp.newIp[3] = "256";
    EXPECT_EQ(controller.Configure(badIp), "Invalid IP address!");
    ConfigRequest badMac = Request();
    badMac.addressMode = kAutoIp;
    badMac.newIp[3] = "256";  // Auto IP sends no address
    badMac.newMac[0] = "2";
    EXPECT_EQ(controller.Configure(badMac), "Invalid MAC address!");
    EXPECT_EQ(sockets.sentDatagrams.size(), sent);
    EXPECT_FALSE(controller.AwaitingConfirmation());
    EXPECT_EQ(clock.ScheduledCount(), 0u);
}

TEST_F(NetworkControllerTest, AnAcknowledgementAfterTheTimeOutStartsNoEndlessSearch) {
    ASSERT_TRUE(controller.Configure(Request()).isEmpty());
    clock.Advance(NetworkController::kConfigTimeoutPeriod);
    EXPECT_EQ(ends.timedOut, 1);
    controller.TimeOutSeen();
    EXPECT_TRUE(host.ready);

    const int searches = ends.searches;
    sockets.datagram->Arrive(Acknowledgement());
    clock.Advance(3 * NetworkController::kSearchAgainPeriod);
    EXPECT_EQ(ends.searches, searches);
    EXPECT_FALSE(controller.Timers().IsRunning(NetworkController::kSearchAgainTimer));
    EXPECT_EQ(ends.confirmed, 0);
}

}  // namespace
}  // namespace corvane
