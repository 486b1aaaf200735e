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

SwitcherSearch::SwitcherSearch(SocketFactory& sockets, Handlers handlers)
    : sockets_(sockets), handlers_(std::move(handlers)) {}

bool SwitcherSearch::Open(Role role, std::uint16_t port) {
    Close();
    const auto readable =
        role == Role::Search ? &SwitcherSearch::OnSearchReply : &SwitcherSearch::OnConfigReply;
    socket_ = sockets_.MakeDatagram(port, [this, readable] { (this->*readable)(); });
    role_ = role;
    return socket_ != nullptr;
}

bool SwitcherSearch::Search() {
    if (!Open(Role::Search, kSearchPort)) return false;
    const std::uint8_t request = kSearchRequest;
    return socket_->SendTo(&request, 1, kLimitedBroadcast, kSearchPort);
}

bool SwitcherSearch::SendConfig(const ConfigPacket& packet) {
    if (!Open(Role::Config, kConfigPort)) return false;
    return socket_->SendTo(packet.data(), packet.size(), kLimitedBroadcast, kConfigPort);
}

void SwitcherSearch::Close() {
    socket_.reset();
    role_ = Role::None;
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
    const long n = socket_->Receive(received.data(), received.size());
    if (n < 0) return;
    const std::size_t length = std::min(static_cast<std::size_t>(n), received.size());
    buffer.fill(0);
    std::copy_n(received.begin(), length, buffer.begin());
    // The handler may close the socket (a search started by an acknowledgement); it gets the
    // buffer, which outlives the socket.
    if (handler) handler(buffer.data(), length);
}

}  // namespace corvane
