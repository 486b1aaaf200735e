#include "session/DeviceSession.h"

#include "link/SerialDiagnosis.h"

#include <cerrno>

namespace corvane {

DeviceSession::DeviceSession(Clock& clock)
    : clock_(clock),
      comMode_([this] { return link_.controlMode == LinkState::kComMode; }),
      log_(sendLog_, receiveLog_),
      router_(log_),
      assembler_([this](const Frame& frame) { DispatchFrame(frame); }),
      sender_([this] { return comMode_(); }, log_),
      timers_(clock, [this](int id) { OnTimer(id); }) {
    sender_.SetSerialLink(&serialPort_);
    UseSockets(NoSockets());
}

DeviceSession::~DeviceSession() {
    // The port thread may be waiting to hand over bytes; it must end before the session does.
    EndSerialThread();
    sender_.SetTcpLink(nullptr);
}

void DeviceSession::UseSockets(SocketFactory& sockets, std::uint16_t tcpPort) {
    sender_.SetTcpLink(nullptr);
    tcp_ = std::make_unique<TcpLink>(
        sockets,
        TcpLink::Handlers{[this] {
                              link_.tcpUp = 1;
                              if (observer_) observer_->OnTcpConnected();
                          },
                          [this] {
                              CloseTcp();
                              if (observer_) observer_->OnTcpClosed();
                          },
                          [this](const Frame& frame) { DispatchFrame(frame); }},
        tcpPort);
    sender_.SetTcpLink(tcp_.get());
}

void DeviceSession::CloseTcp() {
    link_.tcpUp = 0;
    tcp_->Close();
}

void DeviceSession::EndSerialThread() {
    rxCall_.Release();
    serialPort_.EndThread();
}

void DeviceSession::SetLogTargets(LogTarget* send, LogTarget* receive) {
    sendLog_.target = send;
    receiveLog_.target = receive;
}

bool DeviceSession::CheckLinkReady() {
    if (link_.controlMode == LinkState::kComMode && link_.comUp == 0) {
        if (observer_) observer_->OnLinkRefused(QStringLiteral("Open COM failed!"));
        return false;
    }
    if (link_.controlMode != LinkState::kComMode && link_.tcpUp == 0) {
        if (observer_) observer_->OnLinkRefused(QStringLiteral("Connect to Matrix failed!"));
        return false;
    }
    if (link_.ready == 0) return false;
    link_.ready = 0;
    return true;
}

void DeviceSession::PostSendRequest(int wParam) {
    clock_.Post([this, wParam, alive = std::weak_ptr<int>(alive_)] {
        if (!alive.expired()) OnSendRequest(wParam);
    });
}

void DeviceSession::OnSendRequest(int wParam) {
    switch (wParam) {
        case kSendEdidFrame:
        case kSendSwitchFrame:
        case kSendFirmwareFrame:
            sender_.Send(tx_.frame);
            break;
        case kSendFirmwareBlock:
            sender_.Send(tx_.block);
            break;
        case kStopMainTimeout:
            StopMainTimeout();
            break;
        default:
            break;
    }
}

void DeviceSession::OnTimer(int id) {
    if (id != kTimeoutTimer) return;
    timers_.KillTimer(kTimeoutTimer);
    if (observer_) observer_->OnMainTimeout();
}

DeviceSession::OpenResult DeviceSession::OpenSerial(const std::string& device, unsigned portNumber,
                                                    const serialio::LineSettings& settings) {
    // A port thread of the last connection may still be ending, perhaps while it hands over
    // bytes: its deliveries are refused so that the wait for it cannot hang.
    rxCall_.Release();
    serialPort_.EndThread();
    rxCall_.Accept();
    OpenResult result;
    result.opened = portNumber != 0 && serialPort_.OpenLink(this, device, portNumber, settings);
    if (!result.opened) {
        result.error = portNumber == 0 ? ENODEV : serialPort_.LastOpenError();
        result.reason =
            serialdiag::DescribeOpenFailure(portNumber == 0 ? std::string() : device, result.error);
        link_.comUp = 0;
        return result;
    }
    serialPort_.StartLinkThread();
    link_.comUp = 1;
    return result;
}

void DeviceSession::CloseSerial() {
    rxCall_.Release();
    serialPort_.RequestClose();
    link_.comUp = 0;
}

void DeviceSession::OnSerialFailed(unsigned serialSession) {
    // A failure of a connection that was closed meanwhile, or already replaced by the next one,
    // must not take down the link that is up now.
    if (link_.comUp == 0 || serialSession != serialPort_.Session()) return;
    CloseSerial();
    if (observer_) observer_->OnSerialLinkLost();
}

bool DeviceSession::OnPortBytes(const std::uint8_t* bytes, std::size_t count, unsigned) {
    return rxCall_.Invoke([&] {
        for (std::size_t i = 0; i < count; ++i)
            OnRxByte(bytes[i]);
    });
}

void DeviceSession::OnPortFailed(unsigned serialSession) {
    QMetaObject::invokeMethod(
        this, [this, serialSession] { OnSerialFailed(serialSession); }, Qt::QueuedConnection);
}

}  // namespace corvane
