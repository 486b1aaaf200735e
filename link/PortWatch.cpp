#include "link/PortWatch.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace corvane {
namespace {

constexpr std::uint32_t kFolderMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                      IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kLockMask =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ONLYDIR;
// IN_ATTRIB comes with an unlink of the node (its link count drops), not only with a chmod.
constexpr std::uint32_t kDeviceMask = IN_OPEN | IN_CLOSE | IN_DELETE_SELF | IN_ATTRIB;

}  // namespace

PortWatch::PortWatch(Folders folders, std::set<std::string> devices, Handler handler, int safetyMs)
    : folders_(std::move(folders)),
      handler_(std::move(handler)),
      safetyMs_(safetyMs),
      inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      requested_(std::move(devices)) {
    thread_ = std::thread([this] { Run(); });
}

PortWatch::~PortWatch() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    Wake();
    thread_.join();
    if (inotify_ >= 0) ::close(inotify_);
    if (wake_ >= 0) ::close(wake_);
}

void PortWatch::Watch(std::set<std::string> devices) {
    {
        std::lock_guard lock(mutex_);
        requested_ = std::move(devices);
        newDevices_ = true;
    }
    Wake();
}

void PortWatch::Recheck() {
    {
        std::lock_guard lock(mutex_);
        recheck_ = true;
    }
    Wake();
}

void PortWatch::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
}

void PortWatch::Run() {
    ::pthread_setname_np(::pthread_self(), "port watch");  // for top -H and schedstat readers
    unsigned change = kPresence | kRecheck;
    for (;;) {
        bool resync = (change & kPresence) != 0;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            if (newDevices_) {
                newDevices_ = false;
                devices_ = requested_;
                change |= kRecheck;
                resync = true;
            }
            if (std::exchange(recheck_, false)) change |= kRecheck;
        }
        if (resync) Sync();
        if (change != 0) handler_(devices_, change);
        change = 0;

        pollfd fds[2] = {{wake_, POLLIN, 0}, {inotify_, POLLIN, 0}};
        // Without the eventfd a new set of devices, or the end, waits for the next timeout.
        const bool watching = inotify_ >= 0 && wake_ >= 0 && complete_;
        const int ready = ::poll(fds, inotify_ >= 0 ? 2 : 1, watching ? safetyMs_ : kFallbackMs);
        if (ready == 0) change |= kPresence | kRecheck;
        if (ready < 0 && errno != EINTR) change |= kPresence | kRecheck;  // and the timeout paces
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wake_, &count, sizeof count);
        }
        if (inotify_ >= 0 && (fds[1].revents & POLLIN)) change |= ReadEvents();
    }
}

void PortWatch::Sync() {
    if (inotify_ < 0) {
        complete_ = false;
        return;
    }
    complete_ = true;
    auto add = [&](const std::string& path, std::uint32_t mask, Kind kind) {
        const int wd = ::inotify_add_watch(inotify_, path.c_str(), mask);
        if (wd < 0) {
            // A folder or node that is not there is nothing to watch; one that is there and
            // cannot be watched (the watch limit) leaves us with the periodic passes. A node we
            // may not read we may not open either, nor see its other users in /proc.
            if (errno != ENOENT && errno != ENOTDIR && errno != EACCES) complete_ = false;
            return;
        }
        // The same path may now be another inode (a device plugged in again): its old watch,
        // if any, went with the old node.
        const auto known = paths_.find(path);
        if (known != paths_.end() && known->second != wd) watches_.erase(known->second);
        paths_[path] = wd;
        watches_[wd] = kind;
    };
    for (const std::string& folder : folders_.presence)
        add(folder, kFolderMask, Kind::kPresence);
    for (const std::string& folder : folders_.locks)
        add(folder, kLockMask, Kind::kLocks);
    // Nodes no longer asked for are let go.
    for (auto it = paths_.begin(); it != paths_.end();) {
        const auto kind = watches_.find(it->second);
        if (kind != watches_.end() && kind->second == Kind::kDevice && !devices_.count(it->first)) {
            ::inotify_rm_watch(inotify_, it->second);
            watches_.erase(kind);
            it = paths_.erase(it);
        } else {
            ++it;
        }
    }
    for (const std::string& device : devices_)
        add(device, kDeviceMask, Kind::kDevice);
}

void PortWatch::Forget(int wd) {
    watches_.erase(wd);
    for (auto it = paths_.begin(); it != paths_.end();) {
        if (it->second == wd)
            it = paths_.erase(it);
        else
            ++it;
    }
}

unsigned PortWatch::ReadEvents() {
    unsigned change = 0;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(inotify_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            at += static_cast<ssize_t>(sizeof event + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                change |= kPresence | kRecheck;  // events were lost
                continue;
            }
            const auto watch = watches_.find(event.wd);
            if (watch == watches_.end()) continue;  // one we let go
            const Kind kind = watch->second;
            if (event.mask & IN_IGNORED) {
                Forget(event.wd);
                change |= kPresence;
                continue;
            }
            if (kind == Kind::kLocks) {
                change |= kUse;
            } else if (kind == Kind::kDevice && (event.mask & (IN_OPEN | IN_CLOSE))) {
                change |= kUse;
            } else {
                change |= kPresence;
            }
        }
    }
    return change;
}

}  // namespace corvane
