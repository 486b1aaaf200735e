#include "sim/PtyTransport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace corvane::sim {

namespace {

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

}  // namespace

PtyTransport::PtyTransport(DeviceModel& model) : model_(model), startNs_(MonotonicNs()) {}

PtyTransport::~PtyTransport() {
    Stop();
    CloseLine();
    CloseFd(watch_);
    CloseFd(wake_);
}

std::int64_t PtyTransport::NowMs() const {
    return (MonotonicNs() - startNs_) / 1000000;
}

bool PtyTransport::Open(std::string* error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) return SetError(error, "posix_openpt");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return SetError(error, "grantpt");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) return SetError(error, "ptsname");
    slavePath_ = name;

    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) return SetError(error, "open " + slavePath_);
    termios t{};
    if (::tcgetattr(slave_, &t) != 0) return SetError(error, "tcgetattr");
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    ::cfsetispeed(&t, B115200);
    ::cfsetospeed(&t, B115200);
    if (::tcsetattr(slave_, TCSANOW, &t) != 0) return SetError(error, "tcsetattr");

    // Opens and closes by others show up here; when the last one closes, the line forgets
    // what nobody read and drops the program's exclusive claim, as a real port would.
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || ::inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE) < 0)
        return SetError(error, "inotify");
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) return SetError(error, "eventfd");
    return true;
}

bool PtyTransport::Start(std::string* error) {
    if (master_ < 0) {
        if (error) *error = "not open";
        return false;
    }
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void PtyTransport::Stop() {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_, &one, sizeof one);
    thread_.join();
    CloseLine();
}

void PtyTransport::CloseLine() {
    CloseFd(master_);
    CloseFd(slave_);
    closed_.store(true);
}

void PtyTransport::Loop() {
    struct Due {
        std::vector<std::uint8_t> bytes;
        bool close = false;
    };
    // Replies by due time; equal times keep the order the model gave them.
    std::multimap<std::int64_t, Due> due;
    std::vector<std::uint8_t> outgoing;  // what the master would not take yet
    int othersOpen = 0;

    for (;;) {
        const std::int64_t now = NowMs();
        while (!due.empty() && due.begin()->first <= now) {
            auto item = std::move(due.begin()->second);
            due.erase(due.begin());
            if (item.close) {
                // Hanging up discards what the program has not read yet; a line cut after its
                // last reply should still deliver that reply, so give it a moment to be read.
                if (!outgoing.empty()) {
                    [[maybe_unused]] const auto n =
                        ::write(master_, outgoing.data(), outgoing.size());
                }
                // The bytes reach the slave's queue a little after the write; wait until they
                // have been there and gone, or for a short while if they never show up.
                const std::int64_t started = NowMs();
                bool seen = false;
                int unread = 0;
                while (othersOpen > 0 && NowMs() - started < 1000 &&
                       ::ioctl(slave_, TIOCINQ, &unread) == 0) {
                    if (unread > 0)
                        seen = true;
                    else if (seen || NowMs() - started > 50)
                        break;
                    ::poll(nullptr, 0, 2);
                }
                CloseLine();
                return;
            }
            if (trace_) trace_(Direction::Out, now, item.bytes.data(), item.bytes.size());
            outgoing.insert(outgoing.end(), item.bytes.begin(), item.bytes.end());
        }
        while (!outgoing.empty()) {
            const ssize_t n = ::write(master_, outgoing.data(), outgoing.size());
            if (n <= 0) break;
            outgoing.erase(outgoing.begin(), outgoing.begin() + n);
        }

        int timeout = -1;
        if (!due.empty())
            timeout = static_cast<int>(std::max<std::int64_t>(0, due.begin()->first - now));
        pollfd fds[3] = {
            {wake_, POLLIN, 0},
            {master_, static_cast<short>(POLLIN | (outgoing.empty() ? 0 : POLLOUT)), 0},
            {watch_, POLLIN, 0}};
        if (::poll(fds, 3, timeout) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;

        if (fds[2].revents & POLLIN) {
            alignas(inotify_event) char events[4096];
            const ssize_t n = ::read(watch_, events, sizeof events);
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(events + at);
                if (e->mask & IN_OPEN) ++othersOpen;
                if (e->mask & (IN_CLOSE | IN_Q_OVERFLOW)) --othersOpen;
                // Handled at every moment nobody has it open, even if it was opened again
                // within the same batch: what was queued before belongs to the old session.
                if (othersOpen <= 0 || (e->mask & IN_Q_OVERFLOW)) {
                    othersOpen = 0;
                    ::ioctl(slave_, TIOCNXCL);
                    ::tcflush(slave_, TCIFLUSH);
                    released_.fetch_add(1);
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }

        if (fds[1].revents & POLLIN) {
            std::uint8_t buf[4096];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                const std::int64_t at = NowMs();
                if (trace_) trace_(Direction::In, at, buf, static_cast<std::size_t>(n));
                std::vector<Reply> replies;
                {
                    std::lock_guard lock(modelMutex_);
                    replies = model_.Receive(buf, static_cast<std::size_t>(n), at);
                }
                for (auto& r : replies)
                    due.emplace(at + r.delayMs, Due{std::move(r.bytes), r.closeLine});
            }
        }
    }
}

}  // namespace corvane::sim
