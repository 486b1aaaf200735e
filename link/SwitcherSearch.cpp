#include "link/SwitcherSearch.h"

#include <algorithm>

namespace corvane {

std::optional<SearchReply> ParseSearchReply(const std::uint8_t* bytes, std::size_t length) {
    if (length < kSearchReplyMinimum) return std::nullopt;
    SearchReply reply;
    std::copy_n(bytes, reply.mac.size(), reply.mac.begin());
    std::copy_n(bytes + 6, reply.ip.size(), reply.ip.begin());
    reply.switcher = bytes[18] == 0x77 && bytes[19] == 0x88;
    return reply;
}

bool IsConfigAcknowledgement(const std::uint8_t* bytes, std::size_t length) {
    return length >= kConfigPacketSize && bytes[74] == 0x00;
}

std::vector<NetInterface> BroadcastInterfaces(const std::vector<NetInterface>& all) {
    std::vector<NetInterface> chosen;
    for (const NetInterface& i : all) {
        if (i.index > 0 && i.up && !i.loopback && i.canBroadcast && i.broadcast != 0)
            chosen.push_back(i);
    }
    return chosen;
}

SwitcherSearch::SwitcherSearch(SocketFactory& sockets, Handlers handlers)
    : sockets_(sockets), handlers_(std::move(handlers)) {}

bool SwitcherSearch::Open(Role role, std::uint16_t port) {
    Close();
    const auto readable =
        role == Role::Search ? &SwitcherSearch::OnSearchReply : &SwitcherSearch::OnConfigReply;
    socket_ = sockets_.MakeDatagram(port, [this, readable] { (this->*readable)(); });
    role_ = role;
    if (socket_) interfaces_ = sockets_.Interfaces();
    return socket_ != nullptr;
}

std::vector<Via> SwitcherSearch::Search() {
    if (!Open(Role::Search, kSearchPort)) return {};
    const std::uint8_t request = kSearchRequest;
    return Broadcast(&request, 1, kSearchPort, {});
}

std::vector<Via> SwitcherSearch::SendConfig(const ConfigPacket& packet,
                                            const std::vector<int>& interfaces) {
    if (!Open(Role::Config, kConfigPort)) return {};
    return Broadcast(packet.data(), packet.size(), kConfigPort, interfaces);
}

std::vector<Via> SwitcherSearch::Broadcast(const std::uint8_t* bytes, std::size_t length,
                                           std::uint16_t port, const std::vector<int>& only) {
    std::vector<NetInterface> chosen = BroadcastInterfaces(interfaces_);
    std::vector<NetInterface> named;
    for (const NetInterface& i : chosen) {
        if (std::find(only.begin(), only.end(), i.index) != only.end()) named.push_back(i);
    }
    // An interface that has gone since the switcher answered on it is as good as unknown.
    if (!named.empty()) chosen = std::move(named);

    std::vector<Via> sent;
    if (chosen.empty()) {
        // Nothing to choose from: no worse than a single broadcast along the routing table.
        if (socket_->SendTo(bytes, length, kLimitedBroadcast, port, 0)) sent.push_back({});
        return sent;
    }
    for (const NetInterface& i : chosen) {
        if (socket_->SendTo(bytes, length, kLimitedBroadcast, port, i.index))
            sent.push_back({i.index, i.name});
    }
    return sent;
}

void SwitcherSearch::Close() {
    socket_.reset();
    role_ = Role::None;
    interfaces_.clear();
}

void SwitcherSearch::OnSearchReply() {
    Read(searchReply_, handlers_.searchReply);
}
void SwitcherSearch::OnConfigReply() {
    Read(configReply_, handlers_.configReply);
}

void SwitcherSearch::Read(DatagramBuffer& buffer, const Datagram& handler) {
    if (!socket_) return;
    DatagramBuffer received;
    Via via;
    const long n = socket_->Receive(received.data(), received.size(), &via.index);
    if (n < 0) return;
    const std::size_t length = std::min(static_cast<std::size_t>(n), received.size());
    buffer.fill(0);
    std::copy_n(received.begin(), length, buffer.begin());
    const auto known = std::find_if(interfaces_.begin(), interfaces_.end(),
                                    [&](const NetInterface& i) { return i.index == via.index; });
    if (via.index > 0 && known != interfaces_.end()) via.name = known->name;
    // The handler may close the socket (a search started by an acknowledgement); it gets the
    // buffer and its own copy of the interface, which outlive the socket.
    if (handler) handler(buffer.data(), length, via);
}

}  // namespace corvane
