// The receive path without the port: bytes through the frame assembler alone, and one reply
// frame through the main window's router into the Switch page's reply handler.
#include "link/FrameAssembler.h"
#include "link/FrameRouter.h"
#include "pages/CMatrixDlg.h"
#include "resources/resource.h"
#include "tests/support/Harness.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace corvane {
namespace {

// Frames with some noise between them, as a line with a little interference would carry.
std::vector<std::uint8_t> ReceivedStream(std::size_t size) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> stream;
    stream.reserve(size + 64);
    const Frame frame = test::FrameFromBody("0A 06 00 00 01 00 00 00 00 00");
    while (stream.size() < size) {
        stream.insert(stream.end(), frame.begin(), frame.end());
        for (int noise = static_cast<int>(random() % 4); noise > 0; --noise)
            stream.push_back(static_cast<std::uint8_t>(random()));
    }
    stream.resize(size);
    return stream;
}

void AssemblerThroughput(benchmark::State& state) {
    const std::vector<std::uint8_t> stream = ReceivedStream(1 << 20);
    std::size_t frames = 0;
    FrameAssembler assembler([&](const Frame&) { ++frames; });
    for (auto _ : state) {
        for (std::uint8_t b : stream)
            assembler.OnRxByte(b);
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(AssemblerThroughput)->Unit(benchmark::kMillisecond);

// A click on "1080P" and its confirmation: the frame out through the send request and the send
// log, the reply's bytes in through the assembler, the receive log and the router, into the
// page's handler, which ends the exchange and sets the resolution buttons.
void DispatchToSwitchPage(benchmark::State& state) {
    test::Harness h;
    h.main.OnTabClicked(kPageSwitch);
    h.clock.RunPending();
    h.Advance(7000);  // the page's status query goes unanswered here: let it time out
    h.CloseMessage();
    const Frame reply = test::FrameFromBody("0A 06 00 00 01 00 00 00 00 00");
    CMatrixDlg* page = h.main.SwitchPage();
    for (auto _ : state) {
        test::Harness::Click(page, IDC_SW_1080P);
        h.clock.RunPending();
        for (std::uint8_t b : reply)
            h.main.OnRxByte(b);
        h.clock.RunPending();
    }
    if (!page->IsItemChecked(IDC_SW_1080P) || h.main.Link().ready != 1)
        state.SkipWithError("reply not handled");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DispatchToSwitchPage)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane
