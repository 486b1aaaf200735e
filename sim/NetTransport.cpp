#include "sim/NetTransport.h"

#include "sim/NetnsCheck.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <vector>

namespace corvane::sim {

namespace {

constexpr std::uint16_t kSearchPort = 30600;
constexpr std::uint16_t kConfigPort = 30601;

std::int64_t MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool SetError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

sockaddr_in Address(std::uint32_t hostOrder, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(hostOrder);
    a.sin_port = htons(port);
    return a;
}

// A UDP socket on 0.0.0.0:port that shares the port with the program's socket on the same
// host and may broadcast.
int OpenDatagram(std::uint16_t port, std::string* error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetError(error, "socket");
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const sockaddr_in any = Address(INADDR_ANY, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        SetError(error, "bind UDP port " + std::to_string(port));
        ::close(fd);
        return -1;
    }
    return fd;
}

std::uint32_t HostOrder(const std::array<std::uint8_t, 4>& ip) {
    return (std::uint32_t{ip[0]} << 24) | (std::uint32_t{ip[1]} << 16) |
           (std::uint32_t{ip[2]} << 8) | ip[3];
}

void Broadcast(int fd, const std::vector<std::uint8_t>& bytes, std::uint16_t port) {
    const sockaddr_in to = Address(INADDR_BROADCAST, port);
    [[maybe_unused]] const auto n = ::sendto(fd, bytes.data(), bytes.size(), 0,
                                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

}  // namespace

NetTransport::NetTransport(DeviceModel& model, NetOptions options)
    : model_(model), options_(std::move(options)), startNs_(MonotonicNs()) {}

NetTransport::~NetTransport() {
    Stop();
    CloseFd(listen_);
    CloseFd(search_);
    CloseFd(config_);
    CloseFd(wake_);
}

std::int64_t NetTransport::NowMs() const {
    return (MonotonicNs() - startNs_) / 1000000;
}

bool NetTransport::Open(std::string* error) {
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) return SetError(error, "eventfd");

    if (options_.tcp) {
        in_addr address{};
        if (::inet_pton(AF_INET, options_.tcpAddress.c_str(), &address) != 1) {
            if (error) *error = "not an IPv4 address: " + options_.tcpAddress;
            return false;
        }
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (listen_ < 0) return SetError(error, "socket");
        const int on = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in at = Address(ntohl(address.s_addr), options_.tcpPort);
        if (::bind(listen_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0)
            return SetError(error,
                            "bind " + options_.tcpAddress + ":" + std::to_string(options_.tcpPort));
        if (::listen(listen_, 4) != 0) return SetError(error, "listen");
        socklen_t length = sizeof at;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&at), &length);
        tcpPort_ = ntohs(at.sin_port);
    }

    if (options_.udp) {
        std::string why;
        if (!InPrivateNetworkNamespace(&why)) {
            if (error)
                *error =
                    "UDP answers are broadcasts and run only inside a private network "
                    "namespace (" +
                    why + ")";
            return false;
        }
        search_ = OpenDatagram(kSearchPort, error);
        config_ = search_ < 0 ? -1 : OpenDatagram(kConfigPort, error);
        if (config_ < 0) return false;
    }
    return true;
}

bool NetTransport::Start(std::string* error) {
    if (wake_ < 0) {
        if (error) *error = "not open";
        return false;
    }
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void NetTransport::Stop() {
    if (!thread_.joinable()) return;
    stopping_.store(true);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
    thread_.join();
}

void NetTransport::CloseClient() {
    closeRequested_.store(true);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
}

void NetTransport::AnswerSearch(std::int64_t now) {
    std::vector<std::uint8_t> datagram(65536);
    const ssize_t n = ::recv(search_, datagram.data(), datagram.size(), 0);
    if (n < 0) return;
    datagram.resize(static_cast<std::size_t>(n));
    if (trace_) trace_(Channel::Search, Direction::In, now, datagram.data(), datagram.size());
    if (now < quietUntil_) return;
    std::optional<std::vector<std::uint8_t>> answer;
    std::uint32_t ip = 0;
    {
        std::lock_guard lock(modelMutex_);
        answer = model_.AnswerSearch(datagram);
        ip = HostOrder(model_.State().ip);
    }
    if (!answer) return;
    // From the unit's own address where this host has it, so that the answer comes from the
    // address it reports; otherwise from whatever address the route gives.
    int from = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    const sockaddr_in own = Address(ip, 0);
    if (from >= 0 && (::setsockopt(from, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
                      ::bind(from, reinterpret_cast<const sockaddr*>(&own), sizeof own) != 0))
        CloseFd(from);
    Broadcast(from >= 0 ? from : search_, *answer, kSearchPort);
    CloseFd(from);
    searchesAnswered_.fetch_add(1);
    if (trace_) trace_(Channel::Search, Direction::Out, now, answer->data(), answer->size());
}

void NetTransport::AnswerConfig(std::int64_t now) {
    std::vector<std::uint8_t> datagram(65536);
    const ssize_t n = ::recv(config_, datagram.data(), datagram.size(), 0);
    if (n < 0) return;
    datagram.resize(static_cast<std::size_t>(n));
    if (trace_) trace_(Channel::Config, Direction::In, now, datagram.data(), datagram.size());
    std::optional<std::vector<std::uint8_t>> ack;
    {
        std::lock_guard lock(modelMutex_);
        ack = model_.AnswerConfig(datagram);
    }
    if (!ack) return;
    Broadcast(config_, *ack, kConfigPort);
    quietUntil_ = now + options_.addressChangeMs;
    configsAnswered_.fetch_add(1);
    if (trace_) trace_(Channel::Config, Direction::Out, now, ack->data(), ack->size());
}

void NetTransport::Loop() {
    struct Due {
        std::vector<std::uint8_t> bytes;
        bool close = false;
    };
    std::multimap<std::int64_t, Due> due;  // replies to the client, by due time
    std::vector<std::uint8_t> outgoing;    // what the client's socket would not take yet
    int client = -1;
    auto closeClient = [&] {
        CloseFd(client);
        due.clear();
        outgoing.clear();
        clientConnected_.store(false);
    };

    for (;;) {
        const std::int64_t now = NowMs();
        while (client >= 0 && !due.empty() && due.begin()->first <= now) {
            Due item = std::move(due.begin()->second);
            due.erase(due.begin());
            if (item.close) {
                closeClient();
                break;
            }
            if (trace_)
                trace_(Channel::Tcp, Direction::Out, now, item.bytes.data(), item.bytes.size());
            outgoing.insert(outgoing.end(), item.bytes.begin(), item.bytes.end());
            // Each reply goes out on its own, as the program expects a reply at the start of
            // what it receives.
            while (!outgoing.empty()) {
                const ssize_t n = ::send(client, outgoing.data(), outgoing.size(), MSG_NOSIGNAL);
                if (n <= 0) break;
                outgoing.erase(outgoing.begin(), outgoing.begin() + n);
            }
        }

        int timeout = -1;
        if (client >= 0 && !due.empty())
            timeout = static_cast<int>(std::max<std::int64_t>(0, due.begin()->first - now));
        std::vector<pollfd> fds = {{wake_, POLLIN, 0}};
        const std::size_t at = fds.size();
        fds.push_back({listen_, POLLIN, 0});
        fds.push_back({client, static_cast<short>(POLLIN | (outgoing.empty() ? 0 : POLLOUT)), 0});
        fds.push_back({search_, POLLIN, 0});
        fds.push_back({config_, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(wake_, &count, sizeof count);
            if (stopping_.load()) break;
            if (closeRequested_.exchange(false)) closeClient();
            continue;
        }

        const pollfd& clientFd = fds[at + 1];
        if (client >= 0 && (clientFd.revents & POLLOUT) && !outgoing.empty()) {
            const ssize_t n = ::send(client, outgoing.data(), outgoing.size(), MSG_NOSIGNAL);
            if (n > 0) outgoing.erase(outgoing.begin(), outgoing.begin() + n);
        }
        if (client >= 0 && (clientFd.revents & (POLLIN | POLLHUP | POLLERR))) {
            std::uint8_t buf[4096];
            const ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n <= 0) {
                closeClient();
            } else {
                const std::int64_t t = NowMs();
                if (trace_)
                    trace_(Channel::Tcp, Direction::In, t, buf, static_cast<std::size_t>(n));
                std::vector<Reply> replies;
                {
                    std::lock_guard lock(modelMutex_);
                    replies = model_.Receive(buf, static_cast<std::size_t>(n), t);
                }
                for (auto& r : replies)
                    due.emplace(t + r.delayMs, Due{std::move(r.bytes), r.closeLine});
            }
        }
        // A new connection takes the place of the old one: the program closes its socket
        // before it connects again, but the close may not have been seen yet.
        if (fds[at].revents & POLLIN) {
            const int accepted = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (accepted >= 0) {
                closeClient();
                client = accepted;
                const int on = 1;
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                {
                    std::lock_guard lock(modelMutex_);
                    model_.ReopenLine();
                }
                accepted_.fetch_add(1);
                clientConnected_.store(true);
            }
        }
        if (fds[at + 2].revents & POLLIN) AnswerSearch(NowMs());
        if (fds[at + 3].revents & POLLIN) AnswerConfig(NowMs());
    }
    closeClient();
}

}  // namespace corvane::sim
