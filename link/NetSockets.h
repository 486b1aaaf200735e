#pragma once
// What the TCP link and the switcher search need of the platform's sockets: a non-blocking TCP
// client that reports connected (with an error code), readable and closed, a UDP socket bound
// to a local port on all interfaces with broadcast enabled that reports readable and can send
// out of a chosen interface, and the list of network interfaces. The program uses Qt's sockets
// (QtSockets.h); tests put fakes in their place.
//
// Closing a socket is destroying its object. Notifications arrive on the user-interface thread
// from the event loop, never from inside a call on the socket, and none arrives after the
// object is gone.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

// IPv4 addresses in host byte order: 0xC0A80132 is 192.168.1.50.
using Ipv4 = std::uint32_t;
constexpr Ipv4 kLimitedBroadcast = 0xFFFFFFFFu;

// One network interface as the platform lists it.
struct NetInterface {
    int index = 0;  // the platform's interface index, never 0
    std::string name;
    bool up = false;
    bool loopback = false;
    bool canBroadcast = false;
    Ipv4 address = 0;    // its first IPv4 address that has a broadcast address, or 0
    Ipv4 broadcast = 0;  // that broadcast address, or 0
};

class StreamSocket {
public:
    // WM_TCP_EVENT's event codes.
    static constexpr int kRead = 1;
    static constexpr int kConnect = 16;
    static constexpr int kClose = 32;
    // event is one of the codes above; error is 0 or the platform's error for a failed connect.
    using Notify = std::function<void(int event, int error)>;

    virtual ~StreamSocket() = default;
    // Starts connecting; the outcome arrives as a connect notification.
    virtual void Connect(Ipv4 address, std::uint16_t port) = 0;
    // Takes up to max received bytes; 0 when none are waiting.
    virtual std::size_t Receive(std::uint8_t* buffer, std::size_t max) = 0;
    virtual void Send(const std::uint8_t* bytes, std::size_t length) = 0;
    virtual bool IsConnected() const = 0;
};

class DatagramSocket {
public:
    using Readable = std::function<void()>;

    virtual ~DatagramSocket() = default;
    // Sends one datagram out of the interface with that index, or where the routing table says
    // when the index is 0; false when the platform refused it.
    virtual bool SendTo(const std::uint8_t* bytes, std::size_t length, Ipv4 address,
                        std::uint16_t port, int interfaceIndex) = 0;
    // Takes the next waiting datagram, at most max bytes of it (the rest of a longer one is
    // lost), and the index of the interface it came in on (0 when the platform does not say).
    // Returns its length as taken, or -1 when no datagram is waiting.
    virtual long Receive(std::uint8_t* buffer, std::size_t max, int* interfaceIndex) = 0;
};

class SocketFactory {
public:
    virtual ~SocketFactory() = default;
    // A TCP socket that reports to notify; null when it cannot be made.
    virtual std::unique_ptr<StreamSocket> MakeStream(StreamSocket::Notify notify) = 0;
    // A UDP socket bound to 0.0.0.0:localPort, shared with other sockets on that port, with
    // broadcast enabled, reporting each waiting datagram to readable; null when it cannot be made.
    virtual std::unique_ptr<DatagramSocket> MakeDatagram(std::uint16_t localPort,
                                                         DatagramSocket::Readable readable) = 0;
    // The machine's network interfaces as they are now.
    virtual std::vector<NetInterface> Interfaces() = 0;
};

// A factory that makes no sockets: every network operation then ends silently, as a failed
// socket set-up does. Windows get it until the application hands them the platform's sockets,
// so a window built on its own (tests, screenshots) never reaches the network.
SocketFactory& NoSockets();

}  // namespace corvane
