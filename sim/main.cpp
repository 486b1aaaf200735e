// corvane-sim: the switcher simulator on a pseudo-terminal or on the network, for
// demonstrations and manual checks.

#include "sim/DeviceModel.h"
#include "sim/Faults.h"
#include "sim/NetTransport.h"
#include "sim/PtyTransport.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

using namespace corvane::sim;

namespace {

const char kUsage[] =
    "usage: corvane-sim --pty PATH [options]\n"
    "       corvane-sim [--tcp [ADDR:]PORT] [--udp] [options]\n"
    "\n"
    "Serves a simulated switcher on a pseudo-terminal and makes PATH a symbolic link to its\n"
    "slave device; point the program's serial port at PATH. Stops on SIGINT or SIGTERM and\n"
    "removes the link.\n"
    "\n"
    "Network (instead of --pty):\n"
    "  --tcp [ADDR:]PORT        listen for the program on ADDR (default 127.0.0.1), one client\n"
    "                           at a time; SIGUSR1 closes the client's connection\n"
    "  --udp                    answer searches on UDP 30600 and configuration packets on\n"
    "                           30601, by broadcast; runs only inside a private network\n"
    "                           namespace (only lo and cvn* interfaces)\n"
    "  --address-change-ms MS   searches unanswered this long after a configuration\n"
    "                           (default 1000)\n"
    "\n"
    "Faults (repeatable). BYTES are hexadecimal frame bytes from byte 2 on, at least command\n"
    "and sub-command, '*' for any value, e.g. 20,01 or 20,01,AA. A suffix @N applies the fault\n"
    "to the next N matching commands only; without it, to every one. Block acknowledgements\n"
    "match the block's announcement (20,01,AA or 20,01,56).\n"
    "  --drop BYTES[@N]         answer nothing\n"
    "  --corrupt BYTES[@N]      answer with a bad checksum\n"
    "  --delay BYTES:MS[@N]     answer MS milliseconds late\n"
    "  --duplicate BYTES[@N]    answer twice\n"
    "  --late-duplicate BYTES[@N]\n"
    "                           answer a block, and answer it again once the next data block\n"
    "                           has arrived, ahead of that block's own answer; e.g.\n"
    "                           20,01,*,00,00,01,01,B0 repeats the answer to the region-B0 block\n"
    "  --ack-delay MS           write each data block to flash for MS milliseconds before\n"
    "                           answering it, answering nothing else meanwhile (default 0)\n"
    "  --close-on BYTES[@N]     close the line instead of answering\n"
    "  --close-after N          close the line after N replies\n"
    "  --silent                 take no input and answer nothing\n"
    "\n"
    "Device:\n"
    "  --device-type N          1 Corvane (default), 2 Pellaro, other Ostrevin\n"
    "  --size IxO               inputs x outputs reported (default 8x2)\n"
    "  --version A.B            firmware version reported (default 1.2)\n"
    "  --input N                input in use at start, 1..8 (default 1)\n"
    "  --beeper on|off          beeper at start (default on)\n"
    "  --reboot-ms MS           reboot time after a firmware upgrade (default 4000)\n"
    "  --bank-blocks N          region-40 blocks before the F0 answer, 0 never (default 256)\n"
    "\n"
    "  --verbose                print every frame in and out, in hexadecimal\n"
    "  --help                   this text\n";

std::mutex printMutex;

void PrintHex(const char* arrow, std::int64_t atMs, const std::uint8_t* bytes, std::size_t n,
              const char* note = "") {
    std::lock_guard lock(printMutex);
    std::printf("[%6lld.%03lld] %s", static_cast<long long>(atMs / 1000),
                static_cast<long long>(atMs % 1000), arrow);
    for (std::size_t i = 0; i < n; ++i)
        std::printf(" %02X", bytes[i]);
    std::printf("%s\n", note);
    std::fflush(stdout);
}

bool ParseInt(const char* s, long lo, long hi, long* out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (errno || end == s || *end || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool ParsePair(const char* s, char sep, long* a, long* b) {
    const char* mid = std::strchr(s, sep);
    if (!mid) return false;
    const std::string first(s, mid);
    return ParseInt(first.c_str(), 0, 255, a) && ParseInt(mid + 1, 0, 255, b);
}

// Makes path a symbolic link to target, replacing an older link but never a real file.
bool MakeLink(const std::string& path, const std::string& target, std::string* error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *error = path + " exists and is not a symbolic link";
        return false;
    }
    const std::string temp = path + ".corvane-sim." + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        *error = "cannot link " + path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// Removes the link only while it still points at our device.
void RemoveLink(const std::string& path, const std::string& target) {
    char buf[256];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == target) ::unlink(path.c_str());
}

// The network transports until SIGINT or SIGTERM; SIGUSR1 closes the client's connection.
int ServeNetwork(DeviceModel& model, const NetOptions& options, bool verbose,
                 const std::vector<FaultRule>& faults) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    NetTransport transport(model, options);
    std::string error;
    if (!transport.Open(&error)) {
        std::fprintf(stderr, "corvane-sim: %s\n", error.c_str());
        return 1;
    }
    if (verbose) {
        transport.SetTrace([](NetTransport::Channel c, NetTransport::Direction d, std::int64_t at,
                              const std::uint8_t* b, std::size_t n) {
            const char* in[] = {"<- tcp", "<- udp 30600", "<- udp 30601"};
            const char* out[] = {"-> tcp", "-> udp 30600", "-> udp 30601"};
            const auto i = static_cast<std::size_t>(c);
            PrintHex(d == NetTransport::Direction::In ? in[i] : out[i], at, b, n);
        });
    }
    if (!transport.Start(&error)) {
        std::fprintf(stderr, "corvane-sim: %s\n", error.c_str());
        return 1;
    }
    {
        std::lock_guard lock(printMutex);
        if (options.tcp)
            std::printf("corvane-sim: listening on %s:%u\n", options.tcpAddress.c_str(),
                        transport.TcpPort());
        if (options.udp) std::printf("corvane-sim: answering searches on UDP 30600 and 30601\n");
        for (const auto& f : faults)
            std::printf("corvane-sim: fault %s\n", ToString(f).c_str());
        std::fflush(stdout);
    }
    for (;;) {
        const int sig = sigwaitinfo(&signals, nullptr);
        if (sig == SIGINT || sig == SIGTERM) break;
        if (sig == SIGUSR1) transport.CloseClient();
    }
    transport.Stop();
    return 0;
}

int Usage(const std::string& why) {
    std::fprintf(stderr, "corvane-sim: %s\n\n%s", why.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    DeviceSettings settings;
    std::vector<FaultRule> faults;
    std::string ptyPath;
    NetOptions net;
    bool verbose = false, silent = false;
    long closeAfter = -1;
    std::uint8_t input = 1;
    bool beeper = true;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const struct {
            const char* name;
            FaultAction action;
        } faultOptions[] = {{"--drop", FaultAction::Drop},
                            {"--corrupt", FaultAction::Corrupt},
                            {"--delay", FaultAction::Delay},
                            {"--duplicate", FaultAction::Duplicate},
                            {"--late-duplicate", FaultAction::LateDuplicate},
                            {"--close-on", FaultAction::Close}};
        bool isFault = false;
        for (const auto& f : faultOptions) {
            if (arg != f.name) continue;
            isFault = true;
            const char* v = value();
            if (!v) return Usage(arg + " needs a value");
            std::string error;
            auto rule = ParseFaultRule(f.action, v, &error);
            if (!rule) return Usage(arg + ": " + error);
            faults.push_back(*rule);
        }
        if (isFault) continue;

        long a = 0, b = 0;
        const char* v = nullptr;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--verbose" || arg == "-v") {
            verbose = true;
        } else if (arg == "--silent") {
            silent = true;
        } else if (arg == "--pty") {
            if (!(v = value())) return Usage("--pty needs a path");
            ptyPath = v;
        } else if (arg == "--tcp") {
            if (!(v = value())) return Usage("--tcp needs [ADDR:]PORT");
            std::string where = v;
            const auto colon = where.rfind(':');
            if (colon != std::string::npos) {
                net.tcpAddress = where.substr(0, colon);
                where = where.substr(colon + 1);
            }
            if (!ParseInt(where.c_str(), 1, 65535, &a))
                return Usage("--tcp needs a port of 1..65535");
            net.tcp = true;
            net.tcpPort = static_cast<std::uint16_t>(a);
        } else if (arg == "--udp") {
            net.udp = true;
        } else if (arg == "--address-change-ms") {
            if (!(v = value()) || !ParseInt(v, 0, 600000, &a))
                return Usage("--address-change-ms needs 0..600000");
            net.addressChangeMs = static_cast<int>(a);
        } else if (arg == "--ack-delay") {
            if (!(v = value()) || !ParseInt(v, 0, 3600000, &a))
                return Usage("--ack-delay needs 0..3600000");
            settings.flashMs = static_cast<int>(a);
        } else if (arg == "--close-after") {
            if (!(v = value()) || !ParseInt(v, 1, 1000000000, &closeAfter))
                return Usage("--close-after needs a count of at least 1");
        } else if (arg == "--device-type") {
            if (!(v = value()) || !ParseInt(v, 0, 255, &a))
                return Usage("--device-type needs 0..255");
            settings.deviceType = static_cast<std::uint8_t>(a);
        } else if (arg == "--size") {
            if (!(v = value()) || !ParsePair(v, 'x', &a, &b)) return Usage("--size needs IxO");
            settings.inputs = static_cast<std::uint8_t>(a);
            settings.outputs = static_cast<std::uint8_t>(b);
        } else if (arg == "--version") {
            if (!(v = value()) || !ParsePair(v, '.', &a, &b)) return Usage("--version needs A.B");
            settings.versionMajor = static_cast<std::uint8_t>(a);
            settings.versionMinor = static_cast<std::uint8_t>(b);
        } else if (arg == "--input") {
            if (!(v = value()) || !ParseInt(v, 1, 8, &a)) return Usage("--input needs 1..8");
            input = static_cast<std::uint8_t>(a);
        } else if (arg == "--beeper") {
            v = value();
            if (!v || (std::strcmp(v, "on") && std::strcmp(v, "off")))
                return Usage("--beeper needs on or off");
            beeper = std::strcmp(v, "on") == 0;
        } else if (arg == "--reboot-ms") {
            if (!(v = value()) || !ParseInt(v, 0, 600000, &a))
                return Usage("--reboot-ms needs 0..600000");
            settings.rebootMs = static_cast<int>(a);
        } else if (arg == "--bank-blocks") {
            if (!(v = value()) || !ParseInt(v, 0, 1000000, &a))
                return Usage("--bank-blocks needs a count");
            settings.bankBlocks = static_cast<std::size_t>(a);
        } else {
            return Usage("unknown option " + arg);
        }
    }
    const bool onNetwork = net.tcp || net.udp;
    if (ptyPath.empty() && !onNetwork) return Usage("--pty PATH, --tcp or --udp is required");
    if (!ptyPath.empty() && onNetwork) return Usage("--pty and --tcp/--udp cannot be combined");

    DeviceModel model(settings);
    model.State().input = input;
    model.State().beeper = beeper;
    model.SetSilent(silent);
    if (closeAfter > 0) model.CloseAfter(static_cast<int>(closeAfter));
    for (auto& f : faults)
        model.AddFault(f);

    if (onNetwork) return ServeNetwork(model, net, verbose, faults);

    PtyTransport transport(model);
    std::string error;
    if (!transport.Open(&error)) {
        std::fprintf(stderr, "corvane-sim: %s\n", error.c_str());
        return 1;
    }
    if (verbose) {
        model.SetObserver([](const Incoming& in) {
            const char* note =
                in.isBlock ? (in.valid ? "  (block)" : "  (block, bad checksum)") : "";
            PrintHex("<-", in.atMs, in.bytes.data(), in.bytes.size(), note);
        });
        transport.SetTrace(
            [](PtyTransport::Direction d, std::int64_t at, const std::uint8_t* b, std::size_t n) {
                if (d == PtyTransport::Direction::Out) PrintHex("->", at, b, n);
            });
    }

    // The signals are taken by sigtimedwait below; the serving thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    if (!MakeLink(ptyPath, transport.SlavePath(), &error)) {
        std::fprintf(stderr, "corvane-sim: %s\n", error.c_str());
        return 1;
    }
    if (!transport.Start(&error)) {
        std::fprintf(stderr, "corvane-sim: %s\n", error.c_str());
        RemoveLink(ptyPath, transport.SlavePath());
        return 1;
    }
    {
        std::lock_guard lock(printMutex);
        std::printf("corvane-sim: serving %s -> %s\n", ptyPath.c_str(),
                    transport.SlavePath().c_str());
        for (const auto& f : faults)
            std::printf("corvane-sim: fault %s\n", ToString(f).c_str());
        std::fflush(stdout);
    }

    const timespec tick{0, 100 * 1000 * 1000};
    int status = 0;
    for (;;) {
        const int sig = sigtimedwait(&stopSignals, nullptr, &tick);
        if (sig == SIGINT || sig == SIGTERM) break;
        if (transport.LineClosed()) {
            std::lock_guard lock(printMutex);
            std::printf("corvane-sim: line closed\n");
            status = 3;
            break;
        }
    }
    const std::string slave = transport.SlavePath();
    transport.Stop();
    RemoveLink(ptyPath, slave);
    return status;
}
