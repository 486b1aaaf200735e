#pragma once
// What a unit of traffic means: command frames by the protocol table, reply frames, data blocks,
// search and configuration datagrams. A pure function of the bytes, for the traffic monitor.

#include "link/TrafficLog.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

enum class CheckResult { None, Good, Bad };

struct TrafficMeaning {
    std::string name;       // "beeper state query", "input select reply", "data block", ...
    std::string arguments;  // decoded argument bytes; empty when there are none to tell
    CheckResult check = CheckResult::None;  // checksum of a frame or block, sum of a packet

    // "name: arguments; checksum good"
    std::string Text() const;
};

TrafficMeaning DecodeTraffic(TrafficKind kind, const std::uint8_t* bytes, std::size_t length);

// "sent" or "received"; the meaning tells frames from datagrams.
const char* DirectionText(TrafficKind kind);

}  // namespace corvane
