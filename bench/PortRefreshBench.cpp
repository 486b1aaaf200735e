// One port-list refresh on the user-interface thread, as timer 1 runs it every 600 ms: the main
// window's RefreshPortList over the system's port source, with a pseudo-terminal in the list.
// Reported per tick: median and worst. Arguments: whether the set of ports changes on every tick
// (a second pseudo-terminal comes and goes), and how many extra processes the /proc walk meets.
#include "app/CCorvaneDlg.h"
#include "app/Program.h"
#include "framework/Clock.h"
#include "link/PortHolders.h"
#include "link/SystemPorts.h"
#include "tests/support/Pty.h"

#include <benchmark/benchmark.h>

#include <QSerialPortInfo>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace corvane {
namespace {

using Steady = std::chrono::steady_clock;

// Idle processes of their own (not forks of this one, whose pages they would share), so that the
// walk over /proc meets as many as on a desktop.
class ProcessCrowd {
public:
    explicit ProcessCrowd(int count) {
        char program[] = "sleep";
        char endless[] = "infinity";
        char* argv[] = {program, endless, nullptr};
        for (int i = 0; i < count; ++i) {
            pid_t pid = 0;
            if (::posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) == 0)
                children_.push_back(pid);
        }
    }
    ~ProcessCrowd() {
        for (pid_t pid : children_)
            ::kill(pid, SIGTERM);
        for (pid_t pid : children_)
            ::waitpid(pid, nullptr, 0);
    }

private:
    std::vector<pid_t> children_;
};

double Microseconds(Steady::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double ThreadCpuMicroseconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

void SetStatistics(benchmark::State& state, const char* name, std::vector<double> ticks) {
    if (ticks.empty()) return;
    std::sort(ticks.begin(), ticks.end());
    state.counters[std::string(name) + "_median_us"] = ticks[ticks.size() / 2];
    state.counters[std::string(name) + "_worst_us"] = ticks.back();
}

void RefreshTick(benchmark::State& state) {
    const bool changing = state.range(0) != 0;
    ProcessCrowd crowd(static_cast<int>(state.range(1)));
    QtClock clock;
    Program program(clock);
    test::PtyPair pty;
    SystemPortSource source;
    source.AddDevice(QString::fromStdString(pty.SlavePath()));
    std::optional<test::PtyPair> coming;
    CCorvaneDlg main(program, &source);

    // The first refresh, as the window runs it when it is first shown: it does not wait for the
    // holder walk that the source started when it was made, and lists what that walk has seen.
    const double coldCpu = ThreadCpuMicroseconds();
    const auto coldStart = Steady::now();
    main.RefreshPortList();
    state.counters["first_us"] = Microseconds(Steady::now() - coldStart);
    state.counters["first_cpu_us"] = ThreadCpuMicroseconds() - coldCpu;
    source.WaitForPass(5000);

    // Wall time, and the thread's own processor time (the rest is waiting or being preempted).
    std::vector<double> ticks;
    std::vector<double> cpu;
    int tick = 0;
    for (auto _ : state) {
        if (changing) {
            // A device that is there on every other tick.
            if (tick % 2 == 0) {
                coming.emplace();
                source.AddDevice(QString::fromStdString(coming->SlavePath()));
            } else {
                coming.reset();
            }
        }
        const double cpuStart = ThreadCpuMicroseconds();
        const auto start = Steady::now();
        main.RefreshPortList();
        const auto took = Steady::now() - start;
        cpu.push_back(ThreadCpuMicroseconds() - cpuStart);
        state.SetIterationTime(std::chrono::duration<double>(took).count());
        ticks.push_back(Microseconds(took));
        ++tick;
        // Time for the holder walk and the descriptions, which come between ticks.
        source.WaitForPass(5000);
        main.WaitForTrapSearch(5000);
    }
    SetStatistics(state, "wall", std::move(ticks));
    SetStatistics(state, "cpu", std::move(cpu));
}

BENCHMARK(RefreshTick)
    ->ArgNames({"changing", "processes"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 400})
    ->Args({1, 400})
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// The parts of a tick alone, worst case included: the walk of the tty class, and /proc/locks.
void TickParts(benchmark::State& state) {
    ProcessCrowd crowd(static_cast<int>(state.range(1)));
    std::vector<double> ticks;
    for (auto _ : state) {
        const auto start = Steady::now();
        if (state.range(0) == 0)
            benchmark::DoNotOptimize(SystemPortSource::WalkTtyClass({}));
        else
            benchmark::DoNotOptimize(holders::ReadSmallFile("/proc/locks"));
        ticks.push_back(Microseconds(Steady::now() - start));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    SetStatistics(state, "wall", std::move(ticks));
}
BENCHMARK(TickParts)
    ->ArgNames({"part", "processes"})
    ->Args({0, 0})
    ->Args({0, 400})
    ->Args({1, 0})
    ->Args({1, 400})
    ->Iterations(300)
    ->Unit(benchmark::kMicrosecond);

// What the background pass costs, off the user-interface thread.
void HolderWalk(benchmark::State& state) {
    ProcessCrowd crowd(static_cast<int>(state.range(0)));
    const std::set<std::string> paths = {"/dev/ttyS0"};
    for (auto _ : state)
        benchmark::DoNotOptimize(holders::FindOpenByProcesses(paths, ::getpid()));
}
BENCHMARK(HolderWalk)->ArgNames({"processes"})->Arg(0)->Arg(400)->Unit(benchmark::kMicrosecond);

void SerialPortInfoCall(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(QSerialPortInfo::availablePorts());
}
BENCHMARK(SerialPortInfoCall)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane
