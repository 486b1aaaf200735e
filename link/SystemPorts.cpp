#include "link/SystemPorts.h"

#include "link/PortHolders.h"
#include "link/PortWatch.h"
#include "link/SerialDiagnosis.h"

#include <QDir>
#include <QSerialPortInfo>

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <utility>

namespace corvane {

struct SystemPortSource::Descriptions {
    std::set<std::string> describedFor;  // the devices present when the descriptions were asked
    std::map<std::string, PortDescription> byPath;
};

namespace {

using Descriptions = SystemPortSource::Descriptions;

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

std::shared_ptr<const Descriptions> DescribeAll(const std::set<std::string>& paths,
                                                const Descriptions* previous) {
    auto next = std::make_shared<Descriptions>();
    next->describedFor = paths;
    if (previous && std::includes(previous->describedFor.begin(), previous->describedFor.end(),
                                  paths.begin(), paths.end())) {
        // Nothing new came: the descriptions of the devices that are left still hold. A device
        // that comes back later is asked again; it may be another one under the same name.
        for (const std::string& path : paths) {
            const auto known = previous->byPath.find(path);
            if (known != previous->byPath.end()) next->byPath.insert(*known);
        }
        return next;
    }
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortDescription& d = next->byPath[info.systemLocation().toStdString()];
        d.description = info.description();
        d.isUsb = info.hasVendorIdentifier();
        d.manufacturer = info.manufacturer();
        if (info.hasVendorIdentifier()) d.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier()) d.productId = info.productIdentifier();
        d.serialNumber = info.serialNumber();
    }
    return next;
}

}  // namespace

SystemPortSource::SystemPortSource() : SystemPortSource(Roots{}) {}

SystemPortSource::SystemPortSource(Roots roots) : roots_(std::move(roots)), self_(::getpid()) {
    try {
        watched_ = PathsOf(PresentDevices());
    } catch (const PortEnumerationError&) {
        // The first list will say so.
    }
    PortWatch::Folders folders;
    // Ports come and go in the device folder; the by-id links come a moment after their node,
    // and a USB device without a port (a trap) shows only under bus/usb.
    folders.presence = {roots_.dev, roots_.dev + "/serial", roots_.serialById,
                        roots_.dev + "/bus/usb"};
    if (DIR* buses = ::opendir((roots_.dev + "/bus/usb").c_str())) {
        while (const dirent* entry = ::readdir(buses)) {
            if (entry->d_name[0] != '.')
                folders.presence.push_back(roots_.dev + "/bus/usb/" + entry->d_name);
        }
        ::closedir(buses);
    }
    folders.locks = roots_.lockDirs;
    // The thread's first call walks every process for the holders, while the toolkit starts.
    watch_ = std::make_unique<PortWatch>(
        std::move(folders), watched_,
        [this](const std::set<std::string>& paths, unsigned change) { OnWatch(paths, change); },
        kSafetyPassMs);
}

SystemPortSource::~SystemPortSource() = default;

void SystemPortSource::AddDevice(const QString& path) {
    if (std::find(extra_.begin(), extra_.end(), path) != extra_.end()) return;
    extra_.push_back(path);
    changed_ = true;
}

bool SystemPortSource::SetChangeHandler(std::function<void()> handler) {
    std::lock_guard lock(handlerMutex_);
    handler_ = std::move(handler);
    return true;
}

void SystemPortSource::Notify() {
    changed_ = true;
    std::lock_guard lock(handlerMutex_);
    if (handler_) handler_();
}

// On the watch's thread, at normal priority: the walk runs only when a node was opened or closed,
// the devices changed, or the safety pass is due, so it need not give way to the window.
void SystemPortSource::OnWatch(const std::set<std::string>& paths, unsigned change) {
    if (change & (PortWatch::kUse | PortWatch::kRecheck)) {
        std::uint64_t serving = 0;
        {
            std::lock_guard lock(mutex_);
            serving = walkRequests_;
        }
        const auto start = std::chrono::steady_clock::now();
        std::set<std::string> held = FindHeld(paths, roots_.proc, self_);
        bool first = false;
        {
            std::lock_guard lock(mutex_);
            heldByWalk_ = std::move(held);
            checked_ = paths;
            walkServed_ = std::max(walkServed_, serving);
            first = !std::exchange(walkedOnce_, true);
        }
        walked_.notify_all();
        if (first) {
            qCDebug(lcSerial) << "The first holder walk took"
                              << std::chrono::duration<double, std::milli>(
                                     std::chrono::steady_clock::now() - start)
                                     .count()
                              << "ms; the port list fills now";
        }
    }
    Notify();
}

void SystemPortSource::WatchDevices(const std::set<std::string>& paths) {
    if (paths == watched_) return;
    watched_ = paths;
    watch_->Watch(paths);
}

void SystemPortSource::RequestDescriptions(const std::set<std::string>& paths) {
    if (paths == describing_ || (described_ && described_->describedFor == paths)) return;
    describing_ = paths;
    describer_.Request([this, paths] {
        std::shared_ptr<const Descriptions> previous;
        {
            std::lock_guard lock(mutex_);
            previous = descriptions_;
        }
        auto next = DescribeAll(paths, previous.get());
        {
            std::lock_guard lock(mutex_);
            descriptions_ = std::move(next);
        }
        Notify();
    });
}

std::vector<PortDevice> SystemPortSource::PresentDevices() const {
    std::vector<PortDevice> devices = WalkTtyClass(roots_);
    const QString devPrefix = QString::fromStdString(roots_.dev) + '/';
    for (const QString& path : extra_) {
        if (::access(path.toLocal8Bit().constData(), F_OK) != 0) continue;
        devices.push_back({path, path.startsWith(devPrefix) ? path.mid(devPrefix.size()) : path});
    }
    return devices;
}

std::set<std::string> SystemPortSource::PathsOf(const std::vector<PortDevice>& devices) {
    std::set<std::string> paths;
    for (const PortDevice& d : devices)
        paths.insert(d.path.toStdString());
    return paths;
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

std::map<std::string, QString> SystemPortSource::StablePaths(const Roots& roots) {
    std::map<std::string, QString> stable;
    DIR* dir = ::opendir(roots.serialById.c_str());
    if (!dir) return stable;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string link = roots.serialById + "/" + name;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
        if (n <= 0 || n == static_cast<ssize_t>(sizeof target)) continue;
        std::string path(target, static_cast<std::size_t>(n));
        // udev writes them relative: ../../ttyUSB0
        if (path[0] != '/') path = roots.serialById + "/" + path;
        stable.emplace(QDir::cleanPath(QString::fromStdString(path)).toStdString(),
                       QString::fromStdString(link));
    }
    return stable;
}

std::vector<PortDevice> SystemPortSource::Devices() {
    // Cleared first: whatever happens from here on is seen by the next refresh.
    changed_ = false;
    std::vector<PortDevice> devices;
    try {
        devices = PresentDevices();
    } catch (const PortEnumerationError&) {
        changed_ = true;  // the next tick tries again
        throw;
    }
    const std::set<std::string> paths = PathsOf(devices);
    WatchDevices(paths);
    stable_ = StablePaths(roots_);
    std::set<std::string> checked;
    {
        std::lock_guard lock(mutex_);
        held_ = heldByWalk_;
        checked = checked_;
        described_ = descriptions_;
    }
    // A device nobody has looked for holders of yet may be busy; it is listed after its walk.
    devices.erase(std::remove_if(devices.begin(), devices.end(),
                                 [&](const PortDevice& d) {
                                     return checked.count(d.path.toStdString()) == 0;
                                 }),
                  devices.end());
    RequestDescriptions(paths);
    return devices;
}

PortDescription SystemPortSource::Describe(const PortDevice& device) {
    const std::string path = device.path.toStdString();
    PortDescription description;
    if (described_) {
        const auto it = described_->byPath.find(path);
        if (it != described_->byPath.end()) description = it->second;
    }
    const auto stable = stable_.find(path);
    if (stable != stable_.end()) description.stablePath = stable->second;
    return description;
}

bool SystemPortSource::IsHeld(const PortDevice& device) {
    if (holders::HasLiveLockFile(device.name.toStdString(), roots_.lockDirs, self_)) return true;
    return held_.count(device.path.toStdString()) != 0;
}

bool SystemPortSource::Unchanged() {
    return !changed_;
}

bool SystemPortSource::WaitForPass(int timeoutMs) {
    try {
        WatchDevices(PathsOf(PresentDevices()));  // added devices included
    } catch (const PortEnumerationError&) {
        // The walk goes over the devices watched so far.
    }
    const std::set<std::string> wanted = watched_;
    std::unique_lock lock(mutex_);
    const std::uint64_t target = ++walkRequests_;
    lock.unlock();
    watch_->Recheck();
    lock.lock();
    // A walk that was already under way when the devices changed may take the request as served
    // while it still goes over the old set; the new set always gets a walk of its own.
    return walked_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return walkServed_ >= target &&
               std::includes(checked_.begin(), checked_.end(), wanted.begin(), wanted.end());
    });
}

}  // namespace corvane
