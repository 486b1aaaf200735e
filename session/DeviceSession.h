#pragma once
// One connection to one device: the serial port thread (or the TCP link), the assembler, the
// router, the sender, the traffic log, the ready flag and the connection guard. Several
// sessions can live side by side in one process; each runs on the thread that made it.

#include "framework/Clock.h"
#include "framework/SyncCall.h"
#include "framework/WindowTimers.h"
#include "link/CSerialPort.h"
#include "link/DeviceSender.h"
#include "link/FrameAssembler.h"
#include "link/FrameRouter.h"
#include "link/NetSockets.h"
#include "link/TcpLink.h"
#include "link/TrafficLog.h"
#include "session/LinkState.h"
#include "session/SessionHost.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace corvane {

// What the session tells the program around it.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    // The connection guard refused a command because the selected link is down; text is
    // "Open COM failed!" or "Connect to Matrix failed!".
    virtual void OnLinkRefused(const QString& text) = 0;
    // The serial port failed (unplugged, read error); the session has closed it.
    virtual void OnSerialLinkLost() = 0;
    // Timer 1000 ran out before the answer it guards. The ready flag stays 0 until the program
    // gives it back (the window: when its "Time out!" pop-up closes).
    virtual void OnMainTimeout() = 0;
    // The TCP connection stands (the connect notification came without error).
    virtual void OnTcpConnected() {}
    // The switcher closed the TCP connection; the session has closed its side.
    virtual void OnTcpClosed() {}
};

class DeviceSession final : public QObject, public SessionHost, private SerialPortOwner {
    Q_OBJECT
public:
    static constexpr int kTimeoutTimer = 1000;
    static constexpr int kTimeoutPeriod = 7000;

    // The outcome of OpenSerial: on failure the system's error and the line that says what
    // the operator can do about it.
    struct OpenResult {
        bool opened = false;
        int error = 0;
        std::string reason;
    };

    explicit DeviceSession(Clock& clock);
    ~DeviceSession() override;
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    void SetObserver(SessionObserver* observer) { observer_ = observer; }
    // Where the two logs write; without targets the text is dropped (the counters still run).
    void SetLogTargets(LogTarget* send, LogTarget* receive);
    // Which link a send takes; by default the control mode's, the window asks its radio.
    void SetComModeQuery(std::function<bool()> comMode) { comMode_ = std::move(comMode); }

    // SessionHost
    bool CheckLinkReady() override;
    bool IsReady() const override { return link_.ready != 0; }
    void SetReady(bool ready) override { link_.ready = ready ? 1 : 0; }
    void PostSendRequest(int wParam) override;
    void SendFrame(Frame& frame) override { sender_.Send(frame); }
    void StartMainTimeout() override { timers_.SetTimer(kTimeoutTimer, kTimeoutPeriod); }
    TransmitBuffers& Tx() override { return tx_; }

    // WM_SEND_REQUEST, as handled once the posted request comes up.
    void OnSendRequest(int wParam);
    void StopMainTimeout() { timers_.KillTimer(kTimeoutTimer); }
    bool MainTimeoutRunning() const { return timers_.IsRunning(kTimeoutTimer); }

    // The serial link. OpenSerial ends a port thread that may still be ending, opens device
    // and starts the port thread; the link then counts as up.
    OpenResult OpenSerial(const std::string& device, unsigned portNumber,
                          const serialio::LineSettings& settings);
    // The close request; what the port thread still delivers is dropped. The link is down.
    void CloseSerial();
    // The TCP link: the sockets to use from now on (until then there are none), and tcpPort in
    // place of the switcher's port 8000 in loopback tests. Making a new link drops the old one.
    void UseSockets(SocketFactory& sockets, std::uint16_t tcpPort = kSwitcherTcpPort);
    // Starts connecting to address; the link comes up with the connect notification. A failed
    // attempt reports nothing.
    void ConnectTcp(const QString& address) { tcp_->Connect(address); }
    // The TCP link goes down: flag and socket.
    void CloseTcp();
    TcpLink& Tcp() { return *tcp_; }

    // Closes the serial port and waits until its thread has ended; what it still delivers
    // meanwhile is dropped.
    void EndSerialThread();
    // WM_COMM_FAILED from the port thread of the connection that serialSession counts.
    void OnSerialFailed(unsigned serialSession);

    // One byte from the link, as WM_RX_BYTE.
    void OnRxByte(std::uint8_t byte) { assembler_.OnRxByte(byte); }
    void DispatchFrame(const Frame& frame) { router_.DispatchFrame(frame); }

    Clock& clock() const { return clock_; }
    std::uint8_t CurrentPage() const { return router_.CurrentPage(); }
    LinkState& Link() { return link_; }
    const LinkState& Link() const { return link_; }
    DeviceSender& Sender() { return sender_; }
    FrameRouter& Router() { return router_; }
    TrafficLog& Log() { return log_; }
    const FrameAssembler& Assembler() const { return assembler_; }
    CSerialPort& SerialPort() { return serialPort_; }

private:
    // A log that forwards to the target the program set, if any.
    class LogForward final : public LogTarget {
    public:
        void InsertAtCaret(const std::string& text) override {
            if (target) target->InsertAtCaret(text);
        }
        void Empty() override {
            if (target) target->Empty();
        }
        LogTarget* target = nullptr;
    };

    void OnTimer(int id);
    // SerialPortOwner, called on the port thread.
    bool OnPortBytes(const std::uint8_t* bytes, std::size_t count, unsigned portNumber) override;
    void OnPortFailed(unsigned serialSession) override;

    Clock& clock_;
    SessionObserver* observer_ = nullptr;
    std::function<bool()> comMode_;
    LinkState link_;
    TransmitBuffers tx_;
    LogForward sendLog_;
    LogForward receiveLog_;
    TrafficLog log_;
    FrameRouter router_;
    FrameAssembler assembler_;
    DeviceSender sender_;
    WindowTimers timers_;
    SyncCall rxCall_;  // WM_RX_BYTE: the port thread waits until the bytes were processed
    CSerialPort serialPort_;
    std::unique_ptr<TcpLink> tcp_;
    // Posted calls that come up after the session has gone do nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace corvane
