#include "link/SystemPorts.h"

#include "link/BackgroundPass.h"
#include "link/PortHolders.h"
#include "link/SerialDiagnosis.h"

#include <QSerialPortInfo>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>

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
    if (previous && std::includes(previous->describedFor.begin(), previous->describedFor.end(),
                                  paths.begin(), paths.end())) {
        // Nothing new came: the descriptions of the devices that are left still hold. A device
        // that comes back later is asked again; it may be another one under the same name.
        next->describedFor = paths;
        for (const std::string& path : paths) {
            const auto known = previous->descriptions.find(path);
            if (known != previous->descriptions.end()) next->descriptions.insert(*known);
        }
    } else {
        next->describedFor = paths;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
            PortDescription& d = next->descriptions[info.systemLocation().toStdString()];
            d.description = info.description();
            d.isUsb = info.hasVendorIdentifier();
            d.manufacturer = info.manufacturer();
            if (info.hasVendorIdentifier()) d.vendorId = info.vendorIdentifier();
            if (info.hasProductIdentifier()) d.productId = info.productIdentifier();
            d.serialNumber = info.serialNumber();
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

    // On the caller's thread, before any background pass: who holds the devices, so that the
    // first list is right. The descriptions are slow and come with the next pass.
    std::shared_ptr<const Snapshot> ScanNow(const std::set<std::string>& paths) {
        auto result = std::make_shared<Snapshot>();
        result->heldElsewhere = FindHeld(paths, procRoot_, self_);
        std::lock_guard lock(mutex_);
        latest_ = result;
        return result;
    }

    // The same in the background, for a first list that is still to come.
    void RequestHolders(std::set<std::string> paths) {
        pass_.Request([this, paths = std::move(paths)] {
            auto result = std::make_shared<Snapshot>();
            result->heldElsewhere = FindHeld(paths, procRoot_, self_);
            std::lock_guard lock(mutex_);
            latest_ = std::move(result);
        });
    }

    void Request(std::set<std::string> paths) {
        pass_.Request([this, paths = std::move(paths)] {
            auto result = Scan(paths, Latest().get(), procRoot_, self_);
            std::lock_guard lock(mutex_);
            latest_ = std::move(result);
        });
    }

    std::shared_ptr<const Snapshot> Latest() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }

    bool WaitForLatestRequest(int timeoutMs) { return pass_.WaitForLatestRequest(timeoutMs); }

private:
    const std::string procRoot_;
    const pid_t self_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Snapshot> latest_;
    BackgroundPass pass_;  // last, so that it ends before the members its jobs use
};

SystemPortSource::SystemPortSource() : SystemPortSource(Roots{}) {}

SystemPortSource::SystemPortSource(Roots roots)
    : roots_(std::move(roots)),
      self_(::getpid()),
      scanner_(std::make_unique<Scanner>(roots_.proc, self_)) {
    StartFirstPass();
}

SystemPortSource::~SystemPortSource() = default;

void SystemPortSource::AddDevice(const QString& path) {
    if (std::find(extra_.begin(), extra_.end(), path) != extra_.end()) return;
    extra_.push_back(path);
    if (!listed_) StartFirstPass();
}

// The walk over every process takes milliseconds, tens of them on a busy desktop. Started when
// the source is made, it runs while the program starts, and the first list only picks it up.
void SystemPortSource::StartFirstPass() {
    try {
        firstPassPaths_ = PathsOf(PresentDevices());
    } catch (const PortEnumerationError&) {
        firstPassPaths_.reset();  // the first list will say so
        return;
    }
    scanner_->RequestHolders(*firstPassPaths_);
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

std::vector<PortDevice> SystemPortSource::Devices() {
    std::vector<PortDevice> devices = PresentDevices();
    std::set<std::string> paths = PathsOf(devices);
    if (!listed_) {
        listed_ = true;
        // The first list leaves out busy ports already. Should the devices have changed since
        // the first pass started, they are looked at here and now; should the pass hang, the
        // list goes without it until a later pass comes through.
        const auto waitStart = std::chrono::steady_clock::now();
        const bool passDone = scanner_->WaitForLatestRequest(kFirstPassWaitMs);
        qCDebug(lcSerial) << "First port list waited"
                          << std::chrono::duration<double, std::milli>(
                                 std::chrono::steady_clock::now() - waitStart)
                                 .count()
                          << "ms for the holder pass";
        if (passDone && firstPassPaths_ != paths)
            current_ = scanner_->ScanNow(paths);
        else
            current_ = scanner_->Latest();
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
    return scanner_->WaitForLatestRequest(timeoutMs);
}

}  // namespace corvane
