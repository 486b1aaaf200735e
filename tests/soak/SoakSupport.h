#pragma once
// Seeded soak runs: the run count and the first seed come from SOAK_RUNS and SOAK_SEED, and run
// i uses seed SOAK_SEED + i, so a failing run is repeated alone with SOAK_RUNS=1 and its seed.
// The simulated device answers through a fault layer that drops, corrupts, delays past the
// retry or duplicates a share of its replies, at random but from the run's seed.
// SOAK_FAULT_PERCENT fixes that share for a harsher line; SOAK_VERBOSE=1 prints what the device
// received and what became of each reply, for looking into one seed.

#include "framework/Clock.h"
#include "link/CommandFrame.h"
#include "link/Link.h"
#include "sim/DeviceModel.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace corvane::test {

inline long long EnvNumber(const char* name, long long fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    return end && *end == '\0' ? v : fallback;
}

inline int SoakRuns(int fallback) {
    return static_cast<int>(EnvNumber("SOAK_RUNS", fallback));
}
inline std::uint64_t SoakSeed() {
    return static_cast<std::uint64_t>(EnvNumber("SOAK_SEED", 20261208));
}
inline std::string SeedNote(std::uint64_t seed) {
    return "seed " + std::to_string(seed) + " (repeat with SOAK_SEED=" + std::to_string(seed) +
           " SOAK_RUNS=1)";
}

using Rng = std::mt19937_64;

inline int Uniform(Rng& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}
inline bool Chance(Rng& rng, double p) {
    return std::uniform_real_distribution<double>(0, 1)(rng) < p;
}

// What the fault layer did, for the run's summary.
struct FaultCounts {
    int replies = 0, dropped = 0, corrupted = 0, delayed = 0, duplicated = 0;
    int Total() const { return dropped + corrupted + delayed + duplicated; }
};

// The program's link to a DeviceModel on the manual clock. Bytes written reach the model at
// once; each reply goes back to deliver() a few milliseconds later, or is faulted.
class FaultyDevice : public Link {
public:
    static constexpr int kLineMs = 2;      // a 13-byte reply on the serial line
    static constexpr int kRetryMs = 3000;  // every request of the program is retried after this
    FaultyDevice(ManualClock& clock, Rng& rng, double faultRate,
                 std::function<void(std::uint8_t)> deliver, sim::DeviceSettings settings = {})
        : model(settings),
          clock_(clock),
          rng_(rng),
          rate_(faultRate),
          deliver_(std::move(deliver)) {}

    bool IsOpen() const override { return true; }
    void Write(const std::uint8_t* bytes, std::size_t length) override {
        for (auto& reply : model.Receive(bytes, length, clock_.Now())) {
            if (reply.closeLine || reply.bytes.empty()) continue;
            Inject(std::move(reply.bytes), reply.delayMs);
        }
    }

    sim::DeviceModel model;
    FaultCounts counts;
    bool faultsOn = true;
    // Milliseconds between a data block and its acknowledgement: the device writing its flash.
    // Set, it also keeps the replies in the order the device sent them, as one line does.
    std::function<int()> blockAckDelay;

private:
    void Inject(std::vector<std::uint8_t> bytes, int delay) {
        ++counts.replies;
        int copies = 1;
        delay += kLineMs;
        if (blockAckDelay) {
            if (bytes.size() == kFrameSize && bytes[2] == 0x20 && bytes[7] == 0x01 &&
                bytes[8] == 0x01)
                delay += blockAckDelay();
            const std::int64_t due = std::max(clock_.Now() + delay, lastDue_);
            lastDue_ = due;
            delay = static_cast<int>(due - clock_.Now());
        }
        if (faultsOn && Chance(rng_, rate_)) {
            switch (Uniform(rng_, 0, 3)) {
                case 0:
                    ++counts.dropped;
                    if (verbose_) std::cout << clock_.Now() << " reply dropped\n";
                    return;
                case 1: {
                    ++counts.corrupted;
                    const int at = Uniform(rng_, 0, static_cast<int>(bytes.size()) - 1);
                    bytes[static_cast<std::size_t>(at)] ^=
                        static_cast<std::uint8_t>(Uniform(rng_, 1, 255));
                    break;
                }
                case 2:
                    ++counts.delayed;
                    // Past the retry, and now and then past a page command's 7 s time-out.
                    delay += kRetryMs + Uniform(rng_, 1, 5000);
                    break;
                default:
                    ++counts.duplicated;
                    copies = 2;
                    break;
            }
        }
        if (verbose_)
            std::cout << clock_.Now() << " reply in " << delay << " ms x" << copies << ": "
                      << static_cast<int>(bytes[2]) << " " << static_cast<int>(bytes[4]) << " "
                      << static_cast<int>(bytes[10]) << "\n";
        for (int i = 0; i < copies; ++i) {
            clock_.Schedule(delay + i * kLineMs, [this, bytes] {
                for (std::uint8_t b : bytes)
                    deliver_(b);
            });
        }
    }

    bool verbose_ = EnvNumber("SOAK_VERBOSE", 0) != 0;
    std::int64_t lastDue_ = 0;
    ManualClock& clock_;
    Rng& rng_;
    double rate_;
    std::function<void(std::uint8_t)> deliver_;
};

// A fault rate between 1 % and 5 %, or SOAK_FAULT_PERCENT for a harsher line.
inline double FaultRate(Rng& rng) {
    const double drawn = 0.01 + 0.04 * std::uniform_real_distribution<double>(0, 1)(rng);
    const long long percent = EnvNumber("SOAK_FAULT_PERCENT", -1);
    return percent >= 0 ? static_cast<double>(percent) / 100.0 : drawn;
}

}  // namespace corvane::test
