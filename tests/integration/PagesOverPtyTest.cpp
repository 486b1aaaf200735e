// The pages end to end on a real clock: operator clicks go through the main window and the real
// port thread to the simulated switcher on a pseudo-terminal, and its answers come back the same
// way. The firmware runs take real protocol time (50 ms before every block, 3 s per retry), so
// only the intact run uses a full 100,000-byte image and the fault runs use small ones.
#include "pages/CEDIDDlg.h"
#include "pages/CFWDlg.h"
#include "pages/CMatrixDlg.h"
#include "sim/Faults.h"
#include "tests/support/FakeLink.h"
#include "tests/support/SimOverPty.h"
#include "tests/support/Watchdog.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QProgressBar>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

namespace corvane {
namespace {

using test::SimOverPty;
using test::Watchdog;

const QString kSuccessLog = QStringLiteral(
    "->Upgrading MCU...\n->System rebooting, please wait...\n->System reboot ok \n"
    "->MCU upgrading complete \n->Firmware upgrade successfully \n");

// Region and page number of a block announcement.
using BlockPage = std::pair<std::uint8_t, std::uint8_t>;

// Every block announcement the device received, in order.
std::vector<BlockPage> Announcements(SimOverPty& rig) {
    const auto commands = rig.WithModel([](sim::DeviceModel& m) { return m.Commands(); });
    std::vector<BlockPage> out;
    for (const Frame& f : commands) {
        if (f[2] == 0x20 && f[3] == 0x01 && (f[4] == 0xAA || f[4] == 0x56) && f[7] == 0x01 &&
            f[8] == 0x01)
            out.emplace_back(f[9], f[10]);
    }
    return out;
}

std::vector<std::string> BodiesFrom(SimOverPty& rig, std::size_t from) {
    const auto commands = rig.WithModel([](sim::DeviceModel& m) { return m.Commands(); });
    std::vector<std::string> out;
    for (std::size_t i = from; i < commands.size(); ++i)
        out.push_back(test::Body(commands[i]));
    return out;
}

std::size_t CommandCount(SimOverPty& rig) {
    return rig.WithModel([](sim::DeviceModel& m) { return m.Commands().size(); });
}

class PagesOverPty : public ::testing::Test {
protected:
    void Connect(sim::DeviceSettings settings = {}) {
        rig = std::make_unique<SimOverPty>(settings);
        std::string error;
        ASSERT_TRUE(rig->Connect(&error)) << error;
    }
    // The firmware tab, with the device information exchange it starts, and a loaded file.
    void OpenFirmware(const std::vector<std::uint8_t>& file) {
        ASSERT_TRUE(rig->ShowPage(kPageFirmware));
        page = rig->main->FirmwarePage();
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(test::PumpUntil([&] { return !page->ItemText(IDC_FW_STATUS).isEmpty(); }));
        ASSERT_TRUE(rig->LoadFirmware(file));
    }
    void Upgrade() {
        SimOverPty::Click(page, IDC_FW_UPGRADE);
        ASSERT_FALSE(rig->Ready());
    }
    bool RunEnded(int ms) {
        return test::PumpUntil(
            [&] { return rig->Ready() && page->RunStage() == CFWDlg::Stage::Idle; }, ms);
    }
    sim::FirmwareCheck Check(const std::vector<std::uint8_t>& file) {
        return rig->WithModel([&](sim::DeviceModel& m) { return m.Firmware().Compare(file); });
    }
    QString Messages() const { return page->ItemText(IDC_FW_MESSAGES); }
    QColor MessageColour() const {
        return page->ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES)->palette().color(QPalette::Text);
    }

    // A small image whose block with page number 03 meets the fault once; the run must resend
    // that block and go on with the next, so the device sees page 03 twice and nothing skipped.
    void RunWithFaultOnFourthBlock(sim::FaultAction action, const std::string& rule) {
        Connect({.rebootMs = 0});
        const auto file = test::FirmwareFileOf(2000);  // 8 blocks
        OpenFirmware(file);
        std::string error;
        const auto fault = sim::ParseFaultRule(action, rule, &error);
        ASSERT_TRUE(fault) << error;
        rig->WithModel([&](sim::DeviceModel& m) { m.AddFault(*fault); });

        Upgrade();
        ASSERT_TRUE(RunEnded(20000));
        EXPECT_EQ(Messages(), kSuccessLog);
        EXPECT_FALSE(rig->program.popUps.MessageOpen());
        const std::vector<BlockPage> pages = {{0x40, 0}, {0x40, 1}, {0x40, 2}, {0x40, 3}, {0x40, 3},
                                              {0x40, 4}, {0x40, 5}, {0x40, 6}, {0x40, 7}};
        EXPECT_EQ(Announcements(*rig), pages);
        const sim::FirmwareCheck check = Check(file);
        EXPECT_TRUE(check.Matches() && check.complete) << check.Describe();
        EXPECT_EQ(check.receivedBytes, file.size() - 2);
    }

    Watchdog watchdog{80};
    std::unique_ptr<SimOverPty> rig;
    CFWDlg* page = nullptr;
};

// The full image: the device's rebuilt flash equals the transformed file byte for byte, through
// the bank switch after 256 blocks (F0, then the B0 page and the 4096-byte jump).
TEST_F(PagesOverPty, AFullImageArrivesIntactAndTheDeviceComesBack) {
    Connect();
    const auto file = test::FirmwareFileOf(100000);
    OpenFirmware(file);
    EXPECT_EQ(page->ItemText(IDC_FW_STATUS), "Device: Corvane 8x2     Version:1.2");

    Upgrade();
    ASSERT_TRUE(RunEnded(45000)) << Messages().toStdString();
    EXPECT_EQ(Messages(), kSuccessLog);
    EXPECT_FALSE(page->Failed());

    const sim::FirmwareCheck check = Check(file);
    EXPECT_TRUE(check.Matches() && check.complete) << check.Describe();
    const auto payload = sim::ExpectedPayload(file);
    const auto [image, skipped] = rig->WithModel([](sim::DeviceModel& m) {
        return std::make_pair(m.Firmware().Image(), m.Firmware().Skipped());
    });
    // Payload 65792 .. 69631 lies in the jump; every other byte arrived as the file has it.
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0], (std::pair<std::size_t, std::size_t>{65792, 69632}));
    ASSERT_GE(image.size(), payload.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        if ((i < 65792 || i >= 69632) && image[i] != payload[i]) ++differing;
    }
    EXPECT_EQ(differing, 0u);
    // 256 blocks of bank one, the B0 page, and 119 blocks after the jump, each sent once.
    const auto pages = Announcements(*rig);
    ASSERT_EQ(pages.size(), 376u);
    EXPECT_EQ(pages[255], BlockPage(0x40, 0xFF));
    EXPECT_EQ(pages[256], BlockPage(0xB0, 0x01));
    EXPECT_EQ(pages[257], BlockPage(0x40, 0x00));
    EXPECT_EQ(pages[375], BlockPage(0x40, 118));
    const auto* bar = page->ItemAs<QProgressBar>(IDC_FW_PROGRESS);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(PagesOverPty, ADroppedBlockAcknowledgementIsRetriedAndTheImageArrivesIntact) {
    RunWithFaultOnFourthBlock(sim::FaultAction::Drop, "20,01,AA,00,00,01,01,40,03@1");
}

// The first answer comes about 1.5 s after the resend's, while the page waits for a second
// answer, and 1.5 s before it would stop waiting: far enough from both that a loaded machine's
// late timers cannot move it out of that wait. The block is accepted once and nothing is
// skipped. The exact moments (the late answer inside the pause before the next block) are tested
// on the manual clock.
TEST_F(PagesOverPty, AnAcknowledgementLatePastItsRetrySkipsNoBlock) {
    RunWithFaultOnFourthBlock(sim::FaultAction::Delay, "20,01,AA,00,00,01,01,40,03:4550@1");
}

// A device that writes each block for 150 ms before it answers, and answers the block it
// steered back from region B0 a second time once the next block is in. That stale answer looks
// like the next block's and carries B0: followed, the run would jump 4096 bytes twice and skip
// blocks. The answers are then one too many, and the run fails instead of reporting success.
TEST_F(PagesOverPty, AStaleAcknowledgementEndsTheRunAsAFailureNotAWrongSuccess) {
    Connect({.flashMs = 150, .bankBlocks = 2});
    const auto file = test::FirmwareFileOf(12000);
    OpenFirmware(file);
    std::string error;
    const auto fault =
        sim::ParseFaultRule(sim::FaultAction::LateDuplicate, "20,01,*,00,00,01,01,B0@1", &error);
    ASSERT_TRUE(fault) << error;
    rig->WithModel([&](sim::DeviceModel& m) { m.AddFault(*fault); });

    Upgrade();
    ASSERT_TRUE(test::PumpUntil([&] { return rig->program.popUps.MessageOpen(); }, 30000))
        << Messages().toStdString();
    EXPECT_EQ(rig->program.popUps.MessageText(), "Time out!");
    EXPECT_EQ(rig->WithModel([](sim::DeviceModel& m) { return m.LateDuplicatesSent(); }), 1);
    rig->CloseMessage();
    ASSERT_TRUE(RunEnded(10000));
    EXPECT_FALSE(Messages().contains("successfully")) << Messages().toStdString();
    EXPECT_TRUE(Messages().endsWith(
        "->Unexpected acknowledgement, upgrade stopped\n->MCU upgrade failed\n"))
        << Messages().toStdString();
    EXPECT_EQ(MessageColour(), QColor(255, 0, 0));
    EXPECT_FALSE(Check(file).Matches()) << "the device does not hold the image";
}

TEST_F(PagesOverPty, ASilentDeviceFailsTheRunWithTimeOutAndARedLine) {
    Connect();
    OpenFirmware(test::FirmwareFileOf(600));
    rig->WithModel([](sim::DeviceModel& m) { m.SetSilent(true); });
    const std::size_t before = CommandCount(*rig);

    Upgrade();
    ASSERT_TRUE(test::PumpUntil([&] { return rig->program.popUps.MessageOpen(); }, 10000));
    EXPECT_EQ(rig->program.popUps.MessageText(), "Time out!");
    EXPECT_EQ(BodiesFrom(*rig, before),
              std::vector<std::string>(2, "20 01 01 00 00 00 00 00 00 00"));
    // The failure line follows the pop-up.
    EXPECT_EQ(Messages(), "->Upgrading MCU...\n");
    EXPECT_FALSE(rig->Ready());

    rig->CloseMessage();
    ASSERT_TRUE(test::PumpUntil([&] { return rig->Ready(); }));
    EXPECT_EQ(Messages(), "->Upgrading MCU...\n->MCU upgrade failed\n");
    EXPECT_TRUE(page->Failed());
    EXPECT_EQ(MessageColour(), QColor(255, 0, 0));
}

TEST_F(PagesOverPty, AnInputClickRunsItsStatusChainAndTheDeviceSwitches) {
    Connect();
    ASSERT_TRUE(rig->ShowPage(kPageSwitch));
    CMatrixDlg* sw = rig->main->SwitchPage();
    ASSERT_NE(sw, nullptr);
    EXPECT_EQ(sw->CurrentInput(), 1);

    const std::size_t before = CommandCount(*rig);
    SimOverPty::Click(sw, IDC_SW_HDMI3);
    ASSERT_FALSE(rig->Ready());
    ASSERT_TRUE(test::PumpUntil([&] { return rig->Ready(); }));
    EXPECT_EQ(
        BodiesFrom(*rig, before),
        (std::vector<std::string>{"02 03 03 00 01 00 00 00 00 00", "90 0C 00 00 03 00 00 00 00 00",
                                  "90 06 00 00 01 00 00 00 00 00"}));
    EXPECT_EQ(rig->WithModel([](sim::DeviceModel& m) { return m.State().input; }), 3);
    EXPECT_EQ(sw->CurrentInput(), 3);
    EXPECT_TRUE(sw->IsItemChecked(IDC_SW_HDMI3));
    EXPECT_FALSE(sw->IsItemChecked(IDC_SW_HDMI1));
    EXPECT_TRUE(sw->IsItemChecked(IDC_SW_INT));    // audio of input 3: internal
    EXPECT_TRUE(sw->IsItemChecked(IDC_SW_1080P));  // resolution 2
    EXPECT_FALSE(rig->program.popUps.MessageOpen());
}

TEST_F(PagesOverPty, AnEdidPresetReachesTheDeviceAndTheBusyPopUpCloses) {
    Connect();
    ASSERT_TRUE(rig->ShowPage(kPageEdid));
    CEDIDDlg* edid = rig->main->EdidPage();
    ASSERT_NE(edid, nullptr);
    edid->ItemAs<QComboBox>(IDC_EDID_PRESET)->setCurrentIndex(4);  // 1080p,Dolby/DTS 5.1
    edid->ItemAs<QComboBox>(IDC_EDID_TARGET)->setCurrentIndex(1);  // HDMI 2

    const std::size_t before = CommandCount(*rig);
    SimOverPty::Click(edid, IDC_EDID_SET);
    EXPECT_TRUE(rig->program.popUps.BusyOpen());
    ASSERT_TRUE(test::PumpUntil([&] { return rig->Ready() && !rig->program.popUps.BusyOpen(); }));
    EXPECT_EQ(BodiesFrom(*rig, before),
              (std::vector<std::string>{"03 08 F0 00 00 00 00 00 00 00",
                                        "03 02 05 F0 02 00 00 00 00 00"}));
    const auto setting = rig->WithModel([](sim::DeviceModel& m) { return m.State().edid[2]; });
    EXPECT_EQ(setting, (sim::EdidSetting{sim::EdidSource::Preset, 5}));
    EXPECT_EQ(rig->program.popUps.BusyText(), "Set successfully!");
    EXPECT_FALSE(rig->program.popUps.MessageOpen());
}

}  // namespace
}  // namespace corvane
