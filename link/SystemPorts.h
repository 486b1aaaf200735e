#pragma once
// The machine's serial ports. Each refresh walks /sys/class/tty for the devices that have a
// driver and checks UUCP lock files, which is cheap. The slow parts run on a background thread
// and are used from its latest pass: descriptions from QSerialPortInfo (about 10 ms a call; asked
// again only when the set of devices changed), the walk over every process's open files (about
// 25 us a process) and /proc/locks (which can wait milliseconds for the kernel). So a device that
// another program takes drops out of the list one or two refreshes later.

#include "link/PortHolders.h"
#include "link/SerialPorts.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace corvane {

class SystemPortSource final : public PortSource {
public:
    struct Roots {
        std::string sysClassTty = "/sys/class/tty";
        std::string dev = "/dev";
        std::string proc = "/proc";
        std::vector<std::string> lockDirs = {"/run/lock", "/var/lock"};
    };

    SystemPortSource();
    explicit SystemPortSource(Roots roots);
    ~SystemPortSource() override;

    // A device the system does not list as a serial port, such as a test's pseudo-terminal.
    void AddDevice(const QString& path);

    // The source starts looking for holders when it is made, and the first call waits for
    // that, so that the first list already leaves busy ports out; the descriptions come with
    // the next pass. Every call starts the next pass, and later calls take the results of the
    // latest one.
    std::vector<PortDevice> Devices() override;
    PortDescription Describe(const PortDevice& device) override;
    bool IsHeld(const PortDevice& device) override;

    // Waits until a background pass that started after this call has finished.
    bool WaitForPass(int timeoutMs);

    // The walk of the tty class alone: devices with a driver, not the placeholder ttyS entries
    // of UARTs that are not there. Throws PortEnumerationError.
    static std::vector<PortDevice> WalkTtyClass(const Roots& roots);

    struct Snapshot;  // one background pass's results

private:
    class Scanner;

    // Far longer than the first pass takes on a busy machine; the first list does not wait for
    // a pass that hangs on /proc.
    static constexpr int kFirstPassWaitMs = 2000;

    void StartFirstPass();
    std::vector<PortDevice> PresentDevices() const;
    static std::set<std::string> PathsOf(const std::vector<PortDevice>& devices);

    Roots roots_;
    std::vector<QString> extra_;
    pid_t self_;
    std::unique_ptr<Scanner> scanner_;
    bool listed_ = false;  // Devices() has been called
    std::optional<std::set<std::string>> firstPassPaths_;
    // What this enumeration uses: the latest background pass.
    std::shared_ptr<const Snapshot> current_;
};

}  // namespace corvane
