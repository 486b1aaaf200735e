#pragma once
// The UDP side of the network: the switcher search (a one-byte broadcast on port 30600 that
// switchers answer with their MAC and IP address) and the network configuration broadcast on
// port 30601 with its acknowledgement. One UDP socket serves both roles in turn; each search or
// configuration makes it anew, and it stays open afterwards so that late replies are read.
//
// A PC often reaches the switcher through a second adapter while its default route leads
// elsewhere, so each broadcast goes out of every interface that can carry one, and each reply
// says which interface it came in on.

#include "link/NetSockets.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

constexpr std::uint16_t kSearchPort = 30600;
constexpr std::uint16_t kConfigPort = 30601;
constexpr std::uint8_t kSearchRequest = 0x61;  // 'a'
constexpr std::size_t kSearchReplyMinimum = 50;
constexpr std::size_t kConfigPacketSize = 76;
constexpr std::size_t kDatagramBufferSize = 1024;

using ConfigPacket = std::array<std::uint8_t, kConfigPacketSize>;
using DatagramBuffer = std::array<std::uint8_t, kDatagramBufferSize>;

struct SearchReply {
    std::array<std::uint8_t, 6> mac{};
    std::array<std::uint8_t, 4> ip{};
    bool switcher = false;  // bytes 18 and 19 carry the switcher marker 0x77 0x88
};

// What a search reply says; nothing for a datagram shorter than 50 bytes.
std::optional<SearchReply> ParseSearchReply(const std::uint8_t* bytes, std::size_t length);
// 76 bytes or more with byte 74 = 0. Our own packet, should it come back, carries 0xFF there.
bool IsConfigAcknowledgement(const std::uint8_t* bytes, std::size_t length);

// The interfaces a broadcast goes out of: up, not loopback, with an IPv4 broadcast address.
std::vector<NetInterface> BroadcastInterfaces(const std::vector<NetInterface>& all);

// The interface a datagram went out of or came in on. Index 0 and no name when the routing
// table chose it or the platform did not say.
struct Via {
    int index = 0;
    std::string name;
};

class SwitcherSearch {
public:
    enum class Role { None, Search, Config };
    using Datagram =
        std::function<void(const std::uint8_t* bytes, std::size_t length, const Via& via)>;
    struct Handlers {
        Datagram searchReply;  // each datagram on the search socket
        Datagram configReply;  // each datagram on the configuration socket
    };

    SwitcherSearch(SocketFactory& sockets, Handlers handlers);

    // Makes the socket anew on port 30600 and broadcasts the search request out of every
    // broadcast interface; where there is none, one broadcast goes where the routing table
    // says. Returns the interfaces it went out of: none when the socket cannot be made or no
    // send succeeded.
    std::vector<Via> Search();
    // Makes the socket anew on port 30601 and broadcasts the packet, out of those of the given
    // interfaces that can still carry it, or out of all as a search does when none can (or
    // none is given). Returns as Search.
    std::vector<Via> SendConfig(const ConfigPacket& packet, const std::vector<int>& interfaces);
    void Close();
    Role CurrentRole() const { return socket_ ? role_ : Role::None; }

    // WM_SEARCH_REPLY and WM_CONFIG_REPLY: one datagram, at most 1024 bytes of it, into its
    // buffer and on to the handler.
    void OnSearchReply();
    void OnConfigReply();

    const DatagramBuffer& SearchReplyBuffer() const { return searchReply_; }
    const DatagramBuffer& ConfigReplyBuffer() const { return configReply_; }

private:
    bool Open(Role role, std::uint16_t port);
    std::vector<Via> Broadcast(const std::uint8_t* bytes, std::size_t length, std::uint16_t port,
                               const std::vector<int>& only);
    void Read(DatagramBuffer& buffer, const Datagram& handler);

    SocketFactory& sockets_;
    Handlers handlers_;
    std::unique_ptr<DatagramSocket> socket_;
    Role role_ = Role::None;
    // The interfaces as they were when the socket was made, to name those replies come in on.
    std::vector<NetInterface> interfaces_;
    DatagramBuffer searchReply_{};
    DatagramBuffer configReply_{};
};

}  // namespace corvane
