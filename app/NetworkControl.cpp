#include "app/NetworkControl.h"

#include "app/CConfigIPDlg.h"
#include "app/CCorvaneDlg.h"
#include "app/ConfigPacket.h"
#include "resources/resource.h"

#include <QComboBox>

#include <algorithm>

namespace corvane {
namespace {

QString HexByteText(std::uint8_t b) {
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

QString MacText(const std::array<QString, 6>& bytes) {
    return QStringList(bytes.begin(), bytes.end()).join(QString()).toUpper();
}

}  // namespace

NetworkControl::NetworkControl(CCorvaneDlg& main) : main_(main) {
    MakeLinks(NoSockets(), kSwitcherTcpPort);
}

NetworkControl::~NetworkControl() {
    main_.Sender().SetTcpLink(nullptr);
    if (configDialog_) delete configDialog_.data();
}

void NetworkControl::UseSockets(SocketFactory& sockets, std::uint16_t tcpPort) {
    MakeLinks(sockets, tcpPort);
}

void NetworkControl::MakeLinks(SocketFactory& sockets, std::uint16_t tcpPort) {
    tcp_ = std::make_unique<TcpLink>(
        sockets,
        TcpLink::Handlers{[this] { OnTcpConnected(); }, [this] { OnTcpClosed(); },
                          [this](const Frame& frame) { main_.DispatchFrame(frame); }},
        tcpPort);
    udp_ = std::make_unique<SwitcherSearch>(
        sockets, SwitcherSearch::Handlers{[this](const std::uint8_t* b, std::size_t n,
                                                 const Via& via) { OnSearchReply(b, n, via); },
                                          [this](const std::uint8_t* b, std::size_t n,
                                                 const Via& via) { OnConfigReply(b, n, via); }});
    main_.Sender().SetTcpLink(tcp_.get());
}

void NetworkControl::ConnectTcp() {
    LinkState& link = main_.Link();
    if (link.tcpUp != 0) {
        CloseTcp();
        return;
    }
    // The link comes up with the connect notification; a failed attempt shows nothing.
    tcp_->Connect(main_.ItemText(IDC_SWITCHER_IP));
}

void NetworkControl::CloseTcp() {
    main_.Link().tcpUp = 0;
    tcp_->Close();
    ShowTcpDisconnected();
}

void NetworkControl::ShowTcpDisconnected() {
    main_.SetItemText(IDC_TCP_CONNECT, QStringLiteral("Connect"));
    main_.SetLinkIcon(IDC_TCP_ICON, false);
}

void NetworkControl::OnTcpConnected() {
    main_.Link().tcpUp = 1;
    main_.SetItemText(IDC_TCP_CONNECT, QStringLiteral("Disconnect"));
    main_.SetLinkIcon(IDC_TCP_ICON, true);
    // The beeper state, so that "Enable Beep" shows the device's. No ready flag, no time-out.
    TransmitBuffers& tx = main_.Tx();
    tx.Compose(0x01, 0x0B);
    main_.Sender().Send(tx.frame);
}

void NetworkControl::OnTcpClosed() {
    // A link that is gone is shown as gone, so that the operator connects again rather than
    // meeting "Connect to Matrix failed!" under a green light.
    CloseTcp();
}

void NetworkControl::SearchSwitchers() {
    if (auto* list = main_.ItemAs<QComboBox>(IDC_SWITCHER_IP)) list->clear();
    main_.program().network.foundSwitchers.clear();
    main_.program().network.foundOn.clear();
    CloseTcp();
    const std::uint8_t request = kSearchRequest;
    for (const Via& via : udp_->Search())
        main_.Log().NoteDatagram(TrafficKind::SearchRequest, &request, 1, via.name);
}

void NetworkControl::OnSearchReply(const std::uint8_t* bytes, std::size_t length, const Via& via) {
    main_.Log().LogDatagram(bytes, length, via.name);
    const std::optional<SearchReply> reply = ParseSearchReply(bytes, length);
    if (!reply) return;

    NetworkState& network = main_.program().network;
    QString mac;
    for (std::size_t i = 0; i < reply->mac.size(); ++i) {
        network.targetMac[i] = HexByteText(reply->mac[i]);
        mac += network.targetMac[i];
    }
    for (std::size_t i = 0; i < reply->ip.size(); ++i) {
        network.targetIp[i] = QString::number(reply->ip[i]);
    }
    if (reply->switcher) {
        const QStringList octets(network.targetIp.begin(), network.targetIp.end());
        AddSwitcher(octets.join(QLatin1Char('.')), mac, via.index);
    }
    // Config... must reach the switcher the list shows selected, not the one that answered last.
    OnSwitcherSelected();
    if (!reply->switcher) return;

    // Every switcher on the network answers a search; only the one being configured confirms
    // its configuration, and an ordinary search has nothing to confirm.
    if (!awaitingConfirmation_ || (mac != configuredNewMac_ && mac != configuredOldMac_)) return;
    awaitingConfirmation_ = false;
    main_.KillTimer(kSearchAgainTimer);
    main_.KillTimer(kConfigTimeoutTimer);
    main_.SetTimer(kConfigDoneTimer, kConfigDonePeriod);
}

void NetworkControl::AddSwitcher(const QString& address, const QString& mac, int interfaceIndex) {
    NetworkState& network = main_.program().network;
    std::vector<QString>& found = network.foundSwitchers;
    auto* list = main_.ItemAs<QComboBox>(IDC_SWITCHER_IP);
    if (!list) return;
    // A switcher that answers on two interfaces (or twice) is listed once, with both.
    for (int row = 0; row < list->count(); ++row) {
        const auto index = static_cast<std::size_t>(list->itemData(row).toInt());
        if (list->itemText(row) != address || index >= found.size() || found[index] != mac)
            continue;
        network.foundOn.resize(found.size());
        std::vector<int>& on = network.foundOn[index];
        if (interfaceIndex > 0 && std::find(on.begin(), on.end(), interfaceIndex) == on.end())
            on.push_back(interfaceIndex);
        list->setCurrentIndex(0);
        return;
    }
    if (found.size() >= NetworkState::kMaxSwitchers) return;
    // A sorted list: the new entry goes after every entry that does not sort after it.
    int at = 0;
    while (at < list->count() &&
           QString::compare(list->itemText(at), address, Qt::CaseInsensitive) <= 0) {
        ++at;
    }
    list->insertItem(at, address, static_cast<int>(found.size()));
    found.push_back(mac);
    network.foundOn.resize(found.size());
    if (interfaceIndex > 0) network.foundOn.back() = {interfaceIndex};
    list->setCurrentIndex(0);
}

std::vector<int> NetworkControl::SelectedSwitcherInterfaces() const {
    const auto* list = main_.ItemAs<QComboBox>(IDC_SWITCHER_IP);
    const NetworkState& network = main_.program().network;
    bool ok = false;
    const int index = list ? list->currentData().toInt(&ok) : -1;
    if (!ok || index < 0 || static_cast<std::size_t>(index) >= network.foundOn.size()) return {};
    return network.foundOn[static_cast<std::size_t>(index)];
}

void NetworkControl::OnSwitcherSelected() {
    auto* list = main_.ItemAs<QComboBox>(IDC_SWITCHER_IP);
    if (!list || list->currentIndex() < 0) return;
    NetworkState& network = main_.program().network;
    const QStringList parts = list->currentText().split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i)
        network.targetIp[i] = i < parts.size() ? parts[i] : QString();

    bool ok = false;
    const int index = list->currentData().toInt(&ok);
    if (!ok || index < 0 || static_cast<std::size_t>(index) >= network.foundSwitchers.size())
        return;
    const QString& mac = network.foundSwitchers[static_cast<std::size_t>(index)];
    for (int i = 0; i < 6; ++i)
        network.targetMac[i] = mac.mid(2 * i, 2);
}

void NetworkControl::SendConfigBroadcast(const ConfigPacket& packet) {
    // Where the chosen switcher answered; everywhere when that is not known.
    for (const Via& via : udp_->SendConfig(packet, SelectedSwitcherInterfaces()))
        main_.Log().NoteDatagram(TrafficKind::ConfigSent, packet.data(), packet.size(), via.name);
}

void NetworkControl::OnConfigReply(const std::uint8_t* bytes, std::size_t length, const Via& via) {
    main_.Log().NoteDatagram(TrafficKind::ConfigReply, bytes, length, via.name);
    if (!IsConfigAcknowledgement(bytes, length)) return;
    SearchSwitchers();
    main_.SetTimer(kSearchAgainTimer, kSearchAgainPeriod);
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
        SendConfigBroadcast(BuildConfigPacket(n.addressMode, n.targetMac, n.newIp, n.newMac));
        awaitingConfirmation_ = true;
        configuredOldMac_ = MacText(n.targetMac);
        configuredNewMac_ = MacText(n.newMac);
        main_.SetTimer(kConfigTimeoutTimer, kConfigTimeoutPeriod);
        p.popUps.ShowBusy(QStringLiteral("Configuring"));
    });
}

bool NetworkControl::OnTimer(int id) {
    PopUps& popUps = main_.PopUp();
    switch (id) {
        case kConfigDoneTimer:
            main_.KillTimer(kConfigDoneTimer);
            popUps.SetBusyText(QStringLiteral("Configure successfully!"));
            if (popUps.BusyOpen()) popUps.FinishBusy();
            main_.SetTimer(kConfigCloseTimer, kConfigClosePeriod);
            return true;
        case kConfigCloseTimer:
            main_.KillTimer(kConfigCloseTimer);
            popUps.CloseBusy();
            return true;
        case kConfigTimeoutTimer:
            OnConfigTimeout();
            return true;
        case kSearchAgainTimer:
            main_.KillTimer(kSearchAgainTimer);
            SearchSwitchers();
            main_.SetTimer(kSearchAgainTimer, kSearchAgainPeriod);
            return true;
        default:
            return false;
    }
}

void NetworkControl::OnConfigTimeout() {
    awaitingConfirmation_ = false;
    main_.KillTimer(kSearchAgainTimer);
    main_.KillTimer(kConfigTimeoutTimer);
    PopUps& popUps = main_.PopUp();
    popUps.CloseBusy();
    popUps.ShowMessage(QStringLiteral("Time out!"), [this](int) { main_.Link().ready = 1; });
}

}  // namespace corvane
