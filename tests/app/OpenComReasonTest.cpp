// The line under "Open COM failed!" when Connect cannot open the chosen port.
#include "app/CCorvaneDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

using test::Harness;

class OpenComReasonTest : public ::testing::Test {
protected:
    OpenComReasonTest() { h.main.Link().comUp = 0; }
    // Lists the one port and presses Connect.
    void ConnectTo(const QString& name, const QString& path) {
        h.ports.entries.clear();
        if (!name.isEmpty()) h.ports.Add(name, path);
        h.main.RefreshPortList();
        Harness::Click(&h.main, IDC_COM_CONNECT);
    }
    std::string Detail() const { return h.program.popUps.MessageDetail().toStdString(); }

    Harness h;
};

TEST_F(OpenComReasonTest, GoneDeviceAndNoPortAtAll) {
    ConnectTo("ttyUSB7", "/dev/corvane-no-such-port");
    EXPECT_EQ(h.program.popUps.MessageText(), "Open COM failed!");
    EXPECT_EQ(Detail(), "No such device: corvane-no-such-port is gone (unplugged?).");
    h.CloseMessage();

    ConnectTo({}, {});
    EXPECT_EQ(h.program.popUps.MessageText(), "Open COM failed!");
    EXPECT_EQ(Detail(), "No serial port was found.");
    h.CloseMessage();

    // The connection guard's own "Open COM failed!" has no reason line.
    EXPECT_FALSE(h.main.CheckLinkReady());
    EXPECT_EQ(h.program.popUps.MessageText(), "Open COM failed!");
    EXPECT_EQ(Detail(), "");
}

TEST_F(OpenComReasonTest, BusyPortNamesTheProgramThatHoldsIt) {
    test::PtyPair pty;
    test::ChildHolder holder(pty.SlavePath(), true);
    ASSERT_TRUE(holder.Held());
    ConnectTo(QString::fromStdString(pty.SlaveName()), QString::fromStdString(pty.SlavePath()));
    EXPECT_EQ(h.main.Link().comUp, 0);
    EXPECT_EQ(h.program.popUps.MessageText(), "Open COM failed!");
    // The holder is a fork of this test program, so it goes by this program's name.
    const std::string name = pty.SlavePath().substr(5);
    EXPECT_EQ(Detail().rfind(name + " is in use by ", 0), 0u) << Detail();
    EXPECT_NE(Detail().find("(pid " + std::to_string(holder.Pid()) + ")."), std::string::npos)
        << Detail();
}

}  // namespace
}  // namespace corvane
