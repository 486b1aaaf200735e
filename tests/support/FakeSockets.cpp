#include "tests/support/FakeSockets.h"

#include <QString>
#include <QStringList>

#include <algorithm>

namespace corvane::test {

FakeStreamSocket::~FakeStreamSocket() {
    *alive_ = false;
    if (owner_.stream == this) owner_.stream = nullptr;
}

void FakeStreamSocket::Connect(Ipv4 a, std::uint16_t p) {
    connectStarted = true;
    address = a;
    port = p;
}

std::size_t FakeStreamSocket::Receive(std::uint8_t* buffer, std::size_t max) {
    const std::size_t n = std::min(max, waiting_.size());
    std::copy_n(waiting_.begin(), n, buffer);
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

void FakeStreamSocket::Send(const std::uint8_t* bytes, std::size_t length) {
    sent.emplace_back(bytes, bytes + length);
}

void FakeStreamSocket::FinishConnect(int error) {
    connected = error == 0;
    notify_(kConnect, error);
}

void FakeStreamSocket::Arrive(const std::vector<std::uint8_t>& chunk) {
    waiting_.insert(waiting_.end(), chunk.begin(), chunk.end());
    // The handler may close this socket.
    const std::shared_ptr<bool> alive = alive_;
    while (!waiting_.empty()) {
        const std::size_t before = waiting_.size();
        notify_(kRead, 0);
        if (!*alive || waiting_.size() >= before) return;
    }
}

void FakeStreamSocket::PeerClose() {
    connected = false;
    notify_(kClose, 0);
}

FakeDatagramSocket::~FakeDatagramSocket() {
    *alive_ = false;
    if (owner_.datagram == this) owner_.datagram = nullptr;
}

bool FakeDatagramSocket::SendTo(const std::uint8_t* bytes, std::size_t length, Ipv4 address,
                                std::uint16_t toPort, int interfaceIndex) {
    owner_.sentDatagrams.push_back(
        {port, address, toPort, {bytes, bytes + length}, interfaceIndex});
    return true;
}

long FakeDatagramSocket::Receive(std::uint8_t* buffer, std::size_t max, int* interfaceIndex) {
    if (waiting_.empty()) return -1;
    const auto [datagram, index] = std::move(waiting_.front());
    waiting_.pop_front();
    const std::size_t n = std::min(max, datagram.size());
    std::copy_n(datagram.begin(), n, buffer);
    if (interfaceIndex) *interfaceIndex = index;
    return static_cast<long>(n);
}

void FakeDatagramSocket::Arrive(const std::vector<std::uint8_t>& datagram, int interfaceIndex) {
    waiting_.emplace_back(datagram, interfaceIndex);
    const std::shared_ptr<bool> alive = alive_;
    while (!waiting_.empty()) {
        const std::size_t before = waiting_.size();
        readable_();
        if (!*alive || waiting_.size() >= before) return;
    }
}

std::unique_ptr<StreamSocket> FakeSockets::MakeStream(StreamSocket::Notify notify) {
    if (refuseStreams) return nullptr;
    auto socket = std::make_unique<FakeStreamSocket>(*this, std::move(notify));
    stream = socket.get();
    ++streamsMade;
    return socket;
}

std::unique_ptr<DatagramSocket> FakeSockets::MakeDatagram(std::uint16_t localPort,
                                                          DatagramSocket::Readable readable) {
    if (refuseDatagrams) return nullptr;
    auto socket = std::make_unique<FakeDatagramSocket>(*this, localPort, std::move(readable));
    datagram = socket.get();
    ++datagramsMade;
    return socket;
}

NetInterface BroadcastInterface(int index, const std::string& name, Ipv4 address) {
    NetInterface i;
    i.index = index;
    i.name = name;
    i.up = true;
    i.canBroadcast = true;
    i.address = address;
    i.broadcast = address | 0xFFu;
    return i;
}

std::vector<std::uint8_t> SearchReplyBytes(const std::string& mac, const std::string& ip,
                                           bool switcher, std::size_t length) {
    std::vector<std::uint8_t> d(std::max<std::size_t>(length, 20), 0);
    const QStringList macParts = QString::fromStdString(mac).split(QLatin1Char(':'));
    for (int i = 0; i < 6 && i < macParts.size(); ++i) {
        d[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(macParts[i].toUInt(nullptr, 16));
    }
    const QStringList ipParts = QString::fromStdString(ip).split(QLatin1Char('.'));
    for (int i = 0; i < 4 && i < ipParts.size(); ++i) {
        d[6 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(ipParts[i].toUInt());
    }
    if (switcher) {
        d[18] = 0x77;
        d[19] = 0x88;
    }
    d.resize(length);
    return d;
}

}  // namespace corvane::test
