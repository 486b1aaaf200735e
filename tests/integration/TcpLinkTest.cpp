// The whole program on a real clock with Qt's TCP socket, and the simulator listening on
// 127.0.0.1 at the other end. Nothing here leaves the loopback: the sockets refuse any other
// address, and there is no UDP socket at all.
#include "app/CCorvaneDlg.h"
#include "app/NetworkControl.h"
#include "app/Program.h"
#include "framework/Clock.h"
#include "link/QtSockets.h"
#include "pages/CMatrixDlg.h"
#include "resources/resource.h"
#include "sim/DeviceModel.h"
#include "sim/NetTransport.h"
#include "tests/support/FakeLink.h"
#include "tests/support/FakePortSource.h"
#include "tests/support/Pump.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QComboBox>

namespace corvane {
namespace {

using test::PumpUntil;

constexpr Ipv4 kLoopback = 0x7F000001;

class LoopbackStream final : public StreamSocket {
public:
    explicit LoopbackStream(std::unique_ptr<StreamSocket> real) : real_(std::move(real)) {}
    void Connect(Ipv4 address, std::uint16_t port) override {
        if (address != kLoopback) {
            ADD_FAILURE() << "connect to a non-loopback address refused";
            return;
        }
        real_->Connect(address, port);
    }
    std::size_t Receive(std::uint8_t* b, std::size_t max) override {
        return real_->Receive(b, max);
    }
    void Send(const std::uint8_t* b, std::size_t n) override { real_->Send(b, n); }
    bool IsConnected() const override { return real_->IsConnected(); }

private:
    std::unique_ptr<StreamSocket> real_;
};

class LoopbackOnly final : public SocketFactory {
public:
    std::unique_ptr<StreamSocket> MakeStream(StreamSocket::Notify notify) override {
        return std::make_unique<LoopbackStream>(qt_.MakeStream(std::move(notify)));
    }
    std::unique_ptr<DatagramSocket> MakeDatagram(std::uint16_t, DatagramSocket::Readable) override {
        return nullptr;
    }
    std::vector<NetInterface> Interfaces() override { return {}; }

private:
    QtSocketFactory qt_;
};

class TcpLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::NetOptions options;
        options.tcp = true;
        options.tcpAddress = "127.0.0.1";
        options.tcpPort = 0;
        transport = std::make_unique<sim::NetTransport>(model, options);
        std::string error;
        ASSERT_TRUE(transport->Open(&error)) << error;
        ASSERT_TRUE(transport->Start(&error)) << error;

        main = std::make_unique<CCorvaneDlg>(program, &ports);
        main->InitDialog();
        main->Network().UseSockets(sockets, transport->TcpPort());
        Click(IDC_TCP_MODE);
        // What a search would have listed.
        main->ItemAs<QComboBox>(IDC_SWITCHER_IP)->addItem(QStringLiteral("127.0.0.1"), 0);
    }
    void TearDown() override {
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        transport.reset();
    }

    void Click(int id) { main->ItemAs<QAbstractButton>(id)->click(); }
    bool ShowsConnected() const {
        return main->Link().tcpUp == 1 && main->ItemText(IDC_TCP_CONNECT) == "Disconnect" &&
               main->Item(IDC_TCP_ICON)->property("resource").toInt() == IDI_LINK_UP;
    }
    bool ShowsDisconnected() const {
        return main->Link().tcpUp == 0 && main->ItemText(IDC_TCP_CONNECT) == "Connect" &&
               main->Item(IDC_TCP_ICON)->property("resource").toInt() == IDI_LINK_DOWN;
    }

    sim::DeviceModel model;
    std::unique_ptr<sim::NetTransport> transport;
    QtClock clock;
    Program program{clock};
    test::FakePortSource ports;
    LoopbackOnly sockets;
    std::unique_ptr<CCorvaneDlg> main;
};

TEST_F(TcpLinkTest, ConnectReadsTheBeeperAndAHangUpShowsTheLinkDown) {
    Click(IDC_TCP_CONNECT);
    ASSERT_TRUE(PumpUntil([&] { return ShowsConnected(); }));
    EXPECT_TRUE(PumpUntil([&] { return main->IsItemChecked(IDC_ENABLE_BEEP); }));

    transport->CloseClient();
    ASSERT_TRUE(PumpUntil([&] { return ShowsDisconnected(); }));

    // Connect again, and the beeper now reads off.
    transport->WithModel([](sim::DeviceModel& m) { m.State().beeper = false; });
    Click(IDC_TCP_CONNECT);
    ASSERT_TRUE(PumpUntil([&] { return ShowsConnected(); }));
    EXPECT_TRUE(PumpUntil([&] { return !main->IsItemChecked(IDC_ENABLE_BEEP); }));
    EXPECT_EQ(transport->Accepted(), 2);
    EXPECT_FALSE(program.popUps.MessageOpen());
}

TEST_F(TcpLinkTest, ASwitchClickIsConfirmedOverTcp) {
    Click(IDC_TCP_CONNECT);
    ASSERT_TRUE(PumpUntil([&] { return ShowsConnected(); }));
    // Two replies read as one chunk would lose the second, so the beeper answer comes first.
    ASSERT_TRUE(PumpUntil([&] { return main->IsItemChecked(IDC_ENABLE_BEEP); }));
    main->OnTabClicked(kPageSwitch);
    CMatrixDlg* page = main->SwitchPage();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return main->Link().ready == 1 && page->CurrentInput() == 1; }));

    page->ItemAs<QAbstractButton>(IDC_SW_HDMI3)->click();
    ASSERT_TRUE(PumpUntil([&] { return main->Link().ready == 1 && page->CurrentInput() == 3; }));
    EXPECT_TRUE(page->IsItemChecked(IDC_SW_HDMI3));
    EXPECT_EQ(transport->WithModel([](sim::DeviceModel& m) { return m.State().input; }), 3);
    EXPECT_FALSE(program.popUps.MessageOpen());
}

}  // namespace
}  // namespace corvane
