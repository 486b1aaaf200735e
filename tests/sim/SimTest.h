#pragma once
// Helpers for driving the simulated switcher in tests.

#include "sim/DeviceModel.h"
#include "tests/support/FakeLink.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace corvane::sim::test {

using corvane::test::Body;
using corvane::test::FrameFromBody;
using corvane::test::Hex;

// "A5 5B 01 ..." to bytes.
inline std::vector<std::uint8_t> Bytes(const std::string& hex) {
    std::vector<std::uint8_t> out;
    std::istringstream in(hex);
    std::string b;
    while (in >> b)
        out.push_back(static_cast<std::uint8_t>(std::stoul(b, nullptr, 16)));
    return out;
}

inline std::vector<std::uint8_t> Wire(const Frame& f) {
    return {f.begin(), f.end()};
}

// Sends a command given by its bytes 2..11 and returns all replies.
inline std::vector<Reply> Send(DeviceModel& m, const std::string& body, std::int64_t nowMs = 0) {
    return m.Receive(Wire(FrameFromBody(body)), nowMs);
}

inline Frame AsFrame(const Reply& r) {
    Frame f{};
    EXPECT_EQ(r.bytes.size(), kFrameSize);
    std::copy_n(r.bytes.begin(), std::min(r.bytes.size(), kFrameSize), f.begin());
    return f;
}

// The one reply to a command, as bytes 2..11 text; "" (and a failure) when not exactly one.
inline std::string AnswerBody(DeviceModel& m, const std::string& body, std::int64_t nowMs = 0) {
    const auto replies = Send(m, body, nowMs);
    EXPECT_EQ(replies.size(), 1u) << "to " << body;
    if (replies.size() != 1) return "";
    const Frame f = AsFrame(replies[0]);
    EXPECT_TRUE(IsChecksumValid(f.data())) << Hex(f);
    EXPECT_EQ(f[0], 0xA5);
    EXPECT_EQ(f[1], 0x5B);
    return Body(f);
}

}  // namespace corvane::sim::test
