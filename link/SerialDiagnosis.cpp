#include "link/SerialDiagnosis.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

// Debug lines only when asked for (QT_LOGGING_RULES="corvane.serial.debug=true").
Q_LOGGING_CATEGORY(lcSerial, "corvane.serial", QtInfoMsg)

namespace corvane::serialdiag {
namespace {

namespace fs = std::filesystem;

constexpr const char* kModemManager = "ModemManager";
constexpr const char* kBrltty = "brltty";

// USB vendors whose adapters Linux drives as ttyUSB ports (QinHeng CH34x, Silicon Labs CP210x,
// FTDI, Prolific); brltty's rules match some of them.
constexpr const char* kSerialVendors[] = {"1a86", "10c4", "0403", "067b"};

// The name the port list shows: the path below /dev (pts/3, ttyUSB0).
std::string PortName(const std::string& path) {
    if (path.rfind("/dev/", 0) == 0) return path.substr(5);
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string LinkTarget(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.string();
}

bool IsNumber(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Every process under procRoot, as pid and command name.
std::vector<Holder> Processes(const std::string& procRoot) {
    std::vector<Holder> list;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(procRoot, ec)) {
        const std::string pid = e.path().filename().string();
        if (!IsNumber(pid)) continue;
        list.push_back({std::stoi(pid), ReadLine(e.path() / "comm")});
    }
    std::sort(list.begin(), list.end(),
              [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
    return list;
}

// The paths a process's descriptors point at. Empty when we may not look.
std::vector<std::string> OpenPaths(const std::string& procRoot, int pid) {
    std::vector<std::string> paths;
    std::error_code ec;
    for (const fs::directory_entry& e :
         fs::directory_iterator(fs::path(procRoot) / std::to_string(pid) / "fd", ec)) {
        std::string target = LinkTarget(e.path());
        if (!target.empty()) paths.push_back(std::move(target));
    }
    return paths;
}

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%03o", mode & 0777);
    return text;
}

std::string HolderText(const Holder& h) {
    return (h.name.empty() ? std::string("a program") : h.name) + " (pid " + std::to_string(h.pid) +
           ")";
}

}  // namespace

std::string OpenFailureReason(const std::string& device, int error, const NodeFacts& facts) {
    if (device.empty()) return "No serial port was found.";
    const std::string name = PortName(device);
    switch (error) {
        case EACCES:
        case EPERM: {
            const bool groupMayOpen = (facts.mode & 0060) == 0060;
            const std::string& group = facts.groupName;
            if (groupMayOpen && !group.empty() && facts.groupGid != 0) {
                if (facts.processHasGroup) {
                    return "No permission for " + name + " although this login is in group " +
                           group + ".";
                }
                if (facts.userListedInGroup) {
                    return "No permission for " + name + ": you were added to group " + group +
                           " after this login started; log out and in again.";
                }
                const std::string user = facts.userName.empty() ? "$USER" : facts.userName;
                return "No permission for " + name + " (group " + group +
                       ").\nRun: sudo usermod -aG " + group + " " + user + ", then log in again.";
            }
            return "No permission for " + name + " (owner " + facts.ownerName + ", group " +
                   (group.empty() ? std::to_string(facts.groupGid) : group) + ", mode " +
                   Octal(facts.mode) + ").";
        }
        case EBUSY:
#if EWOULDBLOCK != EBUSY
        case EWOULDBLOCK:
#endif
        {
            if (!facts.holders.empty()) {
                const Holder& h = facts.holders.front();
                if (h.name == kModemManager) {
                    return name + " is being probed by " + HolderText(h) +
                           "; try again in a few seconds.";
                }
                std::string text = name + " is in use by " + HolderText(h);
                if (facts.holders.size() > 1) {
                    text += " and " + std::to_string(facts.holders.size() - 1) + " more";
                }
                return text + ".";
            }
            return name + " is in use by another program.";
        }
        case ENOENT:
        case ENODEV:
        case ENXIO:
            if (!facts.exists) return "No such device: " + name + " is gone (unplugged?).";
            return "No such device: no serial hardware answers at " + name + ".";
        case ENOTTY:
            return name + " is not a serial port.";
        default:
            return name + ": " + std::strerror(error) + ".";
    }
}

std::vector<Holder> FindHolders(const std::string& device, const std::string& procRoot) {
    std::error_code ec;
    const fs::path canonical = fs::canonical(device, ec);
    const std::string target = ec ? device : canonical.string();
    const bool ownProc = procRoot == "/proc";
    std::vector<Holder> holders;
    for (const Holder& p : Processes(procRoot)) {
        if (ownProc && p.pid == ::getpid()) continue;
        for (const std::string& path : OpenPaths(procRoot, p.pid)) {
            if (path == target || path == device) {
                holders.push_back(p);
                break;
            }
        }
    }
    return holders;
}

NodeFacts GatherNodeFacts(const std::string& device, const std::string& procRoot) {
    NodeFacts facts;
    struct stat st {};
    if (!device.empty() && ::stat(device.c_str(), &st) == 0) {
        facts.exists = true;
        facts.mode = st.st_mode & 07777;
        facts.ownerUid = st.st_uid;
        facts.groupGid = st.st_gid;
        if (const passwd* pw = ::getpwuid(st.st_uid)) facts.ownerName = pw->pw_name;
        if (const group* gr = ::getgrgid(st.st_gid)) facts.groupName = gr->gr_name;
    }
    gid_t primary = ::getgid();
    if (const passwd* me = ::getpwuid(::geteuid())) {
        facts.userName = me->pw_name;
        primary = me->pw_gid;
    }
    if (facts.exists) {
        // The group database, as the next login will see it.
        if (primary == facts.groupGid) {
            facts.userListedInGroup = true;
        } else if (!facts.userName.empty()) {
            int count = 64;
            std::vector<gid_t> groups(static_cast<std::size_t>(count));
            if (::getgrouplist(facts.userName.c_str(), primary, groups.data(), &count) < 0) {
                groups.resize(static_cast<std::size_t>(count));
                ::getgrouplist(facts.userName.c_str(), primary, groups.data(), &count);
            }
            groups.resize(static_cast<std::size_t>(std::max(count, 0)));
            facts.userListedInGroup =
                std::find(groups.begin(), groups.end(), facts.groupGid) != groups.end();
        }
        // This process, as the login started it.
        const int n = ::getgroups(0, nullptr);
        std::vector<gid_t> mine(static_cast<std::size_t>(std::max(n, 0)));
        if (n > 0) ::getgroups(n, mine.data());
        facts.processHasGroup = ::getegid() == facts.groupGid ||
                                std::find(mine.begin(), mine.end(), facts.groupGid) != mine.end();
    }
    facts.holders = FindHolders(device, procRoot);
    return facts;
}

std::string DescribeOpenFailure(const std::string& device, int error) {
    NodeFacts facts = GatherNodeFacts(device);
    std::string reason = OpenFailureReason(device, error, facts);
    // ModemManager runs as root, so its descriptors are hidden from the operator; say that it
    // runs when the port is busy and nobody visible holds it.
    if ((error == EBUSY || error == EWOULDBLOCK) && facts.holders.empty()) {
        for (const Holder& p : Processes("/proc")) {
            if (p.name == kModemManager) {
                reason = PortName(device) +
                         " is in use by another program; ModemManager runs and probes new ports, "
                         "so try again in a few seconds.";
                break;
            }
        }
    }
    return reason;
}

std::string UsbDevicesSignature(const std::string& sysRoot) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& e :
         fs::directory_iterator(fs::path(sysRoot) / "bus/usb/devices", ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string signature;
    for (const std::string& n : names)
        signature += n + ' ';
    return signature;
}

std::vector<std::string> FindSerialTraps(const std::string& sysRoot, const std::string& procRoot) {
    std::vector<std::string> traps;
    const std::vector<Holder> processes = Processes(procRoot);
    const Holder* brltty = nullptr;
    for (const Holder& p : processes) {
        if (p.name == kBrltty) {
            brltty = &p;
            break;
        }
    }

    std::error_code ec;
    std::vector<fs::path> interfaces;
    for (const fs::directory_entry& e :
         fs::directory_iterator(fs::path(sysRoot) / "bus/usb/devices", ec)) {
        if (e.path().filename().string().find(':') != std::string::npos)
            interfaces.push_back(e.path());
    }
    std::sort(interfaces.begin(), interfaces.end());
    for (const fs::path& iface : interfaces) {
        const std::string ifaceName = iface.filename().string();
        const fs::path device = iface.parent_path() / ifaceName.substr(0, ifaceName.find(':'));
        const std::string vendor = ReadLine(device / "idVendor");
        if (std::find(std::begin(kSerialVendors), std::end(kSerialVendors), vendor) ==
            std::end(kSerialVendors)) {
            continue;
        }
        bool hasTty = false;
        std::error_code ec2;
        for (const fs::directory_entry& child : fs::directory_iterator(iface, ec2)) {
            if (child.path().filename().string().rfind("tty", 0) == 0) hasTty = true;
        }
        if (hasTty) continue;
        // Between plugging in and the driver binding there is no tty either; only a claim by
        // usbfs or a running brltty says that none will come.
        const std::string driver = BaseName(LinkTarget(iface / "driver"));
        if (driver != "usbfs" && !brltty) continue;
        std::string text = "USB serial adapter " + vendor + ":" + ReadLine(device / "idProduct");
        const std::string product = ReadLine(device / "product");
        if (!product.empty()) text += " (" + product + ")";
        text += " at " + ifaceName + " has no tty";
        if (brltty) {
            text += ": " + HolderText(*brltty) +
                    " has claimed it; remove the brltty package or disable its udev rules, then "
                    "plug the adapter in again.";
        } else {
            text += ": a program holds it through usbfs.";
        }
        traps.push_back(text);
    }

    for (const Holder& p : processes) {
        if (p.name != kModemManager) continue;
        for (const std::string& path : OpenPaths(procRoot, p.pid)) {
            if (path.rfind("/dev/tty", 0) != 0) continue;
            traps.push_back(HolderText(p) + " has " + path +
                            " open: it probes serial ports for modems. Stop it (sudo systemctl "
                            "stop ModemManager) or set ID_MM_DEVICE_IGNORE=1 for the port in a "
                            "udev rule.");
        }
    }
    return traps;
}

std::vector<std::string> TrapReporter::Report(const std::vector<std::string>& traps) {
    std::vector<std::string> fresh;
    for (const std::string& t : traps) {
        if (std::find(reported_.begin(), reported_.end(), t) != reported_.end()) continue;
        reported_.push_back(t);
        fresh.push_back(t);
        qCWarning(lcSerial).noquote() << QString::fromStdString(t);
    }
    return fresh;
}

TrapWatch::TrapWatch(std::string sysRoot, std::string procRoot)
    : sysRoot_(std::move(sysRoot)), procRoot_(std::move(procRoot)) {}

void TrapWatch::Look() {
    pass_.Request([this] { reporter_.Report(FindSerialTraps(sysRoot_, procRoot_)); });
}

}  // namespace corvane::serialdiag
