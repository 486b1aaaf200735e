// A whole firmware run over a pseudo-terminal, the simulated switcher at the other end: wall time
// against the protocol's own waits, where each block's cycle spends its time beyond the pause,
// and the longest stall of the user-interface thread while the blocks go out. Also two parts of
// that cycle on their own: one transmission into the send log, and how late a 50 ms window timer
// fires.
#include "app/CCorvaneDlg.h"
#include "app/Program.h"
#include "bench/FirmwareFrames.h"
#include "framework/Clock.h"
#include "link/SystemPorts.h"
#include "pages/CFWDlg.h"
#include "tests/support/SimOverPty.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace corvane {
namespace {

using bench::IsAnnouncement;
using bench::IsRebootProbe;

using Steady = std::chrono::steady_clock;

double Ms(Steady::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// One transmission into the main window's send log: a 13-byte frame or a 257-byte data block.
void SendLogEntry(benchmark::State& state) {
    QtClock clock;
    Program program(clock);
    SystemPortSource ports;
    CCorvaneDlg main(program, &ports);
    main.InitDialog();
    main.show();
    QApplication::processEvents();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    // The log empties itself every 60 transmissions: those calls are counted apart.
    double worst = 0, worstEmptying = 0;
    for (auto _ : state) {
        const auto start = Steady::now();
        main.Log().LogTx(bytes.data(), bytes.size());
        main.FlushLogs();  // the box takes the text in itself a little later
        const double took = Ms(Steady::now() - start);
        double& slot = main.Log().Transmissions() == 0 ? worstEmptying : worst;
        slot = std::max(slot, took);
    }
    state.counters["worst_ms"] = worst;
    state.counters["worst_emptying_ms"] = worstEmptying;
    state.SetLabel(bytes.size() > kFrameSize ? "data block" : "frame");
}
BENCHMARK(SendLogEntry)->ArgNames({"bytes"})->Arg(13)->Arg(257)->Unit(benchmark::kMicrosecond);

// The processor time this thread has used.
double ThreadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// How late a 50 ms window timer fires on an otherwise idle event loop: the part of every block's
// cycle that the protocol's pause itself adds.
void WindowTimerLateness(benchmark::State& state) {
    QtClock clock;
    double total = 0, worst = 0;
    int fired = 0;
    for (auto _ : state) {
        bool done = false;
        const auto armed = Steady::now();
        Steady::time_point at;
        clock.Schedule(50, [&] {
            at = Steady::now();
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double late = Ms(at - armed) - 50.0;
        total += late;
        worst = std::max(worst, late);
        ++fired;
    }
    state.counters["mean_late_ms"] = total / std::max(1, fired);
    state.counters["worst_late_ms"] = worst;
}
BENCHMARK(WindowTimerLateness)->Iterations(100)->Unit(benchmark::kMillisecond);

// Watches the user-interface thread with a 1 ms timer: a tick that comes late means the thread
// was busy, or was not given a processor, for that long. The thread's processor time between
// two ticks tells the two apart on a loaded machine.
class StallProbe {
public:
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        longGapsPreempted_ = 0;
        lastPreempted_ = InvoluntarySwitches();
        gaps_.clear();
        busy_.clear();
        at_.clear();
        last_ = started_ = Steady::now();
        lastCpu_ = firstCpu_ = ThreadCpuMs();
        timer_.start(1);
    }
    void Stop() { timer_.stop(); }
    Steady::time_point Started() const { return started_; }
    // Milliseconds from Start to the tick that ended the longest busy stretch.
    double LongestBusyAt() const {
        if (busy_.empty()) return 0;
        return at_[static_cast<std::size_t>(std::max_element(busy_.begin(), busy_.end()) -
                                            busy_.begin())];
    }
    // Processor time of the thread from Start to the last tick.
    double TotalBusy() const { return lastCpu_ - firstCpu_; }
    double LongestBusy() const {
        return busy_.empty() ? 0 : *std::max_element(busy_.begin(), busy_.end());
    }
    double Longest() const {
        return gaps_.empty() ? 0 : *std::max_element(gaps_.begin(), gaps_.end());
    }
    double Quantile(double q) const {
        if (gaps_.empty()) return 0;
        std::vector<double> sorted = gaps_;
        std::sort(sorted.begin(), sorted.end());
        return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1))];
    }
    // Gaps over 5 ms in which the kernel took the processor from the thread at least once.
    int LongGapsPreempted() const { return longGapsPreempted_; }
    int Over(double ms) const {
        return static_cast<int>(
            std::count_if(gaps_.begin(), gaps_.end(), [ms](double g) { return g > ms; }));
    }
    // The ticks that ended more than `ms` of the thread's processor time, as "at: busy of gap"
    // in milliseconds from Start, the first `most` of them.
    std::string BusyTicksOver(double ms, std::size_t most) const {
        std::string text;
        std::size_t listed = 0;
        for (std::size_t i = 0; i < busy_.size() && listed < most; ++i) {
            if (busy_[i] <= ms) continue;
            char item[64];
            std::snprintf(item, sizeof item, "%s%.0f: %.2f of %.2f", listed ? ", " : "", at_[i],
                          busy_[i], gaps_[i]);
            text += item;
            ++listed;
        }
        return text.empty() ? "none" : text;
    }

private:
    void Tick() {
        const auto now = Steady::now();
        const double cpu = ThreadCpuMs();
        const long preempted = InvoluntarySwitches();
        if (Ms(now - last_) > 5.0 && preempted > lastPreempted_) ++longGapsPreempted_;
        lastPreempted_ = preempted;
        gaps_.push_back(Ms(now - last_));
        busy_.push_back(cpu - lastCpu_);
        at_.push_back(Ms(now - started_));
        last_ = now;
        lastCpu_ = cpu;
    }
    static long InvoluntarySwitches() {
        rusage usage{};
        ::getrusage(RUSAGE_THREAD, &usage);
        return usage.ru_nivcsw;
    }
    QTimer timer_;
    long lastPreempted_ = 0;
    int longGapsPreempted_ = 0;
    Steady::time_point last_;
    Steady::time_point started_;
    std::vector<double> at_;  // when each tick came, from Start
    double lastCpu_ = 0;
    double firstCpu_ = 0;
    std::vector<double> gaps_;
    std::vector<double> busy_;
};

std::string LoadAverage() {
    std::FILE* f = std::fopen("/proc/loadavg", "r");
    char text[64] = {};
    if (f) {
        if (!std::fgets(text, sizeof text, f)) text[0] = 0;
        std::fclose(f);
    }
    std::string s = text;
    while (!s.empty() && s.back() == '\n')
        s.pop_back();
    return s;
}

// The 100,000-byte image from the Upgrade press to the device's answer after its reboot. The
// floor of the upload (press to the last block's acknowledgement) is the pause before the 0x80
// request and the pause before every block that went out; the whole run adds 3000 ms for every
// reboot probe after the first (the device ignores probes while it restarts).
// Argument probe: 1 watches the user-interface thread, 0 leaves it alone (the probe's own ticks
// wake the thread every millisecond, which may cost the upload a little).
void FirmwareUpload(benchmark::State& state) {
    const bool watched = state.range(0) != 0;
    for (auto _ : state) {
        test::SimOverPty rig;
        std::string error;
        if (!rig.Connect(&error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        rig.main->show();
        if (!rig.ShowPage(kPageFirmware) || !rig.LoadFirmware(test::FirmwareFileOf(100000))) {
            state.SkipWithError("firmware page");
            return;
        }
        CFWDlg* page = rig.main->FirmwarePage();
        // The operator presses Upgrade some time after the file chooser closed: let the page
        // show the loaded file first, as it would by then.
        test::PumpUntil([] { return false; }, 300);
        const std::size_t commandsBefore =
            rig.WithModel([](sim::DeviceModel& m) { return m.Commands().size(); });

        StallProbe probe;
        if (watched) probe.Start();
        // When each data block left and each block acknowledgement was dispatched, on the
        // user-interface thread; the traffic record still gets everything.
        std::vector<Steady::time_point> blockSent, blockAcked;
        rig.main->Log().SetObserver([&](TrafficKind kind, const std::uint8_t* bytes,
                                        std::size_t length, const std::string&) {
            rig.main->Traffic().Add(kind, bytes, length);
            if (kind == TrafficKind::Sent && length == kBlockSize)
                blockSent.push_back(Steady::now());
            if (kind == TrafficKind::Received && bytes[2] == 0x20 && bytes[7] == 0x01)
                blockAcked.push_back(Steady::now());
        });
        const auto pressed = Steady::now();
        test::SimOverPty::Click(page, IDC_FW_UPGRADE);
        const bool uploaded =
            test::PumpUntil([&] { return page->RunStage() == CFWDlg::Stage::Reboot; }, 60000);
        const auto lastAck = Steady::now();
        probe.Stop();
        const bool ended =
            uploaded &&
            test::PumpUntil([&] { return rig.Ready() && page->RunStage() == CFWDlg::Stage::Idle; },
                            30000);
        const auto done = Steady::now();
        if (!ended || page->Failed()) {
            state.SkipWithError("the run did not succeed");
            return;
        }

        const auto commands = rig.WithModel([](sim::DeviceModel& m) { return m.Commands(); });
        int blocks = 0, probes = 0;
        for (std::size_t i = commandsBefore; i < commands.size(); ++i) {
            blocks += IsAnnouncement(commands[i]) ? 1 : 0;
            probes += IsRebootProbe(commands[i]) ? 1 : 0;
        }
        const bool intact = rig.WithModel([](sim::DeviceModel& m) {
            return m.Firmware().Compare(test::FirmwareFileOf(100000)).Matches();
        });

        const double uploadMs = Ms(lastAck - pressed);
        const double uploadFloor = 50.0 + 50.0 * blocks;
        const double totalMs = Ms(done - pressed);
        const double totalFloor = uploadFloor + 3000.0 * std::max(0, probes - 1);
        state.SetIterationTime(uploadMs / 1000.0);
        state.counters["blocks"] = blocks;
        state.counters["upload_ms"] = uploadMs;
        state.counters["floor_ms"] = uploadFloor;
        state.counters["over_floor_pct"] = 100.0 * (uploadMs - uploadFloor) / uploadFloor;
        state.counters["intact"] = intact ? 1 : 0;
        std::printf(
            "\nfirmware upload, 100000 bytes over a pseudo-terminal (image %s, %s)\n"
            "  blocks sent             %d\n"
            "  upload (press to last acknowledgement)  %.1f ms, floor 50 + 50 x %d = %.0f ms, "
            "%+.2f %%\n"
            "  whole run (to the device's answer after reboot, %d probes)  %.1f ms, floor "
            "%.0f ms, %+.2f %%\n",
            intact ? "intact" : "DIFFERS",
            watched ? "user-interface thread watched" : "not watched", blocks, uploadMs, blocks,
            uploadFloor, 100.0 * (uploadMs - uploadFloor) / uploadFloor, probes, totalMs,
            totalFloor, 100.0 * (totalMs - totalFloor) / totalFloor);
        if (watched) {
            state.counters["longest_ui_gap_ms"] = probe.Longest();
            state.counters["longest_ui_busy_ms"] = probe.LongestBusy();
            std::printf(
                "  user-interface thread during the upload: longest gap between 1 ms ticks %.2f "
                "ms, 99.9th percentile %.2f ms, gaps over 5 ms: %d (%d of them preempted)\n"
                "  longest processor time of the user-interface thread between two ticks %.2f ms "
                "(%.0f ms after the press)\n"
                "  processor time of the user-interface thread during the upload %.0f ms (%.2f "
                "ms a block)\n",
                probe.Longest(), probe.Quantile(0.999), probe.Over(5.0), probe.LongGapsPreempted(),
                probe.LongestBusy(), probe.LongestBusyAt(), probe.TotalBusy(),
                probe.TotalBusy() / std::max(1, blocks));
            std::printf(
                "  ticks with more than 5 ms of processor time (ms after the press: ms of "
                "processor time in a gap of ms): %s\n",
                probe.BusyTicksOver(5.0, 12).c_str());
            // For scripts/bench-stall, which samples the thread with perf on the same clock
            // (steady_clock is CLOCK_MONOTONIC here).
            const auto seconds = [](Steady::time_point t) {
                return std::chrono::duration<double>(t.time_since_epoch()).count();
            };
            std::printf("  sampling window: thread %d from %.6f to %.6f s\n",
                        static_cast<int>(::gettid()), seconds(probe.Started()), seconds(lastAck));
        }
        // Round trip: data block written until its acknowledgement is dispatched. Turn: from
        // there until the next data block is written, less the 50 ms pause.
        double roundTrip = 0, turn = 0;
        int trips = 0, turns = 0;
        for (std::size_t i = 0; i < blockSent.size() && i < blockAcked.size(); ++i) {
            roundTrip += Ms(blockAcked[i] - blockSent[i]);
            ++trips;
            if (i + 1 < blockSent.size()) {
                turn += Ms(blockSent[i + 1] - blockAcked[i]) - 50.0;
                ++turns;
            }
        }
        std::printf(
            "  a block's cycle beyond its pause: round trip (data written to acknowledgement "
            "handled) %.2f ms, turn (acknowledgement to next data, less 50 ms) %.2f ms\n",
            roundTrip / std::max(1, trips), turn / std::max(1, turns));
        std::printf("  (load average when done: %s)\n\n", LoadAverage().c_str());
        std::fflush(stdout);
    }
}
BENCHMARK(FirmwareUpload)
    ->ArgNames({"probe"})
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
