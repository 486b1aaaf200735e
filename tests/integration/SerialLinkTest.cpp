// The whole program on a real clock with the real port thread on a pseudo-terminal: the
// simulator or a scripted peer at the other end, the port list from the system source.
#include "app/CCorvaneDlg.h"
#include "app/Program.h"
#include "framework/Clock.h"
#include "link/SystemPorts.h"
#include "resources/resource.h"
#include "sim/DeviceModel.h"
#include "sim/PtyTransport.h"
#include "tests/support/FakeLink.h"
#include "tests/support/Pty.h"
#include "tests/support/Pump.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>

#include <sys/inotify.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace corvane {
namespace {

using test::Bytes;
using test::PtyPair;
using test::PtyPeer;
using test::PumpUntil;
using test::Watchdog;

Bytes Wire(const Frame& frame) {
    return Bytes(frame.begin(), frame.end());
}

class SerialLinkTest : public ::testing::Test {
protected:
    ~SerialLinkTest() override {
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Builds the program with the device in its port list and selects it.
    void Start(const std::string& device) {
        devicePath = QString::fromStdString(device);
        deviceName = devicePath.mid(5);
        ports.AddDevice(devicePath);
        ports.WaitForPass(10000);  // the list shows a device once its holders were looked for
        main = std::make_unique<CCorvaneDlg>(program, &ports);
        main->InitDialog();
        ASSERT_TRUE(Select());
    }
    bool Select() {
        auto* combo = main->ItemAs<QComboBox>(IDC_PORT_LIST);
        const int at = combo->findText(deviceName);
        combo->setCurrentIndex(at);
        return at >= 0;
    }
    bool Listed() { return main->ItemAs<QComboBox>(IDC_PORT_LIST)->findText(deviceName) >= 0; }
    void Click(int id) { main->ItemAs<QAbstractButton>(id)->click(); }
    bool Connected() const {
        return main->Link().comUp == 1 && main->ItemText(IDC_COM_CONNECT) == "Disconnect";
    }
    bool ShowsDisconnected() const {
        return main->Link().comUp == 0 && main->ItemText(IDC_COM_CONNECT) == "Connect" &&
               main->Item(IDC_COM_ICON)->property("resource").toInt() == IDI_LINK_DOWN &&
               main->IsTimerRunning(CCorvaneDlg::kPortListTimer) &&
               main->IsItemEnabled(IDC_PORT_LIST);
    }
    bool Beep() const { return main->IsItemChecked(IDC_ENABLE_BEEP); }

    Watchdog watchdog{120};
    QtClock clock;
    Program program{clock};
    SystemPortSource ports;
    QString devicePath;
    QString deviceName;
    std::unique_ptr<CCorvaneDlg> main;
};

TEST_F(SerialLinkTest, TheSimulatorsBeeperAnswerSetsEnableBeepOnEveryConnect) {
    sim::DeviceModel model;
    sim::PtyTransport transport(model);
    std::string error;
    ASSERT_TRUE(transport.Open(&error)) << error;
    ASSERT_TRUE(transport.Start(&error)) << error;
    Start(transport.SlavePath());

    Click(IDC_COM_CONNECT);
    ASSERT_TRUE(Connected());
    EXPECT_TRUE(PumpUntil([&] { return Beep(); }));

    // Disconnect and at once Connect again: the new port thread waits for the old one.
    transport.WithModel([](sim::DeviceModel& m) { m.State().beeper = false; });
    Click(IDC_COM_CONNECT);
    Click(IDC_COM_CONNECT);
    ASSERT_TRUE(Connected());
    EXPECT_TRUE(PumpUntil([&] { return !Beep(); }));
    const auto commands = transport.WithModel([](sim::DeviceModel& m) { return m.Commands(); });
    ASSERT_EQ(commands.size(), 2u);
    for (const Frame& f : commands)
        EXPECT_EQ(test::Body(f), "01 0B 00 00 00 00 00 00 00 00");
    EXPECT_FALSE(program.popUps.MessageOpen());
}

TEST_F(SerialLinkTest, ABurstOfSendsReachesThePeerWholeAndInOrder) {
    PtyPair pty;
    PtyPeer peer(pty);
    peer.Start();
    Start(pty.SlavePath());
    Click(IDC_COM_CONNECT);
    ASSERT_TRUE(Connected());

    Bytes expected = Wire(test::FrameFromBody("01 0B 00 00 00 00 00 00 00 00"));
    for (int k = 0; k < 200; ++k) {
        const auto b = static_cast<std::uint8_t>(k);
        main->Tx().Compose(0x02, 0x03, {b, 0x00, 0x01, b});
        main->Sender().Send(main->Tx().frame);
        const Bytes frame = Wire(main->Tx().frame);
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    ASSERT_TRUE(peer.WaitForReceived(expected.size()));
    EXPECT_EQ(peer.Received(), expected);
}

TEST_F(SerialLinkTest, ReconnectsAHundredTimesWhileThePeerNeverStopsSending) {
    PtyPair pty;
    PtyPeer peer(pty);
    // Noise with a beeper report in it: a report that arrives shows that bytes flow again.
    Bytes pattern(40, 0x11);
    const Bytes report = Wire(test::FrameFromBody("01 0B 00 00 00 00 00 00 00 00"));
    pattern.insert(pattern.end(), report.begin(), report.end());
    peer.Stream(true, pattern);
    peer.Start();
    Start(pty.SlavePath());
    Click(IDC_COM_CONNECT);
    ASSERT_TRUE(Connected());
    for (int cycle = 0; cycle < 100; ++cycle) {
        SCOPED_TRACE(cycle);
        Click(IDC_COM_CONNECT);
        ASSERT_FALSE(Connected());
        main->CheckItem(IDC_ENABLE_BEEP, false);
        Click(IDC_COM_CONNECT);
        ASSERT_TRUE(Connected());
        ASSERT_TRUE(PumpUntil([&] { return Beep(); }));
    }
    EXPECT_FALSE(program.popUps.MessageOpen());
    peer.Stop();
}

TEST_F(SerialLinkTest, AHungUpLineShowsDisconnectedWithoutAPopUpAndRestartsTheRefresh) {
    PtyPair pty;
    Start(pty.SlavePath());
    Click(IDC_COM_CONNECT);
    ASSERT_TRUE(Connected());
    ASSERT_FALSE(main->IsTimerRunning(CCorvaneDlg::kPortListTimer));
    pty.CloseMaster();
    ASSERT_TRUE(PumpUntil([&] { return ShowsDisconnected(); }));
    EXPECT_FALSE(program.popUps.MessageOpen());
    EXPECT_TRUE(PumpUntil([&] { return !main->SerialPort().IsThreadAlive(); }));
}

TEST_F(SerialLinkTest, APortHeldElsewhereIsNeitherListedNorOpened) {
    PtyPair pty;
    Start(pty.SlavePath());

    // The refresh finds holders without opening the device.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, pty.SlavePath().c_str(), IN_OPEN), 0);
    {
        test::ChildHolder opener(pty.SlavePath(), false);
        ASSERT_TRUE(opener.Held());
        char events[4096];
        while (::read(watch, events, sizeof events) > 0) {
        }
        // A plain open shows once the walk that its open started has seen it.
        EXPECT_TRUE(PumpUntil([&] { return !Listed(); }));
        EXPECT_LT(::read(watch, events, sizeof events), 0) << "the refresh opened the device";
    }
    ::close(watch);
    EXPECT_TRUE(PumpUntil([&] { return Listed(); }));

    // A holder that locks the device: a connect on the entry that is still shown fails, and the
    // entry drops out soon after.
    ASSERT_TRUE(Select());
    test::ChildHolder locker(pty.SlavePath(), true);
    ASSERT_TRUE(locker.Held());
    Click(IDC_COM_CONNECT);
    EXPECT_EQ(main->Link().comUp, 0);
    EXPECT_EQ(program.popUps.MessageText(), "Open COM failed!");
    EXPECT_TRUE(program.popUps.MessageOpen());
    EXPECT_TRUE(PumpUntil([&] { return !Listed(); }));
}

}  // namespace
}  // namespace corvane
