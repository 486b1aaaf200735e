#include "sim/Faults.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace corvane::sim {

bool FaultRule::Matches(const Frame& command) const {
    if (Spent()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::size_t at = 2 + i;
        if (at >= 12) return false;
        if (pattern[i] && *pattern[i] != command[at]) return false;
    }
    return true;
}

namespace {

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

bool ParseNumber(const std::string& s, int base, long max, long* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, base);
    if (*end != '\0' || v < 0 || v > max) return false;
    *out = v;
    return true;
}

const char* Name(FaultAction a) {
    switch (a) {
        case FaultAction::Drop:
            return "drop";
        case FaultAction::Corrupt:
            return "corrupt";
        case FaultAction::Delay:
            return "delay";
        case FaultAction::Duplicate:
            return "duplicate";
        case FaultAction::LateDuplicate:
            return "late-duplicate";
        case FaultAction::Close:
            return "close-on";
    }
    return "?";
}

}  // namespace

std::optional<FaultRule> ParseFaultRule(FaultAction action, const std::string& text,
                                        std::string* error) {
    FaultRule rule;
    rule.action = action;
    std::string rest = text;

    if (const auto at = rest.find('@'); at != std::string::npos) {
        long n = 0;
        if (!ParseNumber(rest.substr(at + 1), 10, 1000000, &n) || n == 0) {
            Fail(error, "bad count in '" + text + "'");
            return std::nullopt;
        }
        rule.remaining = static_cast<int>(n);
        rest.resize(at);
    }
    if (action == FaultAction::Delay) {
        const auto colon = rest.find(':');
        long ms = 0;
        if (colon == std::string::npos || !ParseNumber(rest.substr(colon + 1), 10, 3600000, &ms)) {
            Fail(error, "delay needs BYTES:MS, got '" + text + "'");
            return std::nullopt;
        }
        rule.delayMs = static_cast<int>(ms);
        rest.resize(colon);
    }

    std::istringstream bytes(rest);
    std::string item;
    while (std::getline(bytes, item, ',')) {
        if (item == "*" || item == "-") {
            rule.pattern.emplace_back(std::nullopt);
            continue;
        }
        long v = 0;
        if (item.size() > 2 || !ParseNumber(item, 16, 0xFF, &v)) {
            Fail(error, "bad byte '" + item + "' in '" + text + "'");
            return std::nullopt;
        }
        rule.pattern.emplace_back(static_cast<std::uint8_t>(v));
    }
    // Command and sub-command at least; bytes 2..11 at most.
    if (rule.pattern.size() < 2 || rule.pattern.size() > 10) {
        Fail(error, "need 2 to 10 bytes from byte 2 on, got '" + text + "'");
        return std::nullopt;
    }
    return rule;
}

std::string ToString(const FaultRule& rule) {
    std::string s = Name(rule.action);
    s += ' ';
    for (std::size_t i = 0; i < rule.pattern.size(); ++i) {
        if (i) s += ',';
        char hex[4];
        if (rule.pattern[i]) {
            std::snprintf(hex, sizeof hex, "%02X", *rule.pattern[i]);
            s += hex;
        } else {
            s += '*';
        }
    }
    if (rule.action == FaultAction::Delay) s += ":" + std::to_string(rule.delayMs);
    s += rule.remaining < 0 ? " always" : " x" + std::to_string(rule.remaining);
    return s;
}

}  // namespace corvane::sim
