#pragma once
// Puts a DeviceModel on the network: a TCP listener (port 8000 for the program) that serves
// one client at a time, and the UDP search responder and configuration receiver on ports 30600
// and 30601. One poll loop on a thread of its own serves them all.
//
// The UDP side answers by broadcast, so it opens only inside a private network namespace
// (NetnsCheck.h). The TCP side may run anywhere; tests listen on 127.0.0.1.

#include "sim/DeviceModel.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace corvane::sim {

struct NetOptions {
    bool tcp = false;
    std::string tcpAddress = "127.0.0.1";
    std::uint16_t tcpPort = 8000;  // 0 picks a free port
    bool udp = false;
    // After acknowledging a configuration the unit takes its new address; searches that come
    // meanwhile go unanswered.
    int addressChangeMs = 1000;
};

class NetTransport {
public:
    enum class Direction { In, Out };
    enum class Channel { Tcp, Search, Config };
    using Trace = std::function<void(Channel, Direction, std::int64_t atMs, const std::uint8_t*,
                                     std::size_t)>;

    NetTransport(DeviceModel& model, NetOptions options);
    ~NetTransport();
    NetTransport(const NetTransport&) = delete;
    NetTransport& operator=(const NetTransport&) = delete;

    // Binds and listens. False with a reason, also when UDP is asked for outside a private
    // network namespace.
    bool Open(std::string* error);
    // The TCP port listened on (the one picked when 0 was asked for).
    std::uint16_t TcpPort() const { return tcpPort_; }

    void SetTrace(Trace trace) { trace_ = std::move(trace); }
    bool Start(std::string* error);
    void Stop();

    // Closes the connection of the current client, as a unit that drops it; the listener
    // stays open. Safe from any thread.
    void CloseClient();
    // Connections accepted so far, and whether a client is connected now.
    int Accepted() const { return accepted_.load(); }
    bool ClientConnected() const { return clientConnected_.load(); }
    // Datagrams answered so far (search replies and acknowledgements).
    int SearchesAnswered() const { return searchesAnswered_.load(); }
    int ConfigsAnswered() const { return configsAnswered_.load(); }

    template <typename F>
    auto WithModel(F f) {
        std::lock_guard lock(modelMutex_);
        return f(model_);
    }

private:
    void Loop();
    std::int64_t NowMs() const;
    void AnswerSearch(std::int64_t now);
    void AnswerConfig(std::int64_t now);

    DeviceModel& model_;
    NetOptions options_;
    std::mutex modelMutex_;
    Trace trace_;
    int listen_ = -1;
    int search_ = -1;
    int config_ = -1;
    int wake_ = -1;
    std::uint16_t tcpPort_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> closeRequested_{false};
    std::atomic<int> accepted_{0};
    std::atomic<bool> clientConnected_{false};
    std::atomic<int> searchesAnswered_{0};
    std::atomic<int> configsAnswered_{0};
    std::int64_t quietUntil_ = 0;
    std::int64_t startNs_ = 0;
};

}  // namespace corvane::sim
