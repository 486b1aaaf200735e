// The port thread on a pseudo-terminal: what arrives reaches the owner in order, every
// transmission leaves whole and in order, a hung-up line is reported once, and the thread always
// ends when asked, also while the other side never stops sending.
#include "link/CSerialPort.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>

namespace corvane {
namespace {

using test::Bytes;
using test::PtyPair;
using test::WaitFor;

// Records deliveries; can hold the port thread inside a delivery until let go.
class RecordingOwner : public SerialPortOwner {
public:
    bool OnPortBytes(const std::uint8_t* bytes, std::size_t count, unsigned portNumber) override {
        std::unique_lock lock(mutex_);
        ++calls_;
        largestCall_ = std::max(largestCall_, count);
        lastPortNumber_ = portNumber;
        bytes_.insert(bytes_.end(), bytes, bytes + count);
        changed_.notify_all();
        if (hold_) changed_.wait(lock, [&] { return !hold_; });
        return !refuse_;
    }
    void OnPortFailed(unsigned session) override {
        std::lock_guard lock(mutex_);
        failures_.push_back(session);
        changed_.notify_all();
    }

    Bytes Received() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    bool WaitForBytes(std::size_t count, int ms = 10000) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                                 [&] { return bytes_.size() >= count; });
    }
    bool WaitForFailure(int ms = 10000) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                                 [&] { return !failures_.empty(); });
    }
    std::vector<unsigned> Failures() const {
        std::lock_guard lock(mutex_);
        return failures_;
    }
    std::size_t Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::size_t LargestCall() const {
        std::lock_guard lock(mutex_);
        return largestCall_;
    }
    unsigned LastPortNumber() const {
        std::lock_guard lock(mutex_);
        return lastPortNumber_;
    }
    void Hold(bool on) {
        std::lock_guard lock(mutex_);
        hold_ = on;
        changed_.notify_all();
    }
    void Refuse(bool on) {
        std::lock_guard lock(mutex_);
        refuse_ = on;
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Bytes bytes_;
    std::vector<unsigned> failures_;
    std::size_t calls_ = 0;
    std::size_t largestCall_ = 0;
    unsigned lastPortNumber_ = 0;
    bool hold_ = false;
    bool refuse_ = false;
};

const serialio::LineSettings kSettings{115200, 'N', 8, 2, 3};

class SerialPortTest : public ::testing::Test {
protected:
    bool Connect() {
        if (!port.OpenLink(&owner, pty.SlavePath(), 7, kSettings)) return false;
        port.StartLinkThread();
        return true;
    }
    // The thread purges the line when it starts; bytes sent before would be discarded. A byte
    // written through the thread shows that it is past that point.
    bool ConnectAndSettle() {
        if (!Connect()) return false;
        const std::uint8_t marker = 0xEE;
        port.Write(&marker, 1);
        return pty.Receive(1) == Bytes{marker};
    }

    PtyPair pty;
    RecordingOwner owner;
    CSerialPort port;
};

TEST_F(SerialPortTest, OpenFailsWithTheSystemsReason) {
    EXPECT_FALSE(port.OpenLink(&owner, "", 0, kSettings));
    EXPECT_EQ(port.LastOpenError(), ENOENT);
    EXPECT_FALSE(port.OpenLink(&owner, "/dev/corvane-no-such-port", 0, kSettings));
    EXPECT_EQ(port.LastOpenError(), ENOENT);
    // Not a terminal at all.
    EXPECT_FALSE(port.OpenLink(&owner, "/dev/null", 0, kSettings));
    EXPECT_EQ(port.LastOpenError(), ENOTTY);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, APortLockedByAnotherHolderIsNotOpened) {
    const int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(port.OpenLink(&owner, pty.SlavePath(), 1, kSettings));
    EXPECT_EQ(port.LastOpenError(), EBUSY);
    ::close(other);
    EXPECT_TRUE(port.OpenLink(&owner, pty.SlavePath(), 1, kSettings));
}

TEST_F(SerialPortTest, WhileOpenTheLineIsOursAlone) {
    ASSERT_TRUE(Connect());
    const int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (other < 0) {
        EXPECT_EQ(errno, EBUSY);  // TIOCEXCL keeps other users out
        return;
    }
    // Root passes TIOCEXCL; the lock still keeps it out.
    EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
}

TEST_F(SerialPortTest, AppliesRawLineSettings) {
    ASSERT_TRUE(Connect());
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &t), 0);  // the slave's settings, through the master
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
}

TEST_F(SerialPortTest, ReceivedBytesReachTheOwnerInOrderOneAtATime) {
    port.SetDelivery(CSerialPort::Delivery::PerByte);
    ASSERT_TRUE(ConnectAndSettle());
    Bytes sent;
    for (int i = 0; i < 3000; ++i)
        sent.push_back(static_cast<std::uint8_t>(i * 7));
    ASSERT_TRUE(pty.Send(sent));
    ASSERT_TRUE(owner.WaitForBytes(sent.size()));
    EXPECT_EQ(owner.Received(), sent);
    EXPECT_EQ(owner.Calls(), sent.size());
    EXPECT_EQ(owner.LastPortNumber(), 7u);
}

TEST_F(SerialPortTest, PerReadDeliveryKeepsOrderAndHandsOverWholeReads) {
    EXPECT_EQ(port.GetDelivery(), CSerialPort::Delivery::PerRead);  // the program's choice
    ASSERT_TRUE(ConnectAndSettle());
    Bytes sent;
    for (int i = 0; i < 20000; ++i)
        sent.push_back(static_cast<std::uint8_t>(i ^ (i >> 8)));
    ASSERT_TRUE(pty.Send(sent));
    ASSERT_TRUE(owner.WaitForBytes(sent.size()));
    EXPECT_EQ(owner.Received(), sent);
    EXPECT_LE(owner.LargestCall(), CSerialPort::kReadChunk);
    EXPECT_LT(owner.Calls(), sent.size());
}

TEST_F(SerialPortTest, ABurstOfSendsLeavesWholeAndInOrder) {
    ASSERT_TRUE(Connect());
    Bytes expected;
    for (int k = 0; k < 200; ++k) {
        Bytes frame(13);
        for (int i = 0; i < 13; ++i)
            frame[i] = static_cast<std::uint8_t>(k + i);
        port.Write(frame.data(), frame.size());
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    const Bytes got = pty.Receive(expected.size());
    EXPECT_EQ(got, expected);
}

TEST_F(SerialPortTest, NothingIsWrittenOnceTheCloseIsRequested) {
    ASSERT_TRUE(Connect());
    port.RequestClose();
    EXPECT_FALSE(port.IsOpen());
    const std::uint8_t frame[3] = {1, 2, 3};
    port.Write(frame, sizeof frame);
    ASSERT_TRUE(WaitFor([&] { return !port.IsThreadAlive(); }));
    EXPECT_TRUE(pty.Receive(1, 50).empty());
}

TEST_F(SerialPortTest, AHungUpLineIsReportedOnceAndTheThreadWaitsForItsShutdown) {
    ASSERT_TRUE(ConnectAndSettle());
    const unsigned session = port.Session();
    ASSERT_TRUE(pty.Send({1, 2, 3}));
    ASSERT_TRUE(owner.WaitForBytes(3));
    pty.CloseMaster();
    ASSERT_TRUE(owner.WaitForFailure());
    EXPECT_EQ(owner.Failures(), std::vector<unsigned>{session});
    // Still running: the owner closes the link in answer.
    EXPECT_TRUE(port.IsThreadAlive());
    const std::uint8_t frame[2] = {9, 9};
    port.Write(frame, sizeof frame);  // goes nowhere, and is not a second failure
    port.RequestClose();
    ASSERT_TRUE(WaitFor([&] { return !port.IsThreadAlive(); }));
    EXPECT_EQ(owner.Failures().size(), 1u);
}

TEST_F(SerialPortTest, TheDrainStopsBetweenBytesWhenTheCloseIsRequested) {
    port.SetDelivery(CSerialPort::Delivery::PerByte);
    ASSERT_TRUE(ConnectAndSettle());
    owner.Hold(true);
    Bytes sent(100, 0x11);
    ASSERT_TRUE(pty.Send(sent));
    ASSERT_TRUE(owner.WaitForBytes(1));
    port.RequestClose();
    owner.Hold(false);
    ASSERT_TRUE(WaitFor([&] { return !port.IsThreadAlive(); }));
    EXPECT_EQ(owner.Received().size(), 1u);
}

TEST_F(SerialPortTest, TheDrainStopsBetweenReadsWhenTheCloseIsRequested) {
    ASSERT_TRUE(ConnectAndSettle());
    owner.Hold(true);
    ASSERT_TRUE(pty.Send(Bytes(10, 0x11)));
    ASSERT_TRUE(owner.WaitForBytes(1));
    ASSERT_TRUE(pty.Send(Bytes(10, 0x12)));  // waiting while the first read is processed
    port.RequestClose();
    owner.Hold(false);
    ASSERT_TRUE(WaitFor([&] { return !port.IsThreadAlive(); }));
    EXPECT_EQ(owner.Calls(), 1u);
}

TEST_F(SerialPortTest, AnOwnerThatRefusesBytesDoesNotWedgeTheThread) {
    ASSERT_TRUE(ConnectAndSettle());
    owner.Refuse(true);
    ASSERT_TRUE(pty.Send(Bytes(50, 0x22)));
    ASSERT_TRUE(owner.WaitForBytes(1));
    // A reopen ends the old thread first; it must not be stuck in a delivery.
    owner.Refuse(false);
    ASSERT_TRUE(ConnectAndSettle());
    ASSERT_TRUE(pty.Send({0x33}));
    ASSERT_TRUE(WaitFor([&] {
        const Bytes got = owner.Received();
        return !got.empty() && got.back() == 0x33;
    }));
}

TEST_F(SerialPortTest, EndsWhileTheOtherSideNeverStopsSending) {
    test::PtyPeer peer(pty);
    peer.Stream(true);
    peer.Start();
    for (int cycle = 0; cycle < 20; ++cycle) {
        ASSERT_TRUE(Connect()) << "cycle " << cycle;
        const std::size_t before = owner.Received().size();
        ASSERT_TRUE(owner.WaitForBytes(before + 1)) << "cycle " << cycle;
        port.RequestClose();
        ASSERT_TRUE(WaitFor([&] { return !port.IsThreadAlive(); }, 10000)) << "cycle " << cycle;
    }
    peer.Stop();
}

TEST_F(SerialPortTest, SendsLeaveWhileTheOtherSideNeverStopsSending) {
    test::PtyPeer peer(pty);
    ASSERT_TRUE(ConnectAndSettle());
    peer.Stream(true);
    peer.Start();
    ASSERT_TRUE(owner.WaitForBytes(4096));
    const std::uint8_t frame[13] = {0xA5, 0x5B, 0x01, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0xF4};
    for (int i = 0; i < 20; ++i)
        port.Write(frame, sizeof frame);
    EXPECT_TRUE(peer.WaitForReceived(20 * sizeof frame, 5000))
        << "received " << peer.Received().size() << " of " << 20 * sizeof frame;
    peer.Stop();
}

TEST_F(SerialPortTest, ReopensAtOnceAfterACloseRequest) {
    ASSERT_TRUE(Connect());
    const unsigned first = port.Session();
    port.RequestClose();
    ASSERT_TRUE(ConnectAndSettle());  // waits for the old thread, which closes its own handle
    EXPECT_EQ(port.Session(), first + 1);
    EXPECT_TRUE(port.IsOpen());
    ASSERT_TRUE(pty.Send({0x5A}));
    ASSERT_TRUE(owner.WaitForBytes(1));
    const std::uint8_t frame[4] = {4, 3, 2, 1};
    port.Write(frame, sizeof frame);
    EXPECT_EQ(pty.Receive(4), (Bytes{4, 3, 2, 1}));
}

TEST_F(SerialPortTest, DestroyingAnOpenPortEndsItsThread) {
    auto local = std::make_unique<CSerialPort>();
    ASSERT_TRUE(local->OpenLink(&owner, pty.SlavePath(), 1, kSettings));
    local->StartLinkThread();
    local.reset();
    // The line is free again.
    CSerialPort again;
    EXPECT_TRUE(again.OpenLink(&owner, pty.SlavePath(), 1, kSettings));
}

}  // namespace
}  // namespace corvane
