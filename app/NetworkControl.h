#pragma once
// The main window's network side: the TCP Connect/Disconnect button and link, and the view of
// the switcher search and the network configuration (the switcher list, Config..., the busy
// pop-up of a configuration and its time-out). The search and configuration exchange itself is
// the NetworkController's. The main window owns it.

#include "app/CConfigIPDlg.h"
#include "link/NetSockets.h"
#include "link/TcpLink.h"
#include "session/NetworkController.h"

#include <QPointer>

#include <memory>

namespace corvane {

class CCorvaneDlg;

class NetworkControl : private NetworkListener {
public:
    // What the session reports of the TCP link.
    void OnTcpConnected();
    void OnTcpClosed();

    explicit NetworkControl(CCorvaneDlg& main);
    ~NetworkControl() override;

    // The sockets to use from now on (the application hands over the platform's; until then
    // there are none). tcpPort stands in for the switcher's port 8000 in loopback tests.
    void UseSockets(SocketFactory& sockets, std::uint16_t tcpPort = kSwitcherTcpPort);

    // ConnectTcp: button 1045 (the link itself is the session's).
    void ConnectTcp();
    // The TCP link goes down at the operator's wish: flag, socket, button and icon.
    void CloseTcp();
    // SearchSwitchers: button 1046.
    void SearchSwitchers();
    // Config...: button 1047.
    void OnConfig();
    // Switcher list 1060, selection changed: the target fields take the selected entry.
    void OnSwitcherSelected();

    NetworkController& Controller() { return controller_; }
    // The configuration dialog while it runs.
    CConfigIPDlg* ConfigDialog() const { return configDialog_; }

private:
    void ShowTcpDisconnected();

    // NetworkListener
    void OnSearchStarted() override;
    void OnSwitcherListed(int row, const FoundSwitcher& found) override;
    void OnTargetChanged(int selectedRow, const SwitcherTarget& target) override;
    void OnConfigConfirmed() override;
    void OnConfigFinished() override;
    void OnConfigTimedOut() override;

    CCorvaneDlg& main_;
    NetworkController controller_;
    QPointer<CConfigIPDlg> configDialog_;
};

}  // namespace corvane
