#pragma once
// The machine's serial ports. A refresh walks /sys/class/tty for the devices that have a driver
// and checks UUCP lock files, which is cheap, but only when a PortWatch event (or its slow
// safety pass) said that something may have changed; otherwise Unchanged() ends the refresh at
// once. The slow parts run on other threads and are used from their latest results: the walk
// over every process's open files (about 25 us a process) and /proc/locks, on the watch's
// thread whenever a port's node is opened or closed; descriptions from QSerialPortInfo (about
// 10 ms a call), on a background pass when the set of devices changed.

#include "link/BackgroundPass.h"
#include "link/SerialPorts.h"

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace corvane {

class PortWatch;

class SystemPortSource final : public PortSource {
public:
    struct Roots {
        std::string sysClassTty = "/sys/class/tty";
        std::string dev = "/dev";
        std::string proc = "/proc";
        std::vector<std::string> lockDirs = {"/run/lock", "/var/lock"};
        std::string serialById = "/dev/serial/by-id";
    };

    SystemPortSource();
    explicit SystemPortSource(Roots roots);
    ~SystemPortSource() override;

    // A device the system does not list as a serial port, such as a test's pseudo-terminal.
    void AddDevice(const QString& path);

    // Only devices that a walk for their holders has looked at are listed: until the first walk
    // (started when the source is made) has ended there are none, and a device that has just
    // come is listed once its walk is done, a few milliseconds later. Either way the change
    // handler is called when there is more to list.
    std::vector<PortDevice> Devices() override;
    PortDescription Describe(const PortDevice& device) override;
    bool IsHeld(const PortDevice& device) override;
    bool Unchanged() override;
    bool SetChangeHandler(std::function<void()> handler) override;

    // Starts a walk for the holders of the devices present now and waits for it; false when it
    // took longer than timeoutMs. The descriptions, which run at idle priority, may come later.
    bool WaitForPass(int timeoutMs);

    // The walk of the tty class alone: devices with a driver, not the placeholder ttyS entries
    // of UARTs that are not there. Throws PortEnumerationError.
    static std::vector<PortDevice> WalkTtyClass(const Roots& roots);
    // The device each link in roots.serialById leads to, with the link (the first by name when
    // there are several).
    static std::map<std::string, QString> StablePaths(const Roots& roots);

    struct Descriptions;

    // Without events, the holders are looked for again this often, for what the events cannot
    // show: a lock file whose owner died, an open through another node of the same device. A
    // walk costs about 35 us of processor a process (17 ms with 500 processes on a small virtual
    // machine), so every 30 s would already exceed the 0.05 % of a core the idle program may use.
    static constexpr int kSafetyPassMs = 60000;

private:
    std::vector<PortDevice> PresentDevices() const;
    static std::set<std::string> PathsOf(const std::vector<PortDevice>& devices);
    void WatchDevices(const std::set<std::string>& paths);
    void OnWatch(const std::set<std::string>& paths, unsigned change);
    void RequestDescriptions(const std::set<std::string>& paths);
    void Notify();

    const Roots roots_;
    const pid_t self_;
    std::vector<QString> extra_;
    std::atomic<bool> changed_{true};

    // The user-interface thread's: what the watch was given, and the latest results as this
    // enumeration uses them.
    std::set<std::string> watched_;
    std::set<std::string> describing_;  // the devices the latest description request was for
    std::map<std::string, QString> stable_;
    std::set<std::string> held_;
    std::shared_ptr<const Descriptions> described_;

    // The results of the other threads.
    mutable std::mutex mutex_;
    std::condition_variable walked_;
    std::set<std::string> heldByWalk_;  // device paths other processes have open or locked
    std::set<std::string> checked_;     // the devices the latest walk looked at
    std::uint64_t walkRequests_ = 0;
    std::uint64_t walkServed_ = 0;
    bool walkedOnce_ = false;
    std::shared_ptr<const Descriptions> descriptions_;

    std::mutex handlerMutex_;
    std::function<void()> handler_;

    BackgroundPass describer_;
    std::unique_ptr<PortWatch> watch_;  // last, so that its thread ends before what it uses
};

}  // namespace corvane
