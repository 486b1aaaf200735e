#include "app/GeneralSettings.h"

#include "app/CCorvaneDlg.h"
#include "resources/resource.h"

#include <array>

namespace corvane {
namespace {

struct ResetStep {
    std::uint8_t command;
    std::uint8_t sub;
    std::array<std::uint8_t, 8> args;
};

// Input 3, output resolution 2, audio source 1, EDID preparation, EDID preset 4 on input 3, and
// last the reset command itself.
constexpr std::array<ResetStep, GeneralSettings::kResetSteps> kSteps = {{
    {0x02, 0x03, {0x03, 0x00, 0x01}},
    {0x0A, 0x06, {0x02, 0x00, 0x01}},
    {0x0A, 0x0C, {0x01, 0x00, 0x01}},
    {0x03, 0x08, {0xF0}},
    {0x03, 0x02, {0x04, 0xF0, 0x03}},
    {0x12, 0x01, {0xF0, 0xF0, 0x03}},
}};

constexpr int ResendTimer(int step) {
    return GeneralSettings::kResetFirstTimer + 2 * (step - 1);
}
constexpr int GiveUpTimer(int step) {
    return ResendTimer(step) + 1;
}

}  // namespace

void GeneralSettings::OnFactoryReset() {
    if (!main_.CheckLinkReady()) return;
    PopUps& popUps = main_.PopUp();
    if (popUps.NoLongerRemind()) {
        StartReset();
        return;
    }
    popUps.Ask(kResetQuestion, [this](int result) {
        if (result != kResultOk) {
            main_.SetReady(true);
            return;
        }
        StartReset();
    });
}

void GeneralSettings::StartReset() {
    // Step 1 goes out when timer 2500 fires; the ready flag stays 0 until the sequence ends.
    const ResetStep& first = kSteps[0];
    main_.Tx().Compose(first.command, first.sub, first.args);
    sentStep_ = 0;
    main_.SetTimer(ResendTimer(1), kResetPeriod);
    main_.PopUp().ShowBusy(QStringLiteral("Setting"));
}

void GeneralSettings::SendStep(int step) {
    // Composed afresh: another sender (the beeper query on connect) may have used the transmit
    // frame since the step was first sent.
    const ResetStep& s = kSteps[static_cast<std::size_t>(step - 1)];
    TransmitBuffers& tx = main_.Tx();
    tx.Compose(s.command, s.sub, s.args);
    main_.Sender().Send(tx.frame);
    sentStep_ = step;
}

void GeneralSettings::OnResetStepAnswered(int step) {
    if (step < 1 || step > kResetSteps || step != sentStep_) return;
    main_.KillTimer(ResendTimer(step));
    main_.KillTimer(GiveUpTimer(step));
    if (step < kResetSteps) {
        SendStep(step + 1);
        main_.SetTimer(ResendTimer(step + 1), kResetPeriod);
        return;
    }
    sentStep_ = 0;
    main_.SetReady(true);
    PopUps& popUps = main_.PopUp();
    popUps.SetBusyText(QStringLiteral("Set successfully!"));
    popUps.FinishBusy();
    main_.SetTimer(kResetCloseTimer, kResetClosePeriod);
}

bool GeneralSettings::OnTimer(int id) {
    if (id == kResetCloseTimer) {
        main_.KillTimer(kResetCloseTimer);
        main_.PopUp().CloseBusy();
        return true;
    }
    if (id < kResetFirstTimer || id > kResetLastTimer) return false;
    main_.KillTimer(id);
    const int step = (id - kResetFirstTimer) / 2 + 1;
    if (id == ResendTimer(step)) {
        SendStep(step);
        main_.SetTimer(GiveUpTimer(step), kResetPeriod);
        return true;
    }
    sentStep_ = 0;
    PopUps& popUps = main_.PopUp();
    popUps.CloseBusy();
    popUps.ShowMessage(QStringLiteral("Time out!"), [this](int) { main_.SetReady(true); });
    return true;
}

void GeneralSettings::OnEnableBeep() {
    // The box follows the device's answer, not the click.
    const bool enable = main_.IsItemChecked(IDC_ENABLE_BEEP);
    main_.CheckItem(IDC_ENABLE_BEEP, !enable);
    if (!main_.CheckLinkReady()) return;
    main_.SetReady(true);
    TransmitBuffers& tx = main_.Tx();
    if (enable) {
        tx.Compose(0x06, 0x01, {0x0F, 0x00, 0xDD});
    } else {
        tx.Compose(0x06, 0x01, {0xF0});
    }
    main_.Sender().Send(tx.frame);
}

}  // namespace corvane
