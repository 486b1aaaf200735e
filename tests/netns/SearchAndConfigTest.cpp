// The whole program with Qt's sockets against the simulator in a neighbouring network namespace:
// the search broadcast, TCP control, and the network configuration with its acknowledgement and
// repeated search. The program's default route leads to another network, so the switcher is
// found only by broadcasting out of each adapter. Search and configuration broadcast, so these
// tests run only inside the private namespace that run-in-netns.sh makes, and check that they are
// inside one before they make a socket.
#include "app/CConfigIPDlg.h"
#include "app/CCorvaneDlg.h"
#include "app/NetworkControl.h"
#include "app/Program.h"
#include "app/TrafficModel.h"
#include "framework/Clock.h"
#include "link/QtSockets.h"
#include "pages/CMatrixDlg.h"
#include "resources/resource.h"
#include "tests/netns/TestNamespace.h"
#include "tests/support/FakePortSource.h"
#include "tests/support/Pump.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QComboBox>

#include <chrono>

namespace corvane {
namespace {

using test::PumpUntil;

// The addresses run-in-netns.sh gives the simulator's side.
const QString kSimAddress = QStringLiteral("198.51.100.10");
const QString kSimOtherAddress = QStringLiteral("198.51.100.50");
const QString kSimMac = QStringLiteral("024356000001");
// The program's adapters: towards the simulator, and towards the network of the default route.
const QString kSwitcherSide = qEnvironmentVariable("CORVANE_NETNS_SWITCHER_IF");
const QString kOfficeSide = qEnvironmentVariable("CORVANE_NETNS_OFFICE_IF");

using test::NotInsideTheTestNamespace;

// Qt's sockets, once more asking before each UDP socket whether this is the test's namespace.
class CheckedSockets final : public SocketFactory {
public:
    std::unique_ptr<StreamSocket> MakeStream(StreamSocket::Notify notify) override {
        return qt_.MakeStream(std::move(notify));
    }
    std::unique_ptr<DatagramSocket> MakeDatagram(std::uint16_t port,
                                                 DatagramSocket::Readable readable) override {
        if (const std::string why = NotInsideTheTestNamespace(); !why.empty()) {
            ADD_FAILURE() << "UDP socket refused: " << why;
            return nullptr;
        }
        return qt_.MakeDatagram(port, std::move(readable));
    }
    std::vector<NetInterface> Interfaces() override { return qt_.Interfaces(); }

private:
    QtSocketFactory qt_;
};

class NetnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qgetenv("CORVANE_NETNS") != "1")
            GTEST_SKIP() << "runs only inside the namespaces of tests/netns/run-in-netns.sh";
        const std::string why = NotInsideTheTestNamespace();
        ASSERT_TRUE(why.empty()) << why;
        main = std::make_unique<CCorvaneDlg>(program, &ports);
        main->InitDialog();
        main->Network().UseSockets(sockets);
        Click(main.get(), IDC_TCP_MODE);
    }
    void TearDown() override {
        if (main) main->Network().UseSockets(NoSockets());
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static void Click(CDialog* window, int id) { window->ItemAs<QAbstractButton>(id)->click(); }
    QComboBox& List() { return *main->ItemAs<QComboBox>(IDC_SWITCHER_IP); }
    int Find(const QString& address) { return List().findText(address); }
    // Searches until the simulator is listed; returns its address.
    QString SearchForTheSimulator() {
        Click(main.get(), IDC_SEARCH);
        if (!PumpUntil([&] { return List().count() > 0; }, 5000)) return {};
        return List().itemText(0);
    }
    bool Connected() const {
        return main->Link().tcpUp == 1 && main->ItemText(IDC_TCP_CONNECT) == "Disconnect";
    }
    // How the traffic monitor shows the datagrams of one kind ("sent on cvnl123"), sorted.
    QStringList Directions(TrafficKind kind, std::size_t minLength = 0) {
        QStringList directions;
        const TrafficModel& traffic = main->Traffic();
        for (int row = 0; row < traffic.rowCount(); ++row) {
            if (traffic.Entry(row).kind != kind || traffic.Entry(row).bytes.size() < minLength)
                continue;
            directions << traffic
                              .data(traffic.index(row, TrafficModel::kDirection), Qt::DisplayRole)
                              .toString();
        }
        directions.sort();
        return directions;
    }
    void CloseMessage() {
        if (CMessageDlg* m = program.popUps.MessageWindow(); m && program.popUps.MessageOpen())
            Click(m, IDC_MSG_OK);
    }
    // Config... with Static IP and the address typed; OK.
    void Configure(const QString& address) {
        Click(main.get(), IDC_CONFIG);
        CConfigIPDlg* dialog = main->Network().ConfigDialog();
        ASSERT_NE(dialog, nullptr);
        Click(dialog, IDC_CFG_STATIC_IP);
        const QStringList octets = address.split('.');
        for (int i = 0; i < 4; ++i)
            dialog->SetItemText(IDC_CFG_IP1 + i, octets[i]);
        Click(dialog, IDC_CFG_OK);
        ASSERT_TRUE(PumpUntil([&] { return program.popUps.BusyOpen(); }));
        EXPECT_EQ(program.popUps.BusyText(), "Configuring");
    }

    QtClock clock;
    Program program{clock};
    test::FakePortSource ports;
    CheckedSockets sockets;
    std::unique_ptr<CCorvaneDlg> main;
};

TEST_F(NetnsTest, SearchListsTheSimulatorWhichIsThenControlledOverTcp) {
    const QString address = SearchForTheSimulator();
    ASSERT_FALSE(address.isEmpty());
    EXPECT_EQ(List().count(), 1);
    EXPECT_TRUE(address == kSimAddress || address == kSimOtherAddress) << address.toStdString();
    const auto& target = program.network.targetMac;
    EXPECT_EQ(QStringList(target.begin(), target.end()).join(QString()), kSimMac);
    EXPECT_EQ(Directions(TrafficKind::SearchRequest),
              (QStringList{"sent on " + kOfficeSide, "sent on " + kSwitcherSide}));
    EXPECT_EQ(Directions(TrafficKind::SearchReply, 50).value(0), "received on " + kSwitcherSide);

    Click(main.get(), IDC_TCP_CONNECT);
    ASSERT_TRUE(PumpUntil([&] { return Connected(); }));
    EXPECT_TRUE(PumpUntil([&] { return main->IsItemChecked(IDC_ENABLE_BEEP); }));

    main->OnTabClicked(kPageSwitch);
    CMatrixDlg* page = main->SwitchPage();
    ASSERT_TRUE(PumpUntil([&] { return main->Link().ready == 1 && page->CurrentInput() != 0; }));
    const int input = page->CurrentInput() == 4 ? 5 : 4;
    Click(page, IDC_SW_HDMI1 + input - 1);
    ASSERT_TRUE(
        PumpUntil([&] { return main->Link().ready == 1 && page->CurrentInput() == input; }));
    EXPECT_TRUE(page->IsItemChecked(IDC_SW_HDMI1 + input - 1));
    EXPECT_FALSE(program.popUps.MessageOpen());
}

TEST_F(NetnsTest, TheSwitcherTakesTheNewAddressAndAnswersFromIt) {
    const QString before = SearchForTheSimulator();
    ASSERT_FALSE(before.isEmpty());
    const QString after = before == kSimAddress ? kSimOtherAddress : kSimAddress;
    Configure(after);
    EXPECT_EQ(Directions(TrafficKind::ConfigSent), QStringList{"sent on " + kSwitcherSide});

    // Acknowledged, searched again until it answers from the new address, confirmed, closed.
    ASSERT_TRUE(
        PumpUntil([&] { return program.popUps.BusyText() == "Configure successfully!"; }, 15000));
    ASSERT_TRUE(PumpUntil([&] { return !program.popUps.BusyOpen(); }, 3000));
    EXPECT_FALSE(program.popUps.MessageOpen());
    EXPECT_GE(Find(after), 0);
    EXPECT_LT(Find(before), 0);

    List().setCurrentIndex(Find(after));
    Click(main.get(), IDC_TCP_CONNECT);
    EXPECT_TRUE(PumpUntil([&] { return Connected(); }));
}

TEST_F(NetnsTest, AConfigurationForAnotherDeviceTimesOut) {
    ASSERT_FALSE(SearchForTheSimulator().isEmpty());
    program.network.targetMac[5] = QStringLiteral("7F");  // no such switcher here
    // The 20 s period itself is tested on the manual clock. Here the time-out must not come
    // early, which no load can cause; how late it comes is left to the machine.
    const auto started = std::chrono::steady_clock::now();
    Configure(kSimOtherAddress);
    ASSERT_TRUE(PumpUntil([&] { return program.popUps.MessageOpen(); }, 60000));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 19900);
    EXPECT_EQ(program.popUps.MessageText(), "Time out!");
    EXPECT_FALSE(program.popUps.BusyOpen());
    CloseMessage();
    EXPECT_TRUE(PumpUntil([&] { return main->Link().ready == 1; }));
}

}  // namespace
}  // namespace corvane
