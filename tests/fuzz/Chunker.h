#pragma once
// How the harnesses cut an input into the pieces a link delivers.

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace corvane::fuzz {

// Cuts bytes into chunks of 1..limit bytes. The sizes come from a small generator seeded by
// one input byte, so the data itself stays whole and seed files can be plain golden frames.
class Chunker {
public:
    Chunker(const std::uint8_t* data, std::size_t size, std::uint8_t seed, std::size_t limit)
        : data_(data), size_(size), state_(seed * 2654435761u + 1u), limit_(limit) {}

    bool Next(const std::uint8_t*& chunk, std::size_t& n) {
        if (at_ >= size_) return false;
        n = std::min(size_ - at_, 1 + Random() % limit_);
        chunk = data_ + at_;
        at_ += n;
        return true;
    }
    std::uint32_t Random() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    std::uint32_t state_;
    std::size_t limit_;
};

}  // namespace corvane::fuzz
