// Two device sessions side by side in one process, each with its own serial port thread on a
// pseudo-terminal to its own simulated switcher: one upgrades the firmware while the other
// switches inputs. Nothing of one exchange may reach the other device, and both must end free.
#include "session/DeviceSession.h"
#include "session/FirmwareController.h"
#include "session/SwitchController.h"
#include "sim/DeviceModel.h"
#include "sim/PtyTransport.h"
#include "tests/support/Pump.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {
namespace {

// The program's side of one device: a session on the shared clock, served by a simulator.
struct Station {
    explicit Station(Clock& clock, sim::DeviceSettings settings = {})
        : model(settings), transport(model), session(clock) {}
    ~Station() {
        session.EndSerialThread();
        transport.Stop();
    }

    bool Open(unsigned portNumber, std::string* error) {
        if (!transport.Open(error) || !transport.Start(error)) return false;
        const DeviceSession::OpenResult open =
            session.OpenSerial(transport.SlavePath(), portNumber, serialio::LineSettings{});
        if (!open.opened) *error = open.reason;
        return open.opened;
    }
    std::vector<Frame> Commands() {
        return transport.WithModel([](sim::DeviceModel& m) { return m.Commands(); });
    }

    sim::DeviceModel model;
    sim::PtyTransport transport;
    DeviceSession session;
};

// The view of the firmware page: a failed run's pop-up is closed at once.
class FirmwareView final : public FirmwareController::Listener {
public:
    explicit FirmwareView(FirmwareController& controller) : controller_(controller) {}
    void RunLogCleared() override { log.clear(); }
    void RunLogLine(const QString& line, FirmwareController::LineKind) override { log += line; }
    void ImageLoaded(const QString&, int) override {}
    void FileRefused(const QString&) override {}
    void Progress(int) override {}
    void DeviceInfo(const QString&) override {}
    void Ended(FirmwareController::End end) override {
        ends.push_back(end);
        if (FirmwareController::WaitsForFinish(end)) controller_.FinishEnd(end);
    }
    std::vector<FirmwareController::End> ends;
    QString log;

private:
    FirmwareController& controller_;
};

// The view of the switch page: each confirmed switch clicks the next input, 1..8 round and
// round, until told to stop.
class SwitchView final : public SwitchListener {
public:
    SwitchView(SwitchController& controller, Clock& clock)
        : controller_(controller), clock_(clock) {}
    void Next() {
        const int input = clicked.size() % 8 + 1;
        clicked.push_back(input);
        if (!controller_.SelectInput(input)) refused = true;
    }
    void OnSwitchState(int kind, int value) override {
        if (kind == kInput) shown.push_back(value);
    }
    void OnSwitchEnd(End end) override {
        if (end == End::TimeOut) {
            ++timeOuts;
            controller_.TimeOutAcknowledged();
        } else {
            ++confirmed;
        }
        // The click comes after the handler that reported the end has returned.
        if (!stop) clock_.Post([this] { Next(); });
    }
    std::vector<int> clicked;
    std::vector<int> shown;
    int confirmed = 0;
    int timeOuts = 0;
    bool refused = false;
    bool stop = false;

private:
    SwitchController& controller_;
    Clock& clock_;
};

std::vector<std::uint8_t> ImageOf(int n) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 37 + 11 + i / 256);
    return v;
}

TEST(TwoSessions, AnUpgradeAndSwitchingRunSideBySideWithoutCrossingOver) {
    test::Watchdog watchdog{60};
    QtClock clock;
    Station upgrader(clock, {.rebootMs = 0});
    Station switcher(clock);
    std::string error;
    ASSERT_TRUE(upgrader.Open(1, &error)) << error;
    ASSERT_TRUE(switcher.Open(2, &error)) << error;
    int blocksAtSwitcher = 0;
    switcher.transport.WithModel([&](sim::DeviceModel& m) {
        m.SetObserver([&](const sim::Incoming& in) { blocksAtSwitcher += in.isBlock ? 1 : 0; });
        return 0;
    });

    FirmwareController firmware(upgrader.session, clock);
    FirmwareView firmwareView(firmware);
    firmware.SetListener(&firmwareView);
    upgrader.session.Router().SetHandler(kPageFirmware,
                                         [&](const Frame& f) { firmware.OnFirmwareReply(f); });
    upgrader.session.Router().SetCurrentPage(kPageFirmware);

    SwitchController switching(switcher.session, clock);
    SwitchView switchView(switching, clock);
    switching.SetListener(&switchView);
    switcher.session.Router().SetHandler(kPageSwitch,
                                         [&](const Frame& f) { switching.OnReply(f); });
    switcher.session.Router().SetCurrentPage(kPageSwitch);

    // 94 blocks: about 5 s of pauses before the blocks, and 3 s before the reboot probe.
    const std::vector<std::uint8_t> file = ImageOf(24000);
    ASSERT_EQ(firmware.LoadImage(file, QStringLiteral("image.fw")),
              FirmwareController::LoadResult::Loaded);
    ASSERT_TRUE(firmware.StartUpgrade());
    switchView.Next();

    // The switching goes on for the whole run, and at least once round all inputs.
    ASSERT_TRUE(test::PumpUntil(
        [&] { return !firmwareView.ends.empty() && switchView.confirmed >= 8; }, 40000));
    switchView.stop = true;
    ASSERT_TRUE(test::PumpUntil(
        [&] {
            return switchView.confirmed + switchView.timeOuts == int(switchView.clicked.size());
        },
        10000));

    // The upgrade: success reported, and the device holds the image byte for byte.
    ASSERT_EQ(firmwareView.ends, std::vector{FirmwareController::End::Upgraded});
    EXPECT_TRUE(firmwareView.log.endsWith(QStringLiteral("->Firmware upgrade successfully \r\n")));
    const sim::FirmwareCheck check = upgrader.transport.WithModel(
        [&](sim::DeviceModel& m) { return m.Firmware().Compare(file); });
    EXPECT_TRUE(check.complete);
    EXPECT_TRUE(check.Matches()) << check.Describe();
    const std::vector<std::uint8_t> payload = sim::ExpectedPayload(file);
    const std::vector<std::uint8_t> flash =
        upgrader.transport.WithModel([](sim::DeviceModel& m) { return m.Firmware().Image(); });
    ASSERT_GE(flash.size(), payload.size());
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), flash.begin()));

    // The switching: every click confirmed and shown, and the device on the last input.
    EXPECT_GT(switchView.clicked.size(), 8u);
    EXPECT_FALSE(switchView.refused);
    EXPECT_EQ(switchView.timeOuts, 0);
    EXPECT_EQ(switchView.confirmed, int(switchView.clicked.size()));
    EXPECT_EQ(switchView.shown, switchView.clicked);
    // CV (8) leaves the current input as it was: it is the last input below 8 clicked.
    const auto lastBelowCv = std::find_if(switchView.clicked.rbegin(), switchView.clicked.rend(),
                                          [](int input) { return input < 8; });
    ASSERT_NE(lastBelowCv, switchView.clicked.rend());
    EXPECT_EQ(switching.CurrentInput(), *lastBelowCv);
    EXPECT_EQ(switcher.transport.WithModel([](sim::DeviceModel& m) { return m.State().input; }),
              switchView.clicked.back());

    // Each device saw only its own exchange: the upgrader the firmware frames (0x20) and the
    // reboot probe (0x01), the switcher the input commands (0x02) and status queries (0x90).
    for (const Frame& f : upgrader.Commands())
        EXPECT_TRUE(f[2] == 0x20 || f[2] == 0x01) << int(f[2]);
    for (const Frame& f : switcher.Commands())
        EXPECT_TRUE(f[2] == 0x02 || f[2] == 0x90) << int(f[2]);
    EXPECT_EQ(switcher.transport.WithModel([&](sim::DeviceModel&) { return blocksAtSwitcher; }), 0);
    EXPECT_EQ(switcher.transport.WithModel(
                  [](sim::DeviceModel& m) { return m.Firmware().BlocksAccepted(); }),
              0u);

    EXPECT_TRUE(upgrader.session.IsReady());
    EXPECT_TRUE(switcher.session.IsReady());
    // Nothing may reach the controllers once they are gone.
    upgrader.session.EndSerialThread();
    switcher.session.EndSerialThread();
    switcher.transport.WithModel([](sim::DeviceModel& m) {
        m.SetObserver({});
        return 0;
    });
}

}  // namespace
}  // namespace corvane
