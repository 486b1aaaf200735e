#pragma once
// Why a serial port could not be opened, in words the operator can act on (missing group,
// the program that holds the port, a device that is gone), and the Linux traps around USB
// serial adapters: brltty claiming an adapter so that it gets no tty, ModemManager probing ports.

#include "link/BackgroundPass.h"

#include <QLoggingCategory>

#include <string>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcSerial)

namespace corvane::serialdiag {

struct Holder {
    int pid = 0;
    std::string name;  // the process's command name
};

// What the system says about a device node and the user who tried to open it.
struct NodeFacts {
    bool exists = false;
    unsigned mode = 0;  // permission bits
    unsigned ownerUid = 0;
    unsigned groupGid = 0;
    std::string ownerName;
    std::string groupName;           // empty when the group has no name
    std::string userName;            // who runs the program
    bool userListedInGroup = false;  // the group database lists the user in the node's group
    bool processHasGroup = false;    // this login already carries the group
    std::vector<Holder> holders;     // other processes that have the node open
};

// The line under "Open COM failed!": the reason for error (an errno value) on device.
std::string OpenFailureReason(const std::string& device, int error, const NodeFacts& facts);

// The facts from the system: a stat of the node, the user and group databases, and the
// processes under procRoot that hold it (only those this user may look at).
NodeFacts GatherNodeFacts(const std::string& device, const std::string& procRoot = "/proc");
std::vector<Holder> FindHolders(const std::string& device, const std::string& procRoot = "/proc");

// Both steps: what the pop-up shows for a failed open.
std::string DescribeOpenFailure(const std::string& device, int error);

// Known traps, one message each: a USB serial adapter that is present but has no tty (claimed
// by brltty), ModemManager holding a serial port. Reads sysRoot/bus/usb/devices and procRoot.
std::vector<std::string> FindSerialTraps(const std::string& sysRoot = "/sys",
                                         const std::string& procRoot = "/proc");

// The USB devices and interfaces present, as one text that changes when one comes or goes.
// A single directory listing, cheap enough for every tick of the port-list refresh.
std::string UsbDevicesSignature(const std::string& sysRoot = "/sys");

// Writes each trap to the serial log category, once per distinct message for the run.
class TrapReporter {
public:
    // Returns the messages that were new this time.
    std::vector<std::string> Report(const std::vector<std::string>& traps);
    const std::vector<std::string>& Reported() const { return reported_; }

private:
    std::vector<std::string> reported_;
};

// The trap search walks every process, which takes milliseconds on a desktop: it runs on a
// background thread and writes what it finds through its own reporter.
class TrapWatch {
public:
    explicit TrapWatch(std::string sysRoot = "/sys", std::string procRoot = "/proc");

    // Starts a search; one asked for while a search runs follows it.
    void Look();
    bool WaitForLatestLook(int timeoutMs) { return pass_.WaitForLatestRequest(timeoutMs); }

    // What has been written so far; only while no search runs.
    const std::vector<std::string>& Reported() const { return reporter_.Reported(); }

private:
    const std::string sysRoot_;
    const std::string procRoot_;
    TrapReporter reporter_;  // used by the searches only
    BackgroundPass pass_;    // last, so that it ends before what its searches use
};

}  // namespace corvane::serialdiag
