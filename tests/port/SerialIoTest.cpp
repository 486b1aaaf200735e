// The operating-system layer on a pseudo-terminal: the wait's priority, the purge, hang-ups,
// and a write that the other side never takes.
#include "link/SerialIo.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace corvane::serialio {
namespace {

using test::Bytes;
using test::PtyPair;

class SerialIoTest : public ::testing::Test {
protected:
    void SetUp() override {
        int error = 0;
        port = Port::Open(pty.SlavePath(), error);
        ASSERT_TRUE(port) << error;
        ASSERT_EQ(port->Configure(LineSettings{}), 0);
    }

    Bytes ReadAll() {
        Bytes got;
        std::uint8_t buffer[256];
        for (ReadResult r; (r = port->Read(buffer, sizeof buffer)).count > 0;) {
            got.insert(got.end(), buffer, buffer + r.count);
        }
        return got;
    }

    // Waits until the line discipline has the bytes, as the port thread's wait does.
    void WaitForInput() {
        Event none;
        ASSERT_EQ(Wait(port.get(), none, none), Woken::Input);
    }

    PtyPair pty;
    std::unique_ptr<Port> port;
    Event shutdown;
    Event writeRequest;
};

TEST_F(SerialIoTest, WaitPutsShutdownFirstThenInputThenWriteRequest) {
    ASSERT_TRUE(pty.Send({1}));
    WaitForInput();
    writeRequest.Signal();
    shutdown.Signal();
    EXPECT_EQ(Wait(port.get(), shutdown, writeRequest), Woken::Shutdown);
    shutdown.Reset();
    EXPECT_EQ(Wait(port.get(), shutdown, writeRequest), Woken::Input);
    EXPECT_EQ(ReadAll(), Bytes{1});
    EXPECT_EQ(Wait(port.get(), shutdown, writeRequest), Woken::WriteRequest);
    // An unwatched port does not count.
    ASSERT_TRUE(pty.Send({2}));
    EXPECT_EQ(Wait(nullptr, shutdown, writeRequest), Woken::WriteRequest);
}

TEST_F(SerialIoTest, PurgeDiscardsWhatWasReceivedAndNotRead) {
    ASSERT_TRUE(pty.Send({1, 2, 3, 4}));
    WaitForInput();
    port->Purge();
    EXPECT_TRUE(ReadAll().empty());
    ASSERT_TRUE(pty.Send({5}));
    WaitForInput();
    EXPECT_EQ(ReadAll(), Bytes{5});
}

TEST_F(SerialIoTest, PurgeKeepsBytesAlreadyHandedToTheOtherSide) {
    const std::uint8_t frame[3] = {7, 8, 9};
    ASSERT_EQ(port->WriteAll(frame, sizeof frame, shutdown), WriteResult::Written);
    port->Purge();
    EXPECT_EQ(pty.Receive(3), (Bytes{7, 8, 9}));
}

TEST_F(SerialIoTest, AHungUpLineShowsInTheWaitAndTheRead) {
    pty.CloseMaster();
    EXPECT_EQ(Wait(port.get(), shutdown, writeRequest), Woken::PortFailed);
    std::uint8_t buffer[4];
    EXPECT_TRUE(port->Read(buffer, sizeof buffer).failed);
    EXPECT_EQ(port->WriteAll(buffer, sizeof buffer, shutdown), WriteResult::Failed);
}

TEST_F(SerialIoTest, ShutdownEndsAWriteThatTheOtherSideNeverTakes) {
    // Fill the line: the master never reads.
    const Bytes block(4096, 0x55);
    for (int i = 0; i < 1000; ++i) {
        if (::write(port->Native(), block.data(), block.size()) <= 0) break;
    }
    shutdown.Signal();
    EXPECT_EQ(port->WriteAll(block.data(), block.size(), shutdown), WriteResult::Interrupted);
}

TEST_F(SerialIoTest, UnsupportedSettingsStopTheChainButKeepThePort) {
    LineSettings odd;
    odd.baud = 12345;
    EXPECT_NE(port->Configure(odd), 0);
    LineSettings badParity;
    badParity.parity = 'X';
    EXPECT_NE(port->Configure(badParity), 0);
    ASSERT_TRUE(pty.Send({0x42}));
    WaitForInput();
    EXPECT_EQ(ReadAll(), Bytes{0x42});
}

}  // namespace
}  // namespace corvane::serialio
