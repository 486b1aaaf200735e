#pragma once
// The program's single instances, owned by the application object and handed by reference to
// the windows that use them. Tests build a fresh one per test, on a manual clock.

#include "framework/Clock.h"
#include "widgets/PopUps.h"

#include <QString>

#include <array>
#include <cstddef>
#include <vector>

namespace corvane {

// The network configuration's fields: written by the search and the switcher list, shown and
// taken by the configuration dialog, read when the configuration packet is built.
struct NetworkState {
    static constexpr int kAutoIp = 0;
    static constexpr int kStaticIp = 1;
    // The list keeps at most this many switchers from one search.
    static constexpr std::size_t kMaxSwitchers = 256;

    int addressMode = kAutoIp;
    std::array<QString, 4> targetIp;   // the device to configure: decimal octets
    std::array<QString, 6> targetMac;  // and its MAC, two upper-case hexadecimal digits a byte
    std::array<QString, 4> newIp;      // what the configuration dialog's OK took
    std::array<QString, 6> newMac;
    // The MAC text (12 hexadecimal digits) of each switcher the last search listed, in the
    // order found; a list entry carries its index here.
    std::vector<QString> foundSwitchers;
    // By the same index, the interfaces each switcher answered on (none when unknown), so that
    // Config... goes out where the switcher is.
    std::vector<std::vector<int>> foundOn;
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
