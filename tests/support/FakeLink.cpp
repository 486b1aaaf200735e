#include "tests/support/FakeLink.h"

#include "link/TrafficLog.h"

#include <sstream>

namespace corvane::test {

std::vector<Frame> FakeLink::Frames() const {
    std::vector<Frame> frames;
    for (const auto& w : writes) {
        if (w.size() != kFrameSize) continue;
        Frame f{};
        std::copy(w.begin(), w.end(), f.begin());
        frames.push_back(f);
    }
    return frames;
}

std::string FakeLink::LastBody() const {
    const auto frames = Frames();
    return frames.empty() ? std::string() : Body(frames.back());
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string s = HexBytes(bytes.data(), bytes.size());
    if (!s.empty()) s.pop_back();
    return s;
}

std::string Hex(const Frame& frame) {
    return Hex(std::vector<std::uint8_t>(frame.begin(), frame.end()));
}

std::string Body(const Frame& frame) {
    return Hex(std::vector<std::uint8_t>(frame.begin() + 2, frame.begin() + 12));
}

Frame FrameFromBody(const std::string& body) {
    Frame f{kHeader0, kHeader1};
    std::istringstream in(body);
    std::string byte;
    for (std::size_t i = 2; i < 12 && in >> byte; ++i) {
        f[i] = static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16));
    }
    f[12] = FrameChecksum(f.data());
    return f;
}

}  // namespace corvane::test
