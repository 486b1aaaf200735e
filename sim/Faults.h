#pragma once
// Faults the simulated device can be told to commit when it answers a command: drop, corrupt,
// delay or duplicate the reply, repeat it late (a block acknowledgement sent again once the
// next data block has arrived, ahead of that block's own answer), or close the line instead of
// answering.

#include "link/CommandFrame.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane::sim {

enum class FaultAction { Drop, Corrupt, Delay, Duplicate, LateDuplicate, Close };

struct FaultRule {
    FaultAction action = FaultAction::Drop;
    // Bytes to match from byte 2 of the received command on; nullopt matches any value.
    std::vector<std::optional<std::uint8_t>> pattern;
    int delayMs = 0;     // Delay only
    int remaining = -1;  // occurrences still to hit; -1 = always

    bool Matches(const Frame& command) const;
    bool Spent() const { return remaining == 0; }
};

// Parses "20,01", "20,01,*,00" or "02,03:8000" (Delay), each optionally followed by "@N" for the
// next N occurrences only. Returns nullopt and sets error on bad text.
std::optional<FaultRule> ParseFaultRule(FaultAction action, const std::string& text,
                                        std::string* error = nullptr);

std::string ToString(const FaultRule& rule);

}  // namespace corvane::sim
