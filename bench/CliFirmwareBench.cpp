// corvane-cli firmware as a shell runs it: a 100,000-byte image over pseudo-terminals to
// simulated switchers in this process, timed from the start of the program to its exit. One
// device against the protocol's floor, then four at once against that one device, in the same
// run. The switchers answer at once after the last block (no reboot), so the floor of the whole
// run is that of the upload: the 50 ms pause before the 0x80 request and before every block.
// Five rounds, for the median: on a virtual machine the host now and then holds a virtual
// processor back for a millisecond or more, and a round that meets many such stalls, in the
// program or in the simulated switchers, is slower by a per cent or more. Such stalls only ever
// add time, so the best round ("min") is the closest to what the program itself costs.
#include "bench/FirmwareFrames.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SimDevice.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace corvane {
namespace {

using Steady = std::chrono::steady_clock;
constexpr int kImageBytes = 100000;

struct Upload {
    double wallMs = 0;  // program start to exit
    int exitCode = -1;
    int intact = 0;           // devices whose flash holds the whole image
    std::vector<int> blocks;  // announcements each device took
};

Upload FlashAtOnce(int devices, const test::TempFile& file,
                   const std::vector<std::uint8_t>& image) {
    std::vector<std::unique_ptr<test::PtyDevice>> rig;
    std::vector<std::string> args = {CORVANE_CLI_PROGRAM, "--quiet"};
    for (int i = 0; i < devices; ++i) {
        rig.push_back(std::make_unique<test::PtyDevice>(sim::DeviceSettings{.rebootMs = 0}));
        args.insert(args.end(), {"--port", rig.back()->Path()});
    }
    args.insert(args.end(), {"firmware", file.Path()});
    Upload upload;
    const auto started = Steady::now();
    upload.exitCode = test::RunProgram(args).status;
    upload.wallMs = std::chrono::duration<double, std::milli>(Steady::now() - started).count();
    for (const auto& device : rig) {
        int blocks = 0;
        for (const Frame& f : device->Commands())
            blocks += bench::IsAnnouncement(f) ? 1 : 0;
        upload.blocks.push_back(blocks);
        upload.intact += device->Holds(image) ? 1 : 0;
    }
    return upload;
}

void CliFirmware(benchmark::State& state) {
    const std::vector<std::uint8_t> image = test::FirmwareFileOf(kImageBytes);
    const test::TempFile file(image);
    for (auto _ : state) {
        const Upload one = FlashAtOnce(1, file, image);
        const Upload four = FlashAtOnce(4, file, image);
        if (one.exitCode != 0 || four.exitCode != 0 || one.intact != 1 || four.intact != 4) {
            state.SkipWithError("an upload failed");
            return;
        }
        const double floor = 50.0 + 50.0 * one.blocks[0];
        state.SetIterationTime(one.wallMs / 1000.0);
        state.counters["blocks"] = one.blocks[0];
        state.counters["one_ms"] = one.wallMs;
        state.counters["floor_ms"] = floor;
        state.counters["one_vs_floor"] = one.wallMs / floor;
        state.counters["four_ms"] = four.wallMs;
        state.counters["four_vs_one"] = four.wallMs / one.wallMs;
        std::printf(
            "\ncorvane-cli firmware, %d bytes over pseudo-terminals, program start to exit\n"
            "  one device    %.1f ms, %d blocks, floor 50 + 50 x %d = %.0f ms, ratio %.4f\n"
            "  four at once  %.1f ms (blocks %d %d %d %d), ratio to one device %.4f\n\n",
            kImageBytes, one.wallMs, one.blocks[0], one.blocks[0], floor, one.wallMs / floor,
            four.wallMs, four.blocks[0], four.blocks[1], four.blocks[2], four.blocks[3],
            four.wallMs / one.wallMs);
        std::fflush(stdout);
    }
}
BENCHMARK(CliFirmware)
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("min",
                        [](const std::vector<double>& v) {
                            return *std::min_element(v.begin(), v.end());
                        })
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
