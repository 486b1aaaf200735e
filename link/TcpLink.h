#pragma once
// The TCP link to the switcher: one connection at a time to port 8000 of an address picked from
// the switcher list. Replies are expected at the start of a received chunk; the accumulation
// buffer rebuilds one frame from a chunk that brings fewer than 13 bytes.

#include "link/CommandFrame.h"
#include "link/Link.h"
#include "link/NetSockets.h"

#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace corvane {

constexpr std::uint16_t kSwitcherTcpPort = 8000;

// The dotted decimal address "a.b.c.d" with four parts of 0..255; nothing else is accepted, so
// that no text is ever handed to a name lookup.
std::optional<Ipv4> ParseIpv4(const QString& text);

// Bytes received on the TCP socket that have not yet formed a frame.
class TcpAccumulator {
public:
    static constexpr std::size_t kCapacity = 1024;

    // Appends one received chunk (what does not fit is dropped). Once 13 bytes or more are in,
    // the buffer is emptied, and its first 13 bytes come back if they start with the header.
    std::optional<Frame> Add(const std::uint8_t* bytes, std::size_t count);
    std::size_t Count() const { return count_; }

private:
    std::array<std::uint8_t, kCapacity> buffer_{};
    std::size_t count_ = 0;
};

class TcpLink final : public Link {
public:
    struct Handlers {
        std::function<void()> connected;          // a connect event without error
        std::function<void()> closed;             // the peer closed the connection
        std::function<void(const Frame&)> frame;  // for DispatchFrame
    };

    TcpLink(SocketFactory& sockets, Handlers handlers, std::uint16_t port = kSwitcherTcpPort);
    ~TcpLink() override;

    // ConnectTcp's connect branch: closes the previous socket, makes a new one and starts
    // connecting to address. A socket that cannot be made, or text that is no address, ends it
    // silently; so does a failed attempt, later.
    void Connect(const QString& address);
    void Close();
    // A socket exists (connecting or connected).
    bool HasSocket() const { return socket_ != nullptr; }

    // Link
    bool IsOpen() const override;
    void Write(const std::uint8_t* bytes, std::size_t length) override;

    // WM_TCP_EVENT.
    void OnTcpEvent(int event, int error);
    const TcpAccumulator& Accumulator() const { return accumulator_; }

private:
    SocketFactory& sockets_;
    Handlers handlers_;
    std::uint16_t port_;
    std::unique_ptr<StreamSocket> socket_;
    TcpAccumulator accumulator_;
};

}  // namespace corvane
