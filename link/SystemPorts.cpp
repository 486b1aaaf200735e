#include "link/SystemPorts.h"

#include "link/PortHolders.h"

#include <QSerialPortInfo>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace corvane {

struct SystemPortSource::Snapshot {
    std::set<std::string> describedFor;  // the devices present when the descriptions were asked
    std::map<std::string, PortDescription> descriptions;  // by device path
    std::set<std::string> heldElsewhere;  // device paths other processes have open or locked
};

namespace {

using Snapshot = SystemPortSource::Snapshot;

// The devices another process has open, or has locked with flock or fcntl. Reading /proc/locks
// can wait several milliseconds for the kernel's lock list, so it is no job for the
// user-interface thread either.
std::set<std::string> FindHeld(const std::set<std::string>& paths, const std::string& procRoot,
                               pid_t self) {
    std::set<std::string> held = holders::FindOpenByProcesses(paths, self, procRoot);
    const auto locked = holders::ParseProcLocks(holders::ReadSmallFile(procRoot + "/locks"), self);
    for (const std::string& path : paths) {
        if (holders::IsLocked(path, locked)) held.insert(path);
    }
    return held;
}

std::shared_ptr<const Snapshot> Scan(const std::set<std::string>& paths, const Snapshot* previous,
                                     const std::string& procRoot, pid_t self) {
    auto next = std::make_shared<Snapshot>();
    if (previous && previous->describedFor == paths) {
        next->describedFor = previous->describedFor;
        next->descriptions = previous->descriptions;
    } else {
        next->describedFor = paths;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
            next->descriptions[info.systemLocation().toStdString()] = {info.description(),
                                                                       info.hasVendorIdentifier()};
        }
    }
    next->heldElsewhere = FindHeld(paths, procRoot, self);
    return next;
}

}  // namespace

// The background pass. Requests that come while a pass runs are folded into the next one.
class SystemPortSource::Scanner {
public:
    Scanner(std::string procRoot, pid_t self) : procRoot_(std::move(procRoot)), self_(self) {}
    ~Scanner() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    // On the caller's thread, before any background pass: who holds the devices, so that the
    // first list is right. The descriptions are slow and come with the next pass.
    std::shared_ptr<const Snapshot> ScanNow(const std::set<std::string>& paths) {
        auto result = std::make_shared<Snapshot>();
        result->heldElsewhere = FindHeld(paths, procRoot_, self_);
        std::lock_guard lock(mutex_);
        latest_ = result;
        return result;
    }

    void Request(std::set<std::string> paths) {
        {
            std::lock_guard lock(mutex_);
            wanted_ = std::move(paths);
            ++requested_;
        }
        wake_.notify_all();
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }

    std::shared_ptr<const Snapshot> Latest() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }

    bool WaitForLatestRequest(int timeoutMs) {
        std::unique_lock lock(mutex_);
        const std::uint64_t target = requested_;
        return done_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return finished_ >= target; });
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || taken_ < requested_; });
            if (stop_) return;
            const std::set<std::string> paths = wanted_;
            const std::uint64_t taking = requested_;
            taken_ = taking;
            const std::shared_ptr<const Snapshot> previous = latest_;
            lock.unlock();
            auto result = Scan(paths, previous.get(), procRoot_, self_);
            lock.lock();
            latest_ = std::move(result);
            finished_ = taking;
            done_.notify_all();
        }
    }

    const std::string procRoot_;
    const pid_t self_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::set<std::string> wanted_;
    std::uint64_t requested_ = 0;
    std::uint64_t taken_ = 0;
    std::uint64_t finished_ = 0;
    bool stop_ = false;
    std::shared_ptr<const Snapshot> latest_;
    std::thread thread_;
};

SystemPortSource::SystemPortSource() : SystemPortSource(Roots{}) {}

SystemPortSource::SystemPortSource(Roots roots) : roots_(std::move(roots)), self_(::getpid()) {}

SystemPortSource::~SystemPortSource() = default;

void SystemPortSource::AddDevice(const QString& path) {
    if (std::find(extra_.begin(), extra_.end(), path) == extra_.end()) extra_.push_back(path);
}

std::vector<PortDevice> SystemPortSource::WalkTtyClass(const Roots& roots) {
    DIR* dir = ::opendir(roots.sysClassTty.c_str());
    if (!dir) {
        throw PortEnumerationError(QStringLiteral("Could not read from %1. (err=%2)")
                                       .arg(QString::fromStdString(roots.sysClassTty))
                                       .arg(errno, 0, 16)
                                       .toStdString());
    }
    std::vector<PortDevice> devices;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string name = entry->d_name;
        const std::string base = roots.sysClassTty + "/" + name;
        char driver[256];
        // Virtual terminals, ptmx and the like have no device behind them.
        if (::readlink((base + "/device/driver").c_str(), driver, sizeof driver) <= 0) continue;
        if (name.rfind("ttyS", 0) == 0) {
            // The 8250 driver registers ttyS entries for UARTs that are not fitted; their type is
            // 0.
            const std::string type = holders::ReadSmallFile(base + "/type");
            if (!type.empty() && std::atoi(type.c_str()) == 0) continue;
        }
        QString shown = QString::fromStdString(name);
        shown.replace('!', '/');  // sysfs writes '/' in device names as '!'
        devices.push_back({QString::fromStdString(roots.dev) + '/' + shown, shown});
    }
    ::closedir(dir);
    return devices;
}

std::vector<PortDevice> SystemPortSource::Devices() {
    std::vector<PortDevice> devices = WalkTtyClass(roots_);
    const QString devPrefix = QString::fromStdString(roots_.dev) + '/';
    for (const QString& path : extra_) {
        if (::access(path.toLocal8Bit().constData(), F_OK) != 0) continue;
        devices.push_back({path, path.startsWith(devPrefix) ? path.mid(devPrefix.size()) : path});
    }
    std::set<std::string> paths;
    for (const PortDevice& d : devices)
        paths.insert(d.path.toStdString());

    if (!scanner_) {
        scanner_ = std::make_unique<Scanner>(roots_.proc, self_);
        current_ = scanner_->ScanNow(paths);
    } else {
        current_ = scanner_->Latest();
    }
    scanner_->Request(std::move(paths));
    return devices;
}

PortDescription SystemPortSource::Describe(const PortDevice& device) {
    if (!current_) return {};
    const auto it = current_->descriptions.find(device.path.toStdString());
    return it == current_->descriptions.end() ? PortDescription{} : it->second;
}

bool SystemPortSource::IsHeld(const PortDevice& device) {
    const std::string path = device.path.toStdString();
    if (holders::HasLiveLockFile(device.name.toStdString(), roots_.lockDirs, self_)) return true;
    return current_ && current_->heldElsewhere.count(path) != 0;
}

bool SystemPortSource::WaitForPass(int timeoutMs) {
    return !scanner_ || scanner_->WaitForLatestRequest(timeoutMs);
}

}  // namespace corvane
