#pragma once
// What every harness shares: the application object the widgets need (offscreen platform), the
// way an input is cut into chunks, and invariant checks that abort so the fuzzer keeps the input.

#include <QApplication>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace corvane::fuzz {

inline void InitApplication(int* argc, char*** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt keeps the references: both must outlive the application object.
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    (void)argc;
    static QApplication app(qtArgc, qtArgv);
}

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Cuts bytes into chunks of 1..limit bytes. The sizes come from a small generator seeded by
// one input byte, so the data itself stays whole and seed files can be plain golden frames.
class Chunker {
public:
    Chunker(const std::uint8_t* data, std::size_t size, std::uint8_t seed, std::size_t limit)
        : data_(data), size_(size), state_(seed * 2654435761u + 1u), limit_(limit) {}

    bool Next(std::vector<std::uint8_t>& chunk) {
        if (at_ >= size_) return false;
        const std::size_t n = std::min(size_ - at_, 1 + Random() % limit_);
        chunk.assign(data_ + at_, data_ + at_ + n);
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
