// Random operator sessions over every page, with the simulated device behind a faulty line:
// whatever the operator does and however the line misbehaves, the ready flag comes back, the
// tabs answer again, and the device sees only frames that the operator's last accepted action
// can lead to.
#include "pages/CEDIDDlg.h"
#include "pages/CFWDlg.h"
#include "pages/CMatrixDlg.h"
#include "resources/resource.h"
#include "tests/soak/SoakSupport.h"
#include "tests/support/Harness.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>

#include <iostream>
#include <set>
#include <sstream>

namespace corvane::test {
namespace {

using Kind = std::pair<std::uint8_t, std::uint8_t>;  // bytes 2 and 3 of a frame
using Kinds = std::set<Kind>;

// What an input click leads to: the bypass inputs ask for their audio source, the scaler
// inputs for audio and resolution, the VGA inputs for their format, CV for nothing more.
const Kinds kBypassInput{{0x02, 0x03}, {0x90, 0x0C}};
const Kinds kScalerInput{{0x02, 0x03}, {0x90, 0x0C}, {0x90, 0x06}};
const Kinds kVgaInput{{0x02, 0x03}, {0x90, 0x01}};
const Kinds kCvInput{{0x02, 0x03}};
const Kinds kSwitchTab{{0x02, 0x01}, {0x90, 0x0C}, {0x90, 0x06}, {0x90, 0x01}};
const Kinds kFirmwareTab{{0x01, 0x01}, {0x01, 0x02}, {0x01, 0x03}};
// The upgrade run and its reboot probe.
const Kinds kUpgrade{{0x20, 0x01}, {0x01, 0x01}};
const Kinds kFactoryReset{{0x02, 0x03}, {0x0A, 0x06}, {0x0A, 0x0C},
                          {0x03, 0x08}, {0x03, 0x02}, {0x12, 0x01}};

struct SwitchButton {
    int id;
    Kinds kinds;
};
const std::vector<SwitchButton> kSwitchButtons = {
    {IDC_SW_HDMI1, kBypassInput},       {IDC_SW_HDMI2, kBypassInput},
    {IDC_SW_HDMI3, kScalerInput},       {IDC_SW_HDMI4, kScalerInput},
    {IDC_SW_DVI, kScalerInput},         {IDC_SW_VGA1, kVgaInput},
    {IDC_SW_VGA2, kVgaInput},           {IDC_SW_CV, kCvInput},
    {IDC_SW_1920X1200, {{0x0A, 0x06}}}, {IDC_SW_1080P, {{0x0A, 0x06}}},
    {IDC_SW_1360X768, {{0x0A, 0x06}}},  {IDC_SW_720P, {{0x0A, 0x06}}},
    {IDC_SW_1024X768, {{0x0A, 0x06}}},  {IDC_SW_INT, {{0x0A, 0x0C}}},
    {IDC_SW_EXT, {{0x0A, 0x0C}}},       {IDC_SW_AUTO_ADJUST, {{0x0A, 0x0E}}},
    {IDC_SW_SCALER, {{0x0A, 0x0F}}},    {IDC_SW_YPBPR, {{0x0A, 0x01}}},
    {IDC_SW_RGBHV, {{0x0A, 0x01}}},
};

std::string KindText(const Frame& f) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X %02X", f[2], f[3]);
    return text;
}

class OperatorSession {
public:
    OperatorSession(std::uint64_t seed, const QString& firmwarePath)
        : rng_(seed),
          device_(h.clock, rng_, FaultRate(rng_), [this](std::uint8_t b) { h.main.OnRxByte(b); }),
          firmwarePath_(firmwarePath) {
        h.main.Sender().SetSerialLink(&device_);
        device_.model.SetObserver([this](const sim::Incoming& in) {
            if (in.isBlock || in.bytes.size() != kFrameSize) return;
            Frame f;
            std::copy(in.bytes.begin(), in.bytes.end(), f.begin());
            // The device information chain of the FW Upgrade tab takes no ready flag: it may
            // run on under the next action for as long as that page stays in front.
            const bool infoChain =
                h.main.CurrentPage() == kPageFirmware && kFirmwareTab.count({f[2], f[3]});
            if (!allowed_.count({f[2], f[3]}) && !infoChain)
                unsolicited_.push_back(KindText(f) + " after " + lastAction_);
        });
    }

    // One operator step on what the window shows now, then a random pause.
    void Step() {
        if (h.program.popUps.MessageOpen()) {
            // A confirmation is answered either way; a message is acknowledged.
            const bool ok = !h.program.popUps.ConfirmationMode() || Chance(rng_, 0.6);
            if (h.program.popUps.MessageText() == QStringLiteral("Time out!")) ++timeOuts;
            h.CloseMessage(ok ? IDC_MSG_OK : IDC_MSG_CANCEL);
        } else if (!h.program.popUps.BusyOpen()) {
            Act();
        }
        Pause(Chance(rng_, 0.7) ? Uniform(rng_, 0, 200) : Uniform(rng_, 200, 8000));
    }

    // The operator stops and acknowledges what comes up until the program is idle.
    void Finish() {
        for (int i = 0; i < 200; ++i) {
            if (h.program.popUps.MessageOpen()) {
                h.CloseMessage(h.program.popUps.ConfirmationMode() ? IDC_MSG_CANCEL : IDC_MSG_OK);
                continue;
            }
            Pause(1000);
            if (i >= 60 && h.main.Link().ready && !h.program.popUps.BusyOpen()) break;
        }
    }

    Harness h;
    std::vector<std::string> unsolicited_;
    std::vector<std::string> actions;
    int accepted = 0;  // actions that got past the connection guard
    int timeOuts = 0;  // "Time out!" messages acknowledged
    std::size_t Frames() const { return device_.model.Commands().size(); }
    int Faults() const { return device_.counts.Total(); }
    int Resets() const { return device_.model.State().factoryResets; }

private:
    void Pause(int ms) {
        const std::int64_t end = h.clock.Now() + ms;
        while (h.clock.Now() < end) {
            const std::int64_t next = h.clock.NextDeadlineIn();
            if (next < 0 || h.clock.Now() + next > end) {
                h.Advance(end - h.clock.Now());
                break;
            }
            h.clock.AdvanceToNext();
        }
    }

    // A guarded action counts only when the guard will let it through.
    void Take(const std::string& name, const Kinds& kinds, bool guarded = true) {
        actions.push_back(name);
        if (!guarded || h.main.Link().ready) {
            ++accepted;
            allowed_ = kinds;
            lastAction_ = name;
        }
    }

    void Act() {
        const int page = h.main.CurrentPage();
        const int choice = Uniform(rng_, 0, 9);
        if (choice < 3) {  // a tab
            const int tab = Uniform(rng_, 1, 4);
            Take("tab " + std::to_string(tab), tab == kPageSwitch     ? kSwitchTab
                                               : tab == kPageFirmware ? kFirmwareTab
                                                                      : Kinds{});
            h.main.OnTabClicked(tab);
            h.Settle();
            return;
        }
        if (page == kPageSwitch && h.main.SwitchPage()) {
            const auto& b =
                kSwitchButtons[Uniform(rng_, 0, static_cast<int>(kSwitchButtons.size()) - 1)];
            Take("switch " + std::to_string(b.id), b.kinds);
            Harness::Click(h.main.SwitchPage(), b.id);
        } else if (page == kPageEdid && h.main.EdidPage()) {
            CEDIDDlg* edid = h.main.EdidPage();
            for (int id : {IDC_EDID_TARGET, IDC_EDID_SOURCE, IDC_EDID_COPY_TARGET}) {
                if (auto* box = edid->ItemAs<QComboBox>(id); box && box->count() > 0)
                    box->setCurrentIndex(Uniform(rng_, 0, box->count() - 1));
            }
            if (Chance(rng_, 0.5)) {
                Take("edid set", {{0x03, 0x08}, {0x03, 0x02}});
                Harness::Click(edid, IDC_EDID_SET);
            } else {
                Take("edid copy", {{0x03, 0x08}, {0x03, 0x04}});
                Harness::Click(edid, IDC_EDID_COPY);
            }
        } else if (page == kPageFirmware && h.main.FirmwarePage()) {
            CFWDlg* fw = h.main.FirmwarePage();
            const int what = Uniform(rng_, 0, 2);
            if (what == 0) {
                actions.push_back("firmware open");
                fw->SetFileChooser([this](QWidget*) { return firmwarePath_; });
                Harness::Click(fw, IDC_FW_OPEN);
            } else if (what == 1) {
                Take("firmware upgrade", kUpgrade);
                Harness::Click(fw, IDC_FW_UPGRADE);
            } else {
                Take("scaler upgrade", {{0x07, 0x07}});
                Harness::Click(fw, IDC_FW_SCALER);
            }
        } else {  // the General page
            if (Chance(rng_, 0.5)) {
                Take("beeper", {{0x06, 0x01}});
                Harness::Click(&h.main, IDC_ENABLE_BEEP);
            } else {
                Take("factory reset", kFactoryReset);
                Harness::Click(&h.main, IDC_FACTORY_RESET);
            }
        }
        h.Settle();
    }

    Rng rng_;
    FaultyDevice device_;
    QString firmwarePath_;
    Kinds allowed_;
    std::string lastAction_ = "start";
};

TEST(OperatorSoak, RandomSessionsOverEveryPageEndIdleAndSendNothingUnasked) {
    const int runs = SoakRuns(100);
    const std::uint64_t first = SoakSeed();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("small.fw"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray bytes(700, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 31 + 7);
        f.write(bytes);
    }
    long long steps = 0, accepted = 0, frames = 0, faults = 0, timeOuts = 0, resets = 0;
    for (int run = 0; run < runs; ++run) {
        const std::uint64_t seed = first + static_cast<std::uint64_t>(run);
        SCOPED_TRACE(SeedNote(seed));
        OperatorSession s(seed, path);
        Rng lengths(seed ^ 0x5eedULL);
        const int count = Uniform(lengths, 10, 60);
        for (int i = 0; i < count; ++i)
            s.Step();
        s.Finish();
        steps += count;
        accepted += s.accepted;
        frames += static_cast<long long>(s.Frames());
        faults += s.Faults();
        timeOuts += s.timeOuts;
        resets += s.Resets();

        std::ostringstream trail;
        for (const auto& a : s.actions)
            trail << a << "; ";
        EXPECT_TRUE(s.h.main.Link().ready) << "ready flag stuck at 0 after: " << trail.str();
        EXPECT_FALSE(s.h.program.popUps.BusyOpen()) << trail.str();
        EXPECT_TRUE(s.unsolicited_.empty())
            << s.unsolicited_.size() << " unasked frames, first " << s.unsolicited_.front()
            << "; actions: " << trail.str();
        // Every tab answers: the page comes to the front.
        for (int tab : {kPageSwitch, kPageEdid, kPageFirmware, kPageGeneral}) {
            s.h.main.OnTabClicked(tab);
            s.h.Settle();
            EXPECT_EQ(s.h.main.CurrentPage(), tab);
            for (int i = 0; i < 30 && !s.h.main.Link().ready; ++i) {
                s.h.Advance(1000);
                if (s.h.program.popUps.MessageOpen()) s.h.CloseMessage();
            }
        }
        if (::testing::Test::HasFailure()) break;
    }
    std::cout << "[ soak ] " << runs << " operator sessions from seed " << first << ", " << steps
              << " steps, " << accepted << " past the guard; " << frames
              << " frames to the device, " << faults << " faulted replies, " << timeOuts
              << " time-outs, " << resets << " factory resets done\n";
}

}  // namespace
}  // namespace corvane::test
