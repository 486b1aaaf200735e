#pragma once
// Sockets that go nowhere, for component tests: the test sees what the program sends and plays
// the network's part (connect outcomes, received chunks and datagrams, a peer that hangs up).

#include "link/NetSockets.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace corvane::test {

class FakeSockets;

class FakeStreamSocket final : public StreamSocket {
public:
    FakeStreamSocket(FakeSockets& owner, Notify notify)
        : owner_(owner), notify_(std::move(notify)) {}
    ~FakeStreamSocket() override;

    void Connect(Ipv4 address, std::uint16_t port) override;
    std::size_t Receive(std::uint8_t* buffer, std::size_t max) override;
    void Send(const std::uint8_t* bytes, std::size_t length) override;
    bool IsConnected() const override { return connected; }

    // The outcome of the connect: 0 connects.
    void FinishConnect(int error = 0);
    // One chunk as it arrives; read notifications follow while bytes wait, as with Qt's socket.
    void Arrive(const std::vector<std::uint8_t>& chunk);
    void PeerClose();

    bool connectStarted = false;
    Ipv4 address = 0;
    std::uint16_t port = 0;
    bool connected = false;
    std::vector<std::vector<std::uint8_t>> sent;

private:
    FakeSockets& owner_;
    Notify notify_;
    std::deque<std::uint8_t> waiting_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class FakeDatagramSocket final : public DatagramSocket {
public:
    FakeDatagramSocket(FakeSockets& owner, std::uint16_t port, Readable readable)
        : port(port), owner_(owner), readable_(std::move(readable)) {}
    ~FakeDatagramSocket() override;

    bool SendTo(const std::uint8_t* bytes, std::size_t length, Ipv4 address, std::uint16_t port,
                int interfaceIndex) override;
    long Receive(std::uint8_t* buffer, std::size_t max, int* interfaceIndex) override;

    // A datagram arrives, on the interface with that index (0: the platform does not say);
    // read notifications follow while datagrams wait.
    void Arrive(const std::vector<std::uint8_t>& datagram, int interfaceIndex = 0);

    const std::uint16_t port;

private:
    FakeSockets& owner_;
    Readable readable_;
    std::deque<std::pair<std::vector<std::uint8_t>, int>> waiting_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

struct SentDatagram {
    std::uint16_t fromPort;
    Ipv4 address;
    std::uint16_t port;
    std::vector<std::uint8_t> bytes;
    int interfaceIndex = 0;
};

class FakeSockets final : public SocketFactory {
public:
    std::unique_ptr<StreamSocket> MakeStream(StreamSocket::Notify notify) override;
    std::unique_ptr<DatagramSocket> MakeDatagram(std::uint16_t localPort,
                                                 DatagramSocket::Readable readable) override;
    std::vector<NetInterface> Interfaces() override { return interfaces; }

    // The sockets that exist now (the last made), or null once closed.
    FakeStreamSocket* stream = nullptr;
    FakeDatagramSocket* datagram = nullptr;
    int streamsMade = 0;
    int datagramsMade = 0;
    std::vector<SentDatagram> sentDatagrams;
    // What the machine's interface list says; none unless a test adds some.
    std::vector<NetInterface> interfaces;
    // Set to make the next sockets fail.
    bool refuseStreams = false;
    bool refuseDatagrams = false;
};

// A search reply: MAC, IP address, the marker when switcher is set, zeros up to length.
// An interface that can broadcast, as a PC's Ethernet adapter is listed.
NetInterface BroadcastInterface(int index, const std::string& name, Ipv4 address);

std::vector<std::uint8_t> SearchReplyBytes(const std::string& mac, const std::string& ip,
                                           bool switcher = true, std::size_t length = 50);

}  // namespace corvane::test
