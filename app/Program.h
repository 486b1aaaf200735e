#pragma once
// The program's single instances, owned by the application object and handed by reference to
// the windows that use them. Tests build a fresh one per test, on a manual clock.

#include "framework/Clock.h"
#include "session/ConfigPacket.h"
#include "widgets/PopUps.h"

#include <QString>

#include <array>

namespace corvane {

// The network configuration's fields: the target follows the search controller's reports, the
// configuration dialog shows it and takes the new address, the configuration packet is built
// from both. The switchers found are the search controller's.
struct NetworkState {
    static constexpr int kAutoIp = ::corvane::kAutoIp;
    static constexpr int kStaticIp = ::corvane::kStaticIp;

    int addressMode = kAutoIp;
    std::array<QString, 4> targetIp;   // the device to configure: decimal octets
    std::array<QString, 6> targetMac;  // and its MAC, two upper-case hexadecimal digits a byte
    std::array<QString, 4> newIp;      // what the configuration dialog's OK took
    std::array<QString, 6> newMac;
};

struct Program {
    explicit Program(Clock& c) : clock(c), popUps(c) {}
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Clock& clock;
    NetworkState network;
    PopUps popUps;
};

}  // namespace corvane
