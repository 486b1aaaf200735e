#pragma once
// Tells when the machine's serial ports may have changed, so that the port list does its work
// only then: inotify on the device folder (ports plugged and unplugged), on each port's device
// node (another program opening or closing it, by whatever name or link it uses) and on the
// lock-file folders. A thread of its own waits for the events and calls the handler there, at
// normal priority, so that a busy machine does not hold the news back. Without any event the
// handler still comes every safetyMs, for what the events cannot show (a lock file whose owner
// died). Uses no Qt, like the port thread, so that its tests run under ThreadSanitizer.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace corvane {

class PortWatch {
public:
    enum Change : unsigned {
        kPresence = 1,  // entries of a watched folder came or went, or a watched node went
        kUse = 2,       // a device node was opened or closed, or a lock file written or removed
        kRecheck = 4,   // the start, a new set of devices, a safety pass or a lost event
    };

    struct Folders {
        // Watched for entries coming and going; those that do not exist yet are looked for again
        // after each such change (/dev/serial/by-id appears with the first USB adapter).
        std::vector<std::string> presence;
        // Watched for files written, made or removed. Not for reads: the list reads lock files,
        // and must not wake itself.
        std::vector<std::string> locks;
    };

    // devices, and what changed (a set of Change bits); called on the watch's thread.
    using Handler = std::function<void(const std::set<std::string>& devices, unsigned change)>;

    // Starts the thread, which first calls the handler with kPresence | kRecheck.
    PortWatch(Folders folders, std::set<std::string> devices, Handler handler, int safetyMs);
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;
    // Waits for a running handler to return.
    ~PortWatch();

    // The device nodes to watch from now on; the handler follows with kRecheck.
    void Watch(std::set<std::string> devices);
    // Asks for a call of the handler with kRecheck.
    void Recheck();

    // The period without events when inotify could not watch everything.
    static constexpr int kFallbackMs = 600;

private:
    enum class Kind { kPresence, kLocks, kDevice };

    void Run();
    // Adds the watches that are missing: folders that have appeared, nodes made anew.
    void Sync();
    unsigned ReadEvents();
    void Forget(int wd);
    void Wake();

    const Folders folders_;
    const Handler handler_;
    const int safetyMs_;
    int inotify_ = -1;
    int wake_ = -1;  // eventfd

    std::mutex mutex_;
    std::set<std::string> requested_;  // the devices asked for by Watch()
    bool newDevices_ = true;
    bool recheck_ = false;
    bool stop_ = false;

    // The thread's own.
    std::set<std::string> devices_;
    std::map<int, Kind> watches_;       // by watch descriptor
    std::map<std::string, int> paths_;  // the watch descriptor of each watched path
    bool complete_ = true;              // every folder and node that exists is watched

    std::thread thread_;
};

}  // namespace corvane
