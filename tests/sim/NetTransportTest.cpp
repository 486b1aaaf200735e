// The simulator's TCP listener on loopback, reached the way the program reaches the switcher;
// and the refusal of its UDP side outside a private network namespace.

#include "sim/NetTransport.h"
#include "sim/NetnsCheck.h"
#include "tests/sim/SimTest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <chrono>
#include <fstream>
#include <sstream>

namespace corvane::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

int ConnectLoopback(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// What arrives within the time, until n bytes or the peer's close; closed tells which.
std::vector<std::uint8_t> Read(int fd, std::size_t n, bool* closed = nullptr,
                               std::chrono::milliseconds within = std::chrono::seconds(5)) {
    std::vector<std::uint8_t> got;
    const auto until = Clock::now() + within;
    if (closed) *closed = false;
    while (got.size() < n && Clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        std::uint8_t buf[256];
        const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r <= 0) {
            if (closed) *closed = true;
            break;
        }
        got.insert(got.end(), buf, buf + r);
    }
    return got;
}

void SendFrame(int fd, const std::string& body) {
    const auto bytes = Wire(FrameFromBody(body));
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

template <typename Predicate>
bool Eventually(Predicate p) {
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < until) {
        if (p()) return true;
        ::poll(nullptr, 0, 5);
    }
    return p();
}

class NetTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        NetOptions options;
        options.tcp = true;
        options.tcpPort = 0;
        transport = std::make_unique<NetTransport>(model, options);
        std::string error;
        ASSERT_TRUE(transport->Open(&error)) << error;
        ASSERT_TRUE(transport->Start(&error)) << error;
        ASSERT_NE(transport->TcpPort(), 0);
    }
    void TearDown() override { transport.reset(); }

    DeviceModel model;
    std::unique_ptr<NetTransport> transport;
};

TEST_F(NetTransportTest, AnswersEachCommandOnItsOwnAndCanDropTheConnection) {
    const int fd = ConnectLoopback(transport->TcpPort());
    ASSERT_GE(fd, 0);
    SendFrame(fd, "01 0B 00 00 00 00 00 00 00 00");
    EXPECT_EQ(Hex(Read(fd, 13)), "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4");
    SendFrame(fd, "02 03 04 00 01 00 00 00 00 00");
    EXPECT_EQ(Body(AsFrame({0, Read(fd, 13), false})), "02 03 00 04 01 00 00 00 00 00");
    EXPECT_EQ(transport->WithModel([](DeviceModel& m) { return m.State().input; }), 4);

    ASSERT_TRUE(Eventually([&] { return transport->ClientConnected(); }));
    transport->CloseClient();
    bool closed = false;
    EXPECT_TRUE(Read(fd, 1, &closed).empty());
    EXPECT_TRUE(closed);
    ::close(fd);
}

TEST_F(NetTransportTest, ANewClientTakesThePlaceOfTheOldAndALineClosedByAFaultReopens) {
    const int first = ConnectLoopback(transport->TcpPort());
    ASSERT_TRUE(Eventually([&] { return transport->Accepted() == 1; }));
    const int second = ConnectLoopback(transport->TcpPort());
    ASSERT_TRUE(Eventually([&] { return transport->Accepted() == 2; }));
    bool closed = false;
    Read(first, 1, &closed);
    EXPECT_TRUE(closed);

    transport->WithModel([](DeviceModel& m) { m.CloseAfter(1); });
    SendFrame(second, "01 0B 00 00 00 00 00 00 00 00");
    EXPECT_EQ(Read(second, 14, &closed).size(), 13u);  // the reply, then the close
    EXPECT_TRUE(closed);

    const int third = ConnectLoopback(transport->TcpPort());
    SendFrame(third, "01 0B 00 00 00 00 00 00 00 00");
    EXPECT_EQ(Read(third, 13).size(), 13u);
    for (int fd : {first, second, third})
        ::close(fd);
}

TEST(PrivateNetworkCheck, NamesEveryInterfaceThatCouldReachARealNetwork) {
    // The interfaces of this namespace, as /proc/net/dev lists them.
    std::ifstream dev("/proc/net/dev");
    std::string line, foreign;
    while (std::getline(dev, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::istringstream name(line.substr(0, colon));
        std::string n;
        name >> n;
        if (n != "lo" && n.rfind(kPrivateInterfacePrefix, 0) != 0) foreign = n;
    }
    std::string why;
    const bool inside = InPrivateNetworkNamespace(&why);
    if (foreign.empty()) GTEST_SKIP() << "no interface here other than lo and cvn*";
    EXPECT_FALSE(inside);
    EXPECT_NE(why.find(foreign), std::string::npos) << why;

    DeviceModel model;
    NetOptions options;
    options.udp = true;
    NetTransport transport(model, options);
    std::string error;
    EXPECT_FALSE(transport.Open(&error));
    EXPECT_NE(error.find("private network namespace"), std::string::npos) << error;
}

}  // namespace
}  // namespace corvane::sim::test
