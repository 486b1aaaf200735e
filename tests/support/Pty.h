#pragma once
// Pseudo-terminals for tests of the serial link, without Qt: the test keeps the master side
// (the switcher's end) and the program opens the slave by its path. PtyPeer plays the switcher:
// it records what arrives, answers frames, or streams bytes without pause.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace corvane::test {

using Bytes = std::vector<std::uint8_t>;

// Polls pred until it holds or timeoutMs has passed; returns whether it held.
inline bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class PtyPair {
public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        char name[128] = {};
        if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname");
        slavePath_ = name;
        // Raw from the start, so that nothing written before the program configures the line
        // is echoed back (terminal settings asked of the master apply to the slave).
        termios t{};
        ::tcgetattr(master_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
        // Our own descriptor of the slave keeps the master from seeing a hang-up whenever the
        // program closes the port between connections.
        heldSlave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    ~PtyPair() {
        CloseMaster();
        if (heldSlave_ >= 0) ::close(heldSlave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // The name the port list shows: the path below /dev.
    std::string SlaveName() const { return slavePath_.substr(5); }
    int Master() const { return master_; }

    // The switcher goes away: the program's side sees a hang-up.
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // Writes all bytes to the master, waiting while the line is full.
    bool Send(const Bytes& bytes, int timeoutMs = 10000) {
        std::size_t done = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (std::chrono::steady_clock::now() > end) return false;
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
        return true;
    }

    // Reads from the master until count bytes have come or the time is up.
    Bytes Receive(std::size_t count, int timeoutMs = 10000) {
        Bytes got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            std::uint8_t buffer[4096];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

private:
    int master_ = -1;
    int heldSlave_ = -1;
    std::string slavePath_;
};

// The switcher's end on its own thread.
class PtyPeer {
public:
    using Responder = std::function<Bytes(const Bytes& frame)>;

    explicit PtyPeer(PtyPair& pty) : pty_(pty) {
        if (::pipe2(stop_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe");
    }
    ~PtyPeer() {
        Stop();
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // Each 13-byte frame that arrives (found by its A5 5B header) is answered with what the
    // responder returns.
    void SetResponder(Responder responder) {
        std::lock_guard lock(mutex_);
        responder_ = std::move(responder);
    }
    // Sends bytes without pause from now on: the pattern over and over, or, without one, bytes
    // that never contain A5, so that no frame starts.
    void Stream(bool on, Bytes pattern = {}) {
        std::lock_guard lock(mutex_);
        streaming_ = on;
        pattern_ = std::move(pattern);
    }

    void Start() {
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    void Stop() {
        if (!thread_.joinable()) return;
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(stop_[1], &c, 1);
        thread_.join();
    }

    Bytes Received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    void ClearReceived() {
        std::lock_guard lock(mutex_);
        received_.clear();
        scan_.clear();
    }
    bool WaitForReceived(std::size_t count, int timeoutMs = 10000) const {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return received_.size() >= count; });
    }
    std::size_t Streamed() const {
        std::lock_guard lock(mutex_);
        return streamed_;
    }

private:
    void Run() {
        std::uint8_t buffer[4096];
        for (;;) {
            bool wantWrite;
            {
                std::lock_guard lock(mutex_);
                wantWrite = streaming_ || !outbox_.empty();
            }
            pollfd fds[2] = {
                {stop_[0], POLLIN, 0},
                {pty_.Master(), static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
            // A bounded wait, so that a change of the streaming mode is picked up.
            if (::poll(fds, 2, 20) < 0) continue;
            if (fds[0].revents) return;
            if (fds[1].revents & POLLIN) {
                const ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
                if (n > 0) Take(buffer, static_cast<std::size_t>(n));
            }
            if (fds[1].revents & POLLOUT) Give();
        }
    }

    void Take(const std::uint8_t* bytes, std::size_t count) {
        std::lock_guard lock(mutex_);
        received_.insert(received_.end(), bytes, bytes + count);
        scan_.insert(scan_.end(), bytes, bytes + count);
        // Frames for the responder.
        for (;;) {
            std::size_t start = 0;
            while (start + 1 < scan_.size() && !(scan_[start] == 0xA5 && scan_[start + 1] == 0x5B))
                ++start;
            scan_.erase(scan_.begin(), scan_.begin() + static_cast<std::ptrdiff_t>(start));
            if (scan_.size() < 13) break;
            const Bytes frame(scan_.begin(), scan_.begin() + 13);
            scan_.erase(scan_.begin(), scan_.begin() + 13);
            if (responder_) {
                const Bytes answer = responder_(frame);
                outbox_.insert(outbox_.end(), answer.begin(), answer.end());
            }
        }
        arrived_.notify_all();
    }

    void Give() {
        std::lock_guard lock(mutex_);
        if (!outbox_.empty()) {
            const ssize_t n = ::write(pty_.Master(), outbox_.data(), outbox_.size());
            if (n > 0) outbox_.erase(outbox_.begin(), outbox_.begin() + n);
            return;
        }
        if (!streaming_) return;
        std::uint8_t chunk[256];
        for (std::size_t i = 0; i < sizeof chunk; ++i) {
            chunk[i] = pattern_.empty() ? static_cast<std::uint8_t>((streamed_ + i) % 0x80)
                                        : pattern_[(streamed_ + i) % pattern_.size()];
        }
        const ssize_t n = ::write(pty_.Master(), chunk, sizeof chunk);
        if (n > 0) streamed_ += static_cast<std::size_t>(n);
    }

    PtyPair& pty_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    Responder responder_;
    bool streaming_ = false;
    Bytes pattern_;
    std::size_t streamed_ = 0;
    Bytes received_;
    Bytes scan_;
    Bytes outbox_;
};

// Another program holding a device: a child process that opens it (and locks it with flock
// when asked) and keeps it until the object goes.
class ChildHolder {
public:
    ChildHolder(const std::string& path, bool lock) {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release_, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls in the child of a threaded process. The child must
            // not keep the release pipe's write end, or it would never see the release.
            ::close(ready[0]);
            ::close(release_[1]);
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            char ok = fd >= 0 && (!lock || ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? 1 : 0;
            [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
            char c;
            n = ::read(release_[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release_[0]);
        char ok = 0;
        held_ = ::read(ready[0], &ok, 1) == 1 && ok == 1;
        ::close(ready[0]);
    }
    ~ChildHolder() { Release(); }
    ChildHolder(const ChildHolder&) = delete;
    ChildHolder& operator=(const ChildHolder&) = delete;

    bool Held() const { return held_; }
    pid_t Pid() const { return pid_; }
    void Release() {
        if (pid_ <= 0) return;
        ::close(release_[1]);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int release_[2] = {-1, -1};
    bool held_ = false;
};

}  // namespace corvane::test
