// The serial side of the connection workflow on the manual clock: the port list and its refresh,
// Connect and Disconnect on a real pseudo-terminal (frames sent go to the harness's fake link),
// port failures and the switch to TCP control.
#include "app/CCorvaneDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QCoreApplication>
#include <QStringList>

#include <thread>

namespace corvane {
namespace {

using test::Harness;
using test::PtyPair;

QStringList Entries(const CCorvaneDlg& main) {
    QStringList items;
    const auto* combo = main.ItemAs<QComboBox>(IDC_PORT_LIST);
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

int IconOf(const CCorvaneDlg& main, int id) {
    return main.Item(id)->property("resource").toInt();
}

// Messages of the serial log category while the object lives.
class SerialLogCapture {
public:
    SerialLogCapture() {
        lines_.clear();
        previous_ = qInstallMessageHandler(&SerialLogCapture::Handle);
    }
    ~SerialLogCapture() { qInstallMessageHandler(previous_); }
    static const QStringList& Lines() { return lines_; }

private:
    static void Handle(QtMsgType, const QMessageLogContext& context, const QString& text) {
        if (QByteArray(context.category) == "corvane.serial") lines_ << text;
    }
    static inline QStringList lines_;
    QtMessageHandler previous_ = nullptr;
};

class SerialConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Not connected, as the program starts; the harness counts the link as up.
        h.main.Link().comUp = 0;
        h.ports.Add(QString::fromStdString(pty.SlaveName()),
                    QString::fromStdString(pty.SlavePath()));
        h.main.RefreshPortList();
    }
    void Connect() {
        Harness::Click(&h.main, IDC_COM_CONNECT);
        ASSERT_EQ(h.main.Link().comUp, 1);
    }
    void ExpectDisconnected() {
        EXPECT_EQ(h.main.Link().comUp, 0);
        EXPECT_EQ(h.main.ItemText(IDC_COM_CONNECT), "Connect");
        EXPECT_EQ(IconOf(h.main, IDC_COM_ICON), IDI_LINK_DOWN);
        EXPECT_FALSE(h.main.SerialPort().IsOpen());
        EXPECT_TRUE(test::WaitFor([&] { return !h.main.SerialPort().IsThreadAlive(); }));
    }

    PtyPair pty;
    Harness h;
};

TEST_F(SerialConnectionTest, StartUpListsThePortsAndRefreshesEvery600Ms) {
    Harness fresh;
    fresh.ports.Set({"ttyUSB10", "ttyS0", "ttyUSB2"});
    EXPECT_TRUE(Entries(fresh.main).isEmpty());  // listed at start-up, before the ports came
    EXPECT_TRUE(fresh.main.IsTimerRunning(CCorvaneDlg::kPortListTimer));
    fresh.Advance(599);
    EXPECT_TRUE(Entries(fresh.main).isEmpty());
    fresh.Advance(1);
    EXPECT_EQ(Entries(fresh.main), QStringList({"ttyS0", "ttyUSB2", "ttyUSB10"}));
    EXPECT_EQ(fresh.main.ItemText(IDC_PORT_LIST), "ttyS0");

    // A port that appears later leaves the choice alone; the timer keeps running.
    fresh.main.ItemAs<QComboBox>(IDC_PORT_LIST)->setCurrentIndex(2);
    fresh.ports.Add("ttyUSB3");
    fresh.Advance(600);
    EXPECT_EQ(Entries(fresh.main), QStringList({"ttyS0", "ttyUSB2", "ttyUSB3", "ttyUSB10"}));
    EXPECT_EQ(fresh.main.ItemText(IDC_PORT_LIST), "ttyUSB10");
    EXPECT_TRUE(fresh.main.IsTimerRunning(CCorvaneDlg::kPortListTimer));
}

// A source that reports its changes, as the system's does: the window shows at once with an
// empty list, which fills when the source reports, not on a tick.
TEST(ReportedPortChanges, TheListFillsOnTheReportAndTheTicksDoNoWork) {
    ManualClock clock;
    Program program(clock);
    test::FakePortSource ports;
    ports.reports = true;
    CCorvaneDlg main(program, &ports);
    main.InitDialog();
    EXPECT_TRUE(Entries(main).isEmpty());
    ports.Set({"ttyUSB0", "ttyS0"});
    const int before = ports.enumerations;
    clock.Advance(120000);
    EXPECT_EQ(ports.enumerations, before);
    EXPECT_TRUE(Entries(main).isEmpty());

    std::thread([&] { ports.Report(); }).join();
    QCoreApplication::sendPostedEvents(&main);
    EXPECT_EQ(Entries(main), QStringList({"ttyS0", "ttyUSB0"}));
    EXPECT_EQ(main.ItemText(IDC_PORT_LIST), "ttyS0");
}

TEST_F(SerialConnectionTest, AnEnumerationErrorKeepsTheListAndTheTimer) {
    const int before = h.ports.enumerations;
    h.ports.failing = true;
    h.ports.Add("ttyUSB0");
    h.Advance(600);
    EXPECT_EQ(h.ports.enumerations, before + 1);
    EXPECT_EQ(Entries(h.main), QStringList({QString::fromStdString(pty.SlaveName())}));
    EXPECT_TRUE(h.main.IsTimerRunning(CCorvaneDlg::kPortListTimer));
    h.ports.failing = false;
    h.Advance(600);
    EXPECT_EQ(Entries(h.main).size(), 2);
}

TEST_F(SerialConnectionTest, ConnectSendsTheBeeperQueryAloneAndLeavesTheReadyFlag) {
    for (const int ready : {1, 0}) {
        h.main.Link().ready = ready;
        h.link.Clear();
        Connect();
        ASSERT_EQ(h.link.Count(), 1u);
        EXPECT_EQ(test::Hex(h.link.writes[0]), "A5 5B 01 0B 00 00 00 00 00 00 00 00 F4");
        EXPECT_EQ(h.main.Link().ready, ready);
        EXPECT_FALSE(h.main.Session().MainTimeoutRunning());

        EXPECT_EQ(h.main.ItemText(IDC_COM_CONNECT), "Disconnect");
        EXPECT_EQ(IconOf(h.main, IDC_COM_ICON), IDI_LINK_UP);
        EXPECT_FALSE(h.main.IsItemEnabled(IDC_PORT_LIST));
        EXPECT_FALSE(h.main.IsTimerRunning(CCorvaneDlg::kPortListTimer));
        EXPECT_TRUE(h.main.SerialPort().IsOpen());
        EXPECT_FALSE(h.program.popUps.MessageOpen());

        // Disconnect: the port thread closes the port; the refresh starts again.
        Harness::Click(&h.main, IDC_COM_CONNECT);
        ExpectDisconnected();
        EXPECT_TRUE(h.main.IsItemEnabled(IDC_PORT_LIST));
        EXPECT_TRUE(h.main.IsTimerRunning(CCorvaneDlg::kPortListTimer));
        EXPECT_EQ(h.link.Count(), 1u);
    }
}

TEST_F(SerialConnectionTest, WhileConnectedTheListIsFrozen) {
    Connect();
    h.ports.Add("ttyUSB0");
    const int before = h.ports.enumerations;
    h.Advance(3000);
    EXPECT_EQ(h.ports.enumerations, before);
    EXPECT_EQ(Entries(h.main).size(), 1);
}

TEST_F(SerialConnectionTest, OpenFailuresShowOpenComFailedAndLogTheReason) {
    SerialLogCapture log;
    // The selected device has gone since the last refresh.
    h.ports.entries.clear();
    h.ports.Add("ttyUSB7", "/dev/corvane-no-such-port");
    h.main.RefreshPortList();
    ASSERT_EQ(h.main.ItemText(IDC_PORT_LIST), "ttyUSB7");
    Harness::Click(&h.main, IDC_COM_CONNECT);
    EXPECT_EQ(h.main.Link().comUp, 0);
    EXPECT_TRUE(h.program.popUps.MessageOpen());
    EXPECT_EQ(h.program.popUps.MessageText(), "Open COM failed!");
    EXPECT_EQ(h.main.ItemText(IDC_COM_CONNECT), "Connect");
    EXPECT_EQ(h.link.Count(), 0u);
    ASSERT_EQ(log.Lines().size(), 1);
    EXPECT_TRUE(log.Lines()[0].contains("/dev/corvane-no-such-port"))
        << log.Lines()[0].toStdString();
    EXPECT_TRUE(log.Lines()[0].contains("No such file or directory"))
        << log.Lines()[0].toStdString();

    // A second failure while the pop-up is up changes nothing on screen.
    Harness::Click(&h.main, IDC_COM_CONNECT);
    EXPECT_TRUE(h.program.popUps.MessageOpen());
    h.CloseMessage();
    EXPECT_FALSE(h.program.popUps.MessageOpen());

    // No port at all: the empty list gives port 0, which opens nothing.
    h.ports.entries.clear();
    h.main.RefreshPortList();
    ASSERT_EQ(h.main.ItemText(IDC_PORT_LIST), "");
    Harness::Click(&h.main, IDC_COM_CONNECT);
    EXPECT_EQ(h.program.popUps.MessageText(), "Open COM failed!");
    EXPECT_TRUE(h.program.popUps.MessageOpen());
    EXPECT_EQ(h.main.Link().comUp, 0);
    EXPECT_EQ(h.link.Count(), 0u);
}

TEST_F(SerialConnectionTest, TcpModeClosesTheSerialPortAndLeavesTheRefreshStopped) {
    Connect();
    Harness::Click(&h.main, IDC_TCP_MODE);
    ExpectDisconnected();
    EXPECT_FALSE(h.main.IsItemEnabled(IDC_COM_CONNECT));
    EXPECT_FALSE(h.main.IsItemEnabled(IDC_PORT_LIST));
    EXPECT_FALSE(h.main.IsTimerRunning(CCorvaneDlg::kPortListTimer));

    // Back in COM mode the list is usable again but not refreshed until a connect and disconnect.
    Harness::Click(&h.main, IDC_COM_MODE);
    EXPECT_TRUE(h.main.IsItemEnabled(IDC_PORT_LIST));
    EXPECT_FALSE(h.main.IsTimerRunning(CCorvaneDlg::kPortListTimer));
    h.ports.Add("ttyUSB0");
    h.Advance(1200);
    EXPECT_EQ(Entries(h.main).size(), 1);
}

TEST_F(SerialConnectionTest, CommFailedShowsDisconnectedWithoutAPopUp) {
    Connect();
    const unsigned session = h.main.SerialPort().Session();
    // Other values of wParam, and a failure of an earlier connection, are not this link's.
    h.main.OnCommFailed(0, session);
    h.main.OnCommFailed(CCorvaneDlg::kCommFailed, session - 1);
    EXPECT_EQ(h.main.Link().comUp, 1);
    EXPECT_TRUE(h.main.SerialPort().IsOpen());

    h.main.OnCommFailed(CCorvaneDlg::kCommFailed, session);
    ExpectDisconnected();
    EXPECT_TRUE(h.main.IsTimerRunning(CCorvaneDlg::kPortListTimer));
    EXPECT_TRUE(h.main.IsItemEnabled(IDC_PORT_LIST));
    EXPECT_FALSE(h.program.popUps.MessageOpen());
    EXPECT_EQ(h.main.Link().ready, 1);

    // The guard now sees the link down.
    EXPECT_FALSE(h.main.CheckLinkReady());
    EXPECT_EQ(h.program.popUps.MessageText(), "Open COM failed!");
}

TEST_F(SerialConnectionTest, TheBeeperStateReplySetsEnableBeep) {
    h.Reply("01 0B 00 00 00 00 00 00 00 00");
    EXPECT_TRUE(h.main.IsItemChecked(IDC_ENABLE_BEEP));
    h.Reply("01 0B 00 00 01 00 00 00 00 00");
    EXPECT_FALSE(h.main.IsItemChecked(IDC_ENABLE_BEEP));
    // A failed report, a bad checksum and a report on another page leave the mark alone.
    h.Reply("01 0B 01 00 00 00 00 00 00 00");
    Frame bad = test::FrameFromBody("01 0B 00 00 00 00 00 00 00 00");
    bad[12] ^= 1;
    h.Reply(bad);
    h.main.SetCurrentPage(kPageEdid);
    h.Reply("01 0B 00 00 00 00 00 00 00 00");
    EXPECT_FALSE(h.main.IsItemChecked(IDC_ENABLE_BEEP));
}

}  // namespace
}  // namespace corvane
