#pragma once
// The platform's sockets for the TCP link and the switcher search, on Qt's QTcpSocket and
// QUdpSocket. Their signals arrive on the user-interface thread.

#include "link/NetSockets.h"

namespace corvane {

class QtSocketFactory final : public SocketFactory {
public:
    std::unique_ptr<StreamSocket> MakeStream(StreamSocket::Notify notify) override;
    std::unique_ptr<DatagramSocket> MakeDatagram(std::uint16_t localPort,
                                                 DatagramSocket::Readable readable) override;
    std::vector<NetInterface> Interfaces() override;
};

}  // namespace corvane
