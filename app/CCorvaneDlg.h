#pragma once
// The main window: title band, tabs, the General page's controls, and the pages laid over the
// client area. It owns the program's device session, through which every byte leaves the
// program and every reply frame is routed.

#include "app/Program.h"
#include "app/TrafficModel.h"
#include "framework/Dialog.h"
#include "link/SerialDiagnosis.h"
#include "link/SerialPorts.h"
#include "pages/PageHost.h"
#include "session/DeviceSession.h"

#include <QFont>
#include <QPixmap>
#include <functional>
#include <memory>
#include <string>

class QComboBox;

namespace corvane {

class CMatrixDlg;
class CEDIDDlg;
class CFWDlg;
class NetworkControl;
class GeneralSettings;
class TabRow;
class TrafficMonitor;

class CCorvaneDlg : public CDialog, public PageHost, private SessionObserver {
    Q_OBJECT
public:
    static constexpr int kTimeoutTimer = DeviceSession::kTimeoutTimer;
    static constexpr int kTimeoutPeriod = DeviceSession::kTimeoutPeriod;
    static constexpr int kPortListTimer = 1;
    static constexpr int kPortListPeriod = 600;
    // Timer 1's period when the port source reports changes itself: the list follows those
    // reports at once, and the ticks are only a fallback, which need not wake the program.
    static constexpr int kPortListReportedPeriod = 30000;
    static constexpr int kCommFailed = 1;  // WM_COMM_FAILED's wParam for a failed port
    static inline const QString kCaption = QStringLiteral("Velarin Ver6.34            ");

    // ports lists the machine's serial ports; without one the window uses the system's.
    explicit CCorvaneDlg(Program& program, PortSource* ports = nullptr);
    ~CCorvaneDlg() override;

    // Called when the close button asks the program to end.
    void SetQuitHandler(std::function<void()> quit) { quit_ = std::move(quit); }

    // PageHost
    bool CheckLinkReady() override { return session_.CheckLinkReady(); }
    bool IsReady() const override { return session_.IsReady(); }
    void SetReady(bool ready) override { session_.SetReady(ready); }
    void PostSendRequest(int wParam) override { session_.PostSendRequest(wParam); }
    void SendFrame(Frame& frame) override { session_.SendFrame(frame); }
    void StartMainTimeout() override { session_.StartMainTimeout(); }
    TransmitBuffers& Tx() override { return session_.Tx(); }
    PopUps& PopUp() override { return program_.popUps; }

    // WM_SEND_REQUEST, as handled once the posted request comes up.
    void OnSendRequest(int wParam) { session_.OnSendRequest(wParam); }
    // WM_RX_BYTE: one byte from the serial link.
    void OnRxByte(std::uint8_t byte) { session_.OnRxByte(byte); }
    void DispatchFrame(const Frame& frame) { session_.DispatchFrame(frame); }
    void SendToDevice(std::size_t length, std::uint8_t* buffer) {
        session_.Sender().SendToDevice(length, buffer);
    }

    // Tab labels and pages.
    static int TabLabelId(int page);
    void OnTabClicked(int page);
    void SelectPage(int page);
    void ShowHidePages();
    std::uint8_t CurrentPage() const { return session_.CurrentPage(); }
    void SetCurrentPage(std::uint8_t page) { session_.Router().SetCurrentPage(page); }
    CMatrixDlg* SwitchPage() const { return switchPage_; }
    CEDIDDlg* EdidPage() const { return edidPage_; }
    CFWDlg* FirmwarePage() const { return firmwarePage_; }
    static const std::vector<int>& GeneralControlIds();

    void BlankDeviceInformation();
    // The two log boxes take new text a few milliseconds after it was logged; this puts in what
    // is waiting at once.
    void FlushLogs();
    void ApplyControlMode();
    // Shows the red (down) or green (up) dot in status icon 1103 or 1104.
    void SetLinkIcon(int id, bool up);
    // Opens the About box modally; returns its window.
    CDialog* ShowAbout();
    // Shows the traffic monitor (made on first use); returns its window.
    TrafficMonitor* ShowTraffic();
    TrafficModel& Traffic() { return traffic_; }

    // The serial side of the connection workflow (SerialConnection.cpp).
    void RefreshPortList();
    // The port source saw something that may change the list.
    void OnPortsChanged();
    // Waits for the search for serial traps that a refresh or a failed open started.
    bool WaitForTrapSearch(int timeoutMs) { return trapWatch_.WaitForLatestLook(timeoutMs); }
    // Button 1021: connect, or disconnect when the serial link is up.
    void OnComConnect();
    // WM_COMM_FAILED from the port thread of the connection that session counts.
    void OnCommFailed(int wParam, unsigned session);
    CSerialPort& SerialPort() { return session_.SerialPort(); }
    // The ports of the last refresh, as enumerated.
    const std::vector<SSerInfo>& Ports() const { return ports_; }

    // The General page's reply handler (GeneralReplies.cpp).
    void OnGeneralReply(const Frame& frame);

    // The TCP link, the switcher search and the network configuration (NetworkControl.cpp).
    NetworkControl& Network() { return *network_; }
    // The beeper and the factory reset (GeneralSettings.cpp).
    GeneralSettings& Settings() { return *settings_; }

    Program& program() { return program_; }
    DeviceSession& Session() { return session_; }
    LinkState& Link() { return session_.Link(); }
    const LinkState& Link() const { return session_.Link(); }
    DeviceSender& Sender() { return session_.Sender(); }
    FrameRouter& Router() { return session_.Router(); }
    TrafficLog& Log() { return session_.Log(); }
    const FrameAssembler& Assembler() const { return session_.Assembler(); }

    // The off-screen picture the paint handler copies to the window.
    QPixmap RenderSurface() const;
    QRect CaptionRect() const { return QRect(QPoint(1, 1), QPoint(289, 29)); }
    QRect GeneralFrameRect() const;

protected:
    void OnInitDialog() override;
    void OnTimer(int id) override;
    void OnCommand(int id, Notify code) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    class EditLog;
    void LayOutCaption();
    void UpdateTabColours();
    void ShowSerialDisconnected();
    // Each port-list item's tooltip: description, USB ids, serial number, device path.
    void UpdatePortToolTips(QComboBox& combo, const std::vector<SSerInfo>& ports);

    // SessionObserver
    void OnLinkRefused(const QString& text) override;
    void OnSerialLinkLost() override;
    void OnMainTimeout() override;
    void OnTcpConnected() override;
    void OnTcpClosed() override;

    Program& program_;
    TrafficModel traffic_;
    std::unique_ptr<TrafficMonitor> trafficMonitor_;
    std::unique_ptr<EditLog> sendLog_;
    std::unique_ptr<EditLog> receiveLog_;
    DeviceSession session_;
    QFont captionFont_;
    QPixmap surface_;  // what RenderSurface last drew, for surfacePage_
    int surfacePage_ = -1;
    std::function<void()> quit_;

    CMatrixDlg* switchPage_ = nullptr;
    CEDIDDlg* edidPage_ = nullptr;
    CFWDlg* firmwarePage_ = nullptr;
    TabRow* tabRow_ = nullptr;  // owned as a child object

    std::unique_ptr<PortSource> systemPorts_;
    PortSource* portSource_;
    int portListPeriod_ = kPortListPeriod;
    std::vector<SSerInfo> ports_;
    std::vector<QString> listedPorts_;  // the stored port list
    serialdiag::TrapWatch trapWatch_;
    std::string trapSignature_;  // USB devices and ports when the traps were last looked for
    serialio::LineSettings lineSettings_{115200, 'N', 8, 2, 3};

    std::unique_ptr<NetworkControl> network_;
    std::unique_ptr<GeneralSettings> settings_;
};

}  // namespace corvane
