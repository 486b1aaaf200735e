#include "link/TcpLink.h"

#include <QStringList>

#include <algorithm>

namespace corvane {

std::optional<Ipv4> ParseIpv4(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) return std::nullopt;
    Ipv4 address = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3) return std::nullopt;
        unsigned value = 0;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c.unicode() - '0');
        }
        if (value > 255) return std::nullopt;
        address = (address << 8) | value;
    }
    return address;
}

std::optional<Frame> TcpAccumulator::Add(const std::uint8_t* bytes, std::size_t count) {
    const std::size_t room = kCapacity - count_;
    const std::size_t taken = std::min(count, room);
    std::copy_n(bytes, taken, buffer_.begin() + static_cast<std::ptrdiff_t>(count_));
    count_ += taken;
    if (count_ < kFrameSize) return std::nullopt;

    std::optional<Frame> frame;
    if (buffer_[0] == kHeader0 && buffer_[1] == kHeader1) {
        frame.emplace();
        std::copy_n(buffer_.begin(), kFrameSize, frame->begin());
    }
    buffer_.fill(0);
    count_ = 0;
    return frame;
}

TcpLink::TcpLink(SocketFactory& sockets, Handlers handlers, std::uint16_t port)
    : sockets_(sockets), handlers_(std::move(handlers)), port_(port) {}

TcpLink::~TcpLink() = default;

void TcpLink::Connect(const QString& address) {
    Close();
    // Bytes left over from the last connection would spoil the first reply on this one.
    accumulator_ = TcpAccumulator();
    socket_ = sockets_.MakeStream([this](int event, int error) { OnTcpEvent(event, error); });
    if (!socket_) return;
    if (const std::optional<Ipv4> ip = ParseIpv4(address)) socket_->Connect(*ip, port_);
}

void TcpLink::Close() {
    socket_.reset();
}

bool TcpLink::IsOpen() const {
    return socket_ && socket_->IsConnected();
}

void TcpLink::Write(const std::uint8_t* bytes, std::size_t length) {
    if (IsOpen()) socket_->Send(bytes, length);
}

void TcpLink::OnTcpEvent(int event, int error) {
    switch (event) {
        case StreamSocket::kRead: {
            if (!socket_) return;
            std::array<std::uint8_t, TcpAccumulator::kCapacity> chunk;
            const std::size_t n = socket_->Receive(chunk.data(), chunk.size());
            if (n == 0) return;
            if (const std::optional<Frame> frame = accumulator_.Add(chunk.data(), n)) {
                if (handlers_.frame) handlers_.frame(*frame);
            }
            break;
        }
        case StreamSocket::kConnect:
            if (error == 0 && handlers_.connected) handlers_.connected();
            break;
        case StreamSocket::kClose:
            if (handlers_.closed) handlers_.closed();
            break;
        default:
            break;
    }
}

}  // namespace corvane
