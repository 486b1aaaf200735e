#pragma once
// A link that records every frame and block written to it, for component tests.

#include "link/CommandFrame.h"
#include "link/Link.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::test {

class FakeLink : public Link {
public:
    bool IsOpen() const override { return open; }
    void Write(const std::uint8_t* bytes, std::size_t length) override {
        writes.emplace_back(bytes, bytes + length);
    }

    // The writes that were 13-byte frames, in order.
    std::vector<Frame> Frames() const;
    // Bytes 2..11 of the last frame written, as "02 03 03 00 01 00 00 00 00 00".
    std::string LastBody() const;
    std::size_t Count() const { return writes.size(); }
    void Clear() { writes.clear(); }

    bool open = true;
    std::vector<std::vector<std::uint8_t>> writes;
};

// "A5 5B 01 0B ..." from bytes.
std::string Hex(const std::vector<std::uint8_t>& bytes);
std::string Hex(const Frame& frame);
// Bytes 2..11 of a frame.
std::string Body(const Frame& frame);
// A frame from its body text, e.g. "02 03 00 00 01 00 00 00 00 00", checksum filled in.
Frame FrameFromBody(const std::string& body);

}  // namespace corvane::test
