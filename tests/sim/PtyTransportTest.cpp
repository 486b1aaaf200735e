// The simulator on a pseudo-terminal, opened from the other side the way the program opens a
// serial port: raw 115200 8N2, exclusive, purged before every write, closed and opened again.

#include "sim/PtyTransport.h"
#include "tests/sim/SimTest.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <chrono>
#include <cstring>
#include <thread>

namespace corvane::sim::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(5);

int OpenLikeTheProgram(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    t.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    ::cfsetispeed(&t, B115200);
    ::cfsetospeed(&t, B115200);
    ::tcsetattr(fd, TCSANOW, &t);
    ::ioctl(fd, TIOCEXCL);
    ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

void PurgeAndWrite(int fd, const std::vector<std::uint8_t>& bytes) {
    ::tcflush(fd, TCIOFLUSH);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// Reads until n bytes have come or the deadline has passed.
std::vector<std::uint8_t> ReadBytes(int fd, std::size_t n, Clock::duration within = kDeadline) {
    std::vector<std::uint8_t> got;
    const auto until = Clock::now() + within;
    while (got.size() < n && Clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (::poll(&p, 1, static_cast<int>(std::max<long>(1, left.count()))) <= 0) continue;
        std::uint8_t buf[512];
        const ssize_t r =
            (p.revents & POLLIN) ? ::read(fd, buf, std::min(sizeof buf, n - got.size())) : 0;
        if (r > 0)
            got.insert(got.end(), buf, buf + r);
        else if (p.revents & (POLLHUP | POLLERR))
            break;
    }
    return got;
}

std::string ReadFrameHex(int fd) {
    return Hex(ReadBytes(fd, kFrameSize));
}

template <typename Pred>
bool WaitFor(Pred pred) {
    const auto until = Clock::now() + kDeadline;
    while (Clock::now() < until) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}

class PtyTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(transport.Open(&error)) << error;
        ASSERT_TRUE(transport.Start(&error)) << error;
    }
    DeviceModel model;
    PtyTransport transport{model};
};

TEST_F(PtyTransportTest, AnswersAcrossManyOpenCloseCycles) {
    for (int i = 0; i < 30; ++i) {
        SCOPED_TRACE(i);
        const int fd = OpenLikeTheProgram(transport.SlavePath());
        ASSERT_GE(fd, 0) << std::strerror(errno);
        PurgeAndWrite(fd, Bytes("A5 5B 01 0B 00 00 00 00 00 00 00 00 F4"));
        EXPECT_EQ(ReadFrameHex(fd), "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4");
        ::close(fd);
    }
    // A frame in two writes is still one command.
    const int fd = OpenLikeTheProgram(transport.SlavePath());
    const auto frame = Wire(FrameFromBody("02 03 04 00 01 00 00 00 00 00"));
    ASSERT_EQ(::write(fd, frame.data(), 5), 5);
    ASSERT_EQ(::write(fd, frame.data() + 5, 8), 8);
    EXPECT_EQ(ReadBytes(fd, kFrameSize).size(), kFrameSize);
    EXPECT_EQ(transport.WithModel([](DeviceModel& m) { return m.State().input; }), 4);
    ::close(fd);
    EXPECT_FALSE(transport.LineClosed());
}

TEST_F(PtyTransportTest, RepliesNobodyReadAreGoneOnTheNextOpen) {
    int fd = OpenLikeTheProgram(transport.SlavePath());
    ASSERT_GE(fd, 0);
    PurgeAndWrite(fd, Wire(FrameFromBody("01 01 00 00 00 00 00 00 CC 00")));
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1) << "the reply is waiting";
    const int released = transport.Releases();
    ::close(fd);
    ASSERT_TRUE(WaitFor([&] { return transport.Releases() > released; }));

    fd = OpenLikeTheProgram(transport.SlavePath());
    ASSERT_GE(fd, 0);
    // Written without a purge, so a stale reply would be read first.
    const auto q = Wire(FrameFromBody("01 0B 00 00 00 00 00 00 00 00"));
    ASSERT_EQ(::write(fd, q.data(), q.size()), 13);
    const auto reply = ReadBytes(fd, kFrameSize);
    ASSERT_EQ(reply.size(), kFrameSize);
    EXPECT_EQ(reply[3], 0x0B);
    ::close(fd);
}

TEST_F(PtyTransportTest, ExclusiveClaimEndsWithTheProgramsClose) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the opener as another user";
    // Root may open an exclusive terminal anyway, so an unprivileged child does the opening.
    ASSERT_EQ(::chmod(transport.SlavePath().c_str(), 0666), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
        for (int i = 0; i < 5; ++i) {
            int fd = -1;
            const auto until = Clock::now() + kDeadline;
            while ((fd = OpenLikeTheProgram(transport.SlavePath())) < 0 && Clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (fd < 0) ::_exit(20 + i);
            // While it is held, a second opener is refused.
            const int second = ::open(transport.SlavePath().c_str(), O_RDWR | O_NOCTTY);
            if (second >= 0) ::_exit(30 + i);
            ::close(fd);
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10 setuid, 2x open failed, 3x second open allowed";
}

TEST_F(PtyTransportTest, BlockAfterAnAnnouncementWithAPurgeBetween) {
    const int fd = OpenLikeTheProgram(transport.SlavePath());
    ASSERT_GE(fd, 0);
    PurgeAndWrite(fd, Wire(FrameFromBody("20 01 56 00 00 01 01 40 00 00")));
    // The program waits 50 ms before the block; here we wait until the device has the frame.
    ASSERT_TRUE(WaitFor([&] {
        return transport.WithModel([](DeviceModel& m) { return m.Commands().size(); }) == 1;
    }));
    Block block{};
    for (std::size_t i = 1; i < kBlockSize; ++i)
        block[i] = static_cast<std::uint8_t>(i);
    block[0] = BlockChecksum(block.data());
    PurgeAndWrite(fd, std::vector<std::uint8_t>(block.begin(), block.end()));
    EXPECT_EQ(ReadFrameHex(fd), "A5 5B 20 01 00 00 00 01 01 40 00 00 9D");
    EXPECT_EQ(transport.WithModel([](DeviceModel& m) { return m.Firmware().Image().at(255); }),
              0x00);
    EXPECT_EQ(transport.WithModel([](DeviceModel& m) { return m.Firmware().Image().at(10); }), 11);
    ::close(fd);
}

TEST_F(PtyTransportTest, DelayedReplyComesNoSooner) {
    transport.WithModel(
        [](DeviceModel& m) { m.AddFault(*ParseFaultRule(FaultAction::Delay, "02,01:300")); });
    const int fd = OpenLikeTheProgram(transport.SlavePath());
    ASSERT_GE(fd, 0);
    const auto sent = Clock::now();
    PurgeAndWrite(fd, Wire(FrameFromBody("02 01 01 00 00 00 00 00 00 00")));
    EXPECT_EQ(ReadBytes(fd, kFrameSize).size(), kFrameSize);
    EXPECT_GE(Clock::now() - sent, std::chrono::milliseconds(300));
    ::close(fd);
}

TEST_F(PtyTransportTest, ClosingTheLineHangsUpTheProgram) {
    transport.WithModel([](DeviceModel& m) { m.CloseAfter(1); });
    const int fd = OpenLikeTheProgram(transport.SlavePath());
    ASSERT_GE(fd, 0);
    PurgeAndWrite(fd, Wire(FrameFromBody("01 0B 00 00 00 00 00 00 00 00")));
    EXPECT_EQ(ReadBytes(fd, kFrameSize).size(), kFrameSize) << "the last reply goes out first";
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    EXPECT_TRUE(WaitFor([&] { return transport.LineClosed(); }));
    ::close(fd);
}

}  // namespace
}  // namespace corvane::sim::test
