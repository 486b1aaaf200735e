#include "app/NetworkControl.h"

#include "app/CConfigIPDlg.h"
#include "app/CCorvaneDlg.h"
#include "app/GeneralSettings.h"
#include "resources/resource.h"

#include <QComboBox>

namespace corvane {

NetworkControl::NetworkControl(CCorvaneDlg& main)
    : main_(main), controller_(main, main.clock(), main.Log()) {
    controller_.SetListener(this);
}

NetworkControl::~NetworkControl() {
    controller_.SetListener(nullptr);
    if (configDialog_) delete configDialog_.data();
}

void NetworkControl::UseSockets(SocketFactory& sockets, std::uint16_t tcpPort) {
    main_.Session().UseSockets(sockets, tcpPort);
    controller_.UseSockets(sockets);
}

void NetworkControl::ConnectTcp() {
    LinkState& link = main_.Link();
    if (link.tcpUp != 0) {
        CloseTcp();
        return;
    }
    // The link comes up with the connect notification; a failed attempt shows nothing.
    main_.Session().ConnectTcp(main_.ItemText(IDC_SWITCHER_IP));
}

void NetworkControl::CloseTcp() {
    main_.Session().CloseTcp();
    ShowTcpDisconnected();
}

void NetworkControl::ShowTcpDisconnected() {
    main_.SetItemText(IDC_TCP_CONNECT, QStringLiteral("Connect"));
    main_.SetLinkIcon(IDC_TCP_ICON, false);
}

void NetworkControl::OnTcpConnected() {
    main_.SetItemText(IDC_TCP_CONNECT, QStringLiteral("Disconnect"));
    main_.SetLinkIcon(IDC_TCP_ICON, true);
    // The beeper state, so that "Enable Beep" shows the device's. No ready flag, no time-out.
    main_.Settings().Beeper().Query();
}

void NetworkControl::OnTcpClosed() {
    // A link that is gone is shown as gone, so that the operator connects again rather than
    // meeting "Connect to Matrix failed!" under a green light.
    ShowTcpDisconnected();
}

void NetworkControl::SearchSwitchers() {
    controller_.Search();
}

void NetworkControl::OnSearchStarted() {
    if (auto* list = main_.ItemAs<QComboBox>(IDC_SWITCHER_IP)) list->clear();
    CloseTcp();
}

void NetworkControl::OnSwitcherListed(int row, const FoundSwitcher& found) {
    if (auto* list = main_.ItemAs<QComboBox>(IDC_SWITCHER_IP)) list->insertItem(row, found.address);
}

void NetworkControl::OnTargetChanged(int selectedRow, const SwitcherTarget& target) {
    auto* list = main_.ItemAs<QComboBox>(IDC_SWITCHER_IP);
    if (list && selectedRow >= 0) list->setCurrentIndex(selectedRow);
    NetworkState& network = main_.program().network;
    network.targetIp = target.ip;
    network.targetMac = target.mac;
}

void NetworkControl::OnSwitcherSelected() {
    if (const auto* list = main_.ItemAs<QComboBox>(IDC_SWITCHER_IP))
        controller_.Select(list->currentIndex());
}

void NetworkControl::OnConfig() {
    if (configDialog_) return;
    Program& program = main_.program();
    auto* dialog = new CConfigIPDlg(program.network, program.popUps, main_.clock());
    configDialog_ = dialog;
    dialog->RunModal(&main_, [this, dialog = QPointer<CConfigIPDlg>(dialog)](int result) {
        if (dialog) dialog->deleteLater();
        configDialog_ = nullptr;
        if (result != kIdOk) return;
        Program& p = main_.program();
        const NetworkState& n = p.network;
        // The dialog took only what passes the same checks, so nothing is refused here.
        if (!controller_.Configure({n.addressMode, n.targetMac, n.newIp, n.newMac}).isEmpty())
            return;
        p.popUps.ShowBusy(QStringLiteral("Configuring"));
    });
}

void NetworkControl::OnConfigConfirmed() {
    PopUps& popUps = main_.PopUp();
    popUps.SetBusyText(QStringLiteral("Configure successfully!"));
    if (popUps.BusyOpen()) popUps.FinishBusy();
}

void NetworkControl::OnConfigFinished() {
    main_.PopUp().CloseBusy();
}

void NetworkControl::OnConfigTimedOut() {
    PopUps& popUps = main_.PopUp();
    popUps.CloseBusy();
    popUps.ShowMessage(QStringLiteral("Time out!"), [this](int) { controller_.TimeOutSeen(); });
}

}  // namespace corvane
