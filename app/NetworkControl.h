#pragma once
// The main window's network side: the TCP Connect/Disconnect button, the switcher search and
// its list, and the network configuration (Config..., the configuration broadcast, its
// acknowledgement, the repeated search and the end of a configuration). It drives controls and
// timers of the main window, which owns it.

#include "app/CConfigIPDlg.h"
#include "link/NetSockets.h"
#include "link/SwitcherSearch.h"
#include "link/TcpLink.h"

#include <QPointer>

#include <memory>

namespace corvane {

class CCorvaneDlg;

class NetworkControl {
public:
    // Main window timers.
    static constexpr int kConfigDoneTimer = 1004;
    static constexpr int kConfigCloseTimer = 1005;
    static constexpr int kConfigTimeoutTimer = 1007;
    static constexpr int kSearchAgainTimer = 1008;
    static constexpr int kConfigDonePeriod = 900;
    static constexpr int kConfigClosePeriod = 900;
    static constexpr int kConfigTimeoutPeriod = 20000;
    static constexpr int kSearchAgainPeriod = 3000;

    explicit NetworkControl(CCorvaneDlg& main);
    ~NetworkControl();

    // The sockets to use from now on (the application hands over the platform's; until then
    // there are none). tcpPort stands in for the switcher's port 8000 in loopback tests.
    void UseSockets(SocketFactory& sockets, std::uint16_t tcpPort = kSwitcherTcpPort);

    // ConnectTcp: button 1045.
    void ConnectTcp();
    // The TCP link goes down at the operator's wish: flag, socket, button and icon.
    void CloseTcp();
    // SearchSwitchers: button 1046, timer 1008 and the configuration acknowledgement.
    void SearchSwitchers();
    void SendConfigBroadcast(const ConfigPacket& packet);
    // Config...: button 1047.
    void OnConfig();
    // Switcher list 1060, selection changed, and after each search reply: the target fields
    // take the selected entry (unchanged while nothing is selected).
    void OnSwitcherSelected();
    // Timers 1004, 1005, 1007 and 1008; false for other ids.
    bool OnTimer(int id);

    // WM_SEARCH_REPLY and WM_CONFIG_REPLY, with the datagram read and the interface it came in on.
    void OnSearchReply(const std::uint8_t* bytes, std::size_t length, const Via& via);
    void OnConfigReply(const std::uint8_t* bytes, std::size_t length, const Via& via);

    TcpLink& Tcp() { return *tcp_; }
    SwitcherSearch& Udp() { return *udp_; }
    // The configuration dialog while it runs.
    CConfigIPDlg* ConfigDialog() const { return configDialog_; }
    bool AwaitingConfirmation() const { return awaitingConfirmation_; }

private:
    void MakeLinks(SocketFactory& sockets, std::uint16_t tcpPort);
    void OnTcpConnected();
    void OnTcpClosed();
    void ShowTcpDisconnected();
    void AddSwitcher(const QString& address, const QString& mac, int interfaceIndex);
    std::vector<int> SelectedSwitcherInterfaces() const;
    void OnConfigTimeout();

    CCorvaneDlg& main_;
    std::unique_ptr<TcpLink> tcp_;
    std::unique_ptr<SwitcherSearch> udp_;
    QPointer<CConfigIPDlg> configDialog_;
    // While a configuration waits for the device to answer a search again: its MAC before and
    // after, as 12 upper-case hexadecimal digits.
    bool awaitingConfirmation_ = false;
    QString configuredOldMac_;
    QString configuredNewMac_;
};

}  // namespace corvane
