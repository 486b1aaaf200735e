// corvane-cli as a program, against simulated switchers on pseudo-terminals: the frames each
// command sends, its exit code, and several devices at once.
#include "tests/support/RunProgram.h"
#include "tests/support/SimDevice.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace corvane {
namespace {

using Steady = std::chrono::steady_clock;

using test::PtyDevice;

using CliRun = test::ProgramRun;

CliRun RunCli(std::vector<std::string> args, const std::function<void(pid_t)>& onStart = {}) {
    args.insert(args.begin(), CORVANE_CLI_PROGRAM);
    return test::RunProgram(std::move(args), onStart);
}

std::string Hex(const Frame& f) {
    std::string s;
    char b[4];
    for (int i = 2; i <= 6; ++i) {
        std::snprintf(b, sizeof b, i == 2 ? "%02X" : " %02X", f[i]);
        s += b;
    }
    return s;
}

TEST(Cli, SwitchSendsThePageFrameAndASilentDeviceTimesOut) {
    test::Watchdog watchdog{60};
    PtyDevice device;
    const CliRun run = RunCli({"--port", device.Path(), "--json", "switch", "vga1"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<Frame> commands = device.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(Hex(commands[0]), "02 03 06 00 01");
    // The page's chain after a VGA input: its format is read back.
    EXPECT_EQ(Hex(commands.back()), "90 01 00 00 06");
    EXPECT_NE(run.out.find("\"result\":\"confirmed\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"input\":\"vga1\""), std::string::npos) << run.out;

    PtyDevice silent;
    silent.Silence();
    const auto started = Steady::now();
    const CliRun late = RunCli({"--port", silent.Path(), "resolution", "720p"});
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.err.find("Time out!"), std::string::npos) << late.err;
    EXPECT_GE(Steady::now() - started, std::chrono::milliseconds(7000));
}

// Each command, one after the other on one device, sends the frames its page's button sends
// (bytes 2 to 6) and ends confirmed.
TEST(Cli, EachCommandSendsWhatItsPageSends) {
    test::Watchdog watchdog{60};
    PtyDevice device;
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> table = {
        {{"switch", "hdmi3"}, {"02 03 03 00 01"}},
        {{"resolution", "1080p"}, {"0A 06 02 00 01"}},
        {{"audio", "ext"}, {"0A 0C 02 00 01"}},
        {{"auto-adjust"}, {"0A 0E 00 00 01"}},
        {{"scaler"}, {"0A 0F 00 00 01"}},
        {{"switch", "vga2"}, {"02 03 07 00 01"}},
        // The format goes with the input in use, which is read first.
        {{"vga", "rgbhv"}, {"02 01 01 00 00", "0A 01 02 00 07"}},
        {{"beep", "off"}, {"06 01 F0 00 00"}},
        {{"edid", "copy", "qlx-out", "hdmi2"}, {"03 08 F0 00 00", "03 04 02 00 02"}},
    };
    for (const auto& [command, frames] : table) {
        const std::size_t before = device.Commands().size();
        std::vector<std::string> args = {"--port", device.Path()};
        args.insert(args.end(), command.begin(), command.end());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, 0) << command[0] << ": " << run.err;
        // The first frame is the page's; the others follow in order, a status chain between.
        const std::vector<Frame> sent = device.Commands();
        ASSERT_GT(sent.size(), before) << command[0];
        EXPECT_EQ(Hex(sent[before]), frames[0]) << command[0];
        std::size_t found = 0;
        for (std::size_t i = before; i < sent.size() && found < frames.size(); ++i)
            found += Hex(sent[i]) == frames[found] ? 1 : 0;
        EXPECT_EQ(found, frames.size()) << command[0];
    }
    const CliRun info = RunCli({"--port", device.Path(), "info"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("input: vga2"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("beeper: off"), std::string::npos) << info.out;
}

TEST(Cli, RefusedInputExitsTwoWithNothingSent) {
    test::Watchdog watchdog{30};
    PtyDevice device;
    const std::string port = device.Path();
    const test::TempFile tiny({0x01, 0x02});
    const CliRun file = RunCli({"--port", port, "firmware", tiny.Path()});
    EXPECT_EQ(file.status, 2);
    EXPECT_NE(file.err.find("Invalid file(.fw)!"), std::string::npos) << file.err;
    EXPECT_EQ(RunCli({"--port", port, "factory-reset"}).status, 2);
    EXPECT_EQ(RunCli({"--port", port, "switch", "hdmi9"}).status, 2);
    const CliRun host = RunCli({"--host", "10.0.0.256", "switch", "hdmi1"});
    EXPECT_EQ(host.status, 2);
    EXPECT_NE(host.err.find("Invalid IP address!"), std::string::npos) << host.err;
    EXPECT_TRUE(device.Commands().empty());
    EXPECT_EQ(RunCli({"--port", "/nonexistent/tty", "beep", "on"}).status, 3);
}

TEST(Cli, FirmwareToSeveralDevicesAtOnceWithOneSilent) {
    test::Watchdog watchdog{90};
    std::vector<std::unique_ptr<PtyDevice>> devices;
    for (int i = 0; i < 4; ++i)
        devices.push_back(std::make_unique<PtyDevice>(sim::DeviceSettings{.rebootMs = 0}));
    devices[1]->Silence();
    const std::vector<std::uint8_t> image = test::FirmwareFileOf(20000);
    const test::TempFile file(image);
    std::vector<std::string> args;
    for (auto& d : devices) {
        args.push_back("--port");
        args.push_back(d->Path());
    }
    for (const char* a : {"--json", "firmware"})
        args.push_back(a);
    args.push_back(file.Path());
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 1) << run.err;
    for (int i : {0, 2, 3})
        EXPECT_TRUE(devices[std::size_t(i)]->Holds(image)) << i;
    // One object per device, and a progress line per tenth on a stderr that is no terminal.
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 4) << run.out;
    EXPECT_NE(run.out.find("\"result\":\"timeout\""), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(devices[0]->Path() + ": 100%"), std::string::npos) << run.err;
}

TEST(Cli, InterruptMidUpgradeReleasesThePortAndExits130) {
    test::Watchdog watchdog{60};
    PtyDevice device;
    const test::TempFile file(test::FirmwareFileOf(100000));
    const CliRun run =
        RunCli({"--port", device.Path(), "--json", "firmware", file.Path()}, [&](pid_t pid) {
            const auto until = Steady::now() + std::chrono::seconds(30);
            while (Steady::now() < until && device.transport.WithModel([](sim::DeviceModel& m) {
                return m.Firmware().BlocksAccepted();
            }) < 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ::kill(pid, SIGINT);
        });
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.out.find("\"result\":\"interrupted\""), std::string::npos) << run.out;
    // Nothing more arrives, and the port opens again at once.
    const std::size_t sent = device.Commands().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(device.Commands().size(), sent);
    const int fd = ::open(device.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    if (fd >= 0) ::close(fd);
}

}  // namespace
}  // namespace corvane
