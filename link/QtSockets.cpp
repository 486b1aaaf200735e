#include "link/QtSockets.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <algorithm>

namespace corvane {
namespace {

// A socket may be closed from one of its own notifications, so the Qt object is deleted later
// and every loop over notifications checks that the wrapper still exists.
template <class QtSocket>
void Retire(QPointer<QtSocket>& socket) {
    if (!socket) return;
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}

class QtStreamSocket final : public StreamSocket {
public:
    explicit QtStreamSocket(Notify notify) : socket_(new QTcpSocket), notify_(std::move(notify)) {
        // The switcher is on the local network: never through a proxy the environment names.
        socket_->setProxy(QNetworkProxy::NoProxy);
        QObject::connect(socket_, &QTcpSocket::connected, [this] {
            connecting_ = false;
            notify_(kConnect, 0);
        });
        QObject::connect(socket_, &QTcpSocket::errorOccurred,
                         [this](QAbstractSocket::SocketError e) {
                             // Errors of a standing connection end in disconnected(); only a failed
                             // attempt is reported here. Qt numbers its errors from 0, so 1 is
                             // added to keep 0 for success.
                             if (!connecting_) return;
                             connecting_ = false;
                             notify_(kConnect, static_cast<int>(e) + 1);
                         });
        QObject::connect(socket_, &QTcpSocket::readyRead, [this] { OnReadyRead(); });
        QObject::connect(socket_, &QTcpSocket::disconnected, [this] { notify_(kClose, 0); });
    }
    ~QtStreamSocket() override {
        *alive_ = false;
        Retire(socket_);
    }

    void Connect(Ipv4 address, std::uint16_t port) override {
        connecting_ = true;
        socket_->connectToHost(QHostAddress(address), port);
    }
    std::size_t Receive(std::uint8_t* buffer, std::size_t max) override {
        const qint64 n = socket_->read(reinterpret_cast<char*>(buffer), static_cast<qint64>(max));
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    void Send(const std::uint8_t* bytes, std::size_t length) override {
        socket_->write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(length));
    }
    bool IsConnected() const override {
        return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
    }

private:
    // One read notification per receive, as long as bytes are waiting and get taken.
    void OnReadyRead() {
        const std::shared_ptr<bool> alive = alive_;
        while (*alive && socket_->bytesAvailable() > 0) {
            const qint64 before = socket_->bytesAvailable();
            notify_(kRead, 0);
            if (!*alive || socket_->bytesAvailable() >= before) return;
        }
    }

    QPointer<QTcpSocket> socket_;
    Notify notify_;
    bool connecting_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class QtDatagramSocket final : public DatagramSocket {
public:
    explicit QtDatagramSocket(Readable readable)
        : socket_(new QUdpSocket), readable_(std::move(readable)) {
        socket_->setProxy(QNetworkProxy::NoProxy);
        QObject::connect(socket_, &QUdpSocket::readyRead, [this] { OnReadyRead(); });
    }
    ~QtDatagramSocket() override {
        *alive_ = false;
        Retire(socket_);
    }

    // Qt enables broadcasting on every UDP socket it opens.
    bool Bind(std::uint16_t port) {
        return socket_->bind(QHostAddress(QHostAddress::AnyIPv4), port,
                             QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    }
    // An interface index goes to the kernel as IP_PKTINFO, which sends even the limited
    // broadcast out of that interface rather than where the default route points.
    bool SendTo(const std::uint8_t* bytes, std::size_t length, Ipv4 address, std::uint16_t port,
                int interfaceIndex) override {
        QNetworkDatagram datagram(
            QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length)),
            QHostAddress(address), port);
        if (interfaceIndex > 0) datagram.setInterfaceIndex(static_cast<uint>(interfaceIndex));
        return socket_->writeDatagram(datagram) == static_cast<qint64>(length);
    }
    // Qt asks for IP_PKTINFO on its UDP sockets, so a datagram knows its interface.
    long Receive(std::uint8_t* buffer, std::size_t max, int* interfaceIndex) override {
        ++receives_;
        if (!socket_->hasPendingDatagrams()) return -1;
        const QNetworkDatagram datagram = socket_->receiveDatagram(static_cast<qint64>(max));
        if (!datagram.isValid()) return -1;
        const QByteArray data = datagram.data();
        const std::size_t n = std::min(max, static_cast<std::size_t>(data.size()));
        std::copy_n(data.constData(), n, reinterpret_cast<char*>(buffer));
        if (interfaceIndex) *interfaceIndex = static_cast<int>(datagram.interfaceIndex());
        return static_cast<long>(n);
    }

private:
    void OnReadyRead() {
        const std::shared_ptr<bool> alive = alive_;
        while (*alive && socket_->hasPendingDatagrams()) {
            const unsigned long before = receives_;
            readable_();
            if (!*alive || receives_ == before) return;
        }
    }

    QPointer<QUdpSocket> socket_;
    Readable readable_;
    unsigned long receives_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class NoSocketFactory final : public SocketFactory {
public:
    std::unique_ptr<StreamSocket> MakeStream(StreamSocket::Notify) override { return nullptr; }
    std::unique_ptr<DatagramSocket> MakeDatagram(std::uint16_t, DatagramSocket::Readable) override {
        return nullptr;
    }
    std::vector<NetInterface> Interfaces() override { return {}; }
};

}  // namespace

std::unique_ptr<StreamSocket> QtSocketFactory::MakeStream(StreamSocket::Notify notify) {
    return std::make_unique<QtStreamSocket>(std::move(notify));
}

std::unique_ptr<DatagramSocket> QtSocketFactory::MakeDatagram(std::uint16_t localPort,
                                                              DatagramSocket::Readable readable) {
    auto socket = std::make_unique<QtDatagramSocket>(std::move(readable));
    if (!socket->Bind(localPort)) return nullptr;
    return socket;
}

std::vector<NetInterface> QtSocketFactory::Interfaces() {
    std::vector<NetInterface> list;
    for (const QNetworkInterface& qt : QNetworkInterface::allInterfaces()) {
        NetInterface i;
        i.index = qt.index();
        i.name = qt.name().toStdString();
        i.up = qt.flags().testFlag(QNetworkInterface::IsUp);
        i.loopback = qt.flags().testFlag(QNetworkInterface::IsLoopBack);
        i.canBroadcast = qt.flags().testFlag(QNetworkInterface::CanBroadcast);
        for (const QNetworkAddressEntry& entry : qt.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
            if (entry.broadcast().isNull()) continue;
            i.address = entry.ip().toIPv4Address();
            i.broadcast = entry.broadcast().toIPv4Address();
            break;
        }
        list.push_back(std::move(i));
    }
    return list;
}

SocketFactory& NoSockets() {
    static NoSocketFactory none;
    return none;
}

}  // namespace corvane
