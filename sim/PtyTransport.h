#pragma once
// Puts a DeviceModel on a pseudo-terminal: the program opens the slave side like a serial port,
// this side reads the master, feeds the model and writes the replies when they fall due.

#include "sim/DeviceModel.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace corvane::sim {

class PtyTransport {
public:
    // Everything the transport puts on or takes off the line; blocks are 257 bytes.
    enum class Direction { In, Out };
    using Trace =
        std::function<void(Direction, std::int64_t atMs, const std::uint8_t*, std::size_t)>;

    explicit PtyTransport(DeviceModel& model);
    ~PtyTransport();
    PtyTransport(const PtyTransport&) = delete;
    PtyTransport& operator=(const PtyTransport&) = delete;

    // Creates the pseudo-terminal (raw, 115200 8N2 on the slave side). False with a reason.
    bool Open(std::string* error);
    const std::string& SlavePath() const { return slavePath_; }

    void SetTrace(Trace trace) { trace_ = std::move(trace); }
    // Starts serving on a thread of its own; Stop ends it and closes the line.
    bool Start(std::string* error);
    void Stop();
    // True once the line was closed by a fault (or Stop); the slave then reads as hung up.
    bool LineClosed() const { return closed_.load(); }

    // How often the last other user of the slave closed it (and its unread input was dropped).
    int Releases() const { return released_.load(); }

    // Runs f on the model under the transport's lock, so tests and the program's main thread
    // can look at or change the device while it serves.
    template <typename F>
    auto WithModel(F f) {
        std::lock_guard lock(modelMutex_);
        return f(model_);
    }

private:
    void Loop();
    void CloseLine();
    std::int64_t NowMs() const;

    DeviceModel& model_;
    std::mutex modelMutex_;
    Trace trace_;
    std::string slavePath_;
    int master_ = -1;
    int slave_ = -1;  // held open so that the program's close does not hang up the master
    int watch_ = -1;  // inotify on the slave device: who else has it open
    int wake_ = -1;   // eventfd that Stop signals
    std::thread thread_;
    std::atomic<bool> closed_{false};
    std::atomic<int> released_{0};
    std::int64_t startNs_ = 0;
};

}  // namespace corvane::sim
