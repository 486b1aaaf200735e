#include "app/GeneralSettings.h"

#include "app/CCorvaneDlg.h"
#include "resources/resource.h"
#include "session/GeneralReplies.h"

namespace corvane {

GeneralSettings::GeneralSettings(CCorvaneDlg& main)
    : main_(main), reset_(main, main.clock(), main.Sender()), beeper_(main, main.Sender()) {
    reset_.SetListener(this);
    beeper_.SetListener(this);
}

GeneralSettings::~GeneralSettings() {
    reset_.SetListener(nullptr);
    beeper_.SetListener(nullptr);
}

void GeneralSettings::OnFactoryReset() {
    if (!reset_.Request()) return;
    PopUps& popUps = main_.PopUp();
    if (popUps.NoLongerRemind()) {
        reset_.Start();
        return;
    }
    popUps.Ask(kResetQuestion, [this](int result) {
        if (result != kResultOk) {
            reset_.Decline();
            return;
        }
        reset_.Start();
    });
}

void GeneralSettings::OnResetStarted() {
    main_.PopUp().ShowBusy(QStringLiteral("Setting"));
}

void GeneralSettings::OnResetDone() {
    PopUps& popUps = main_.PopUp();
    popUps.SetBusyText(QStringLiteral("Set successfully!"));
    popUps.FinishBusy();
}

void GeneralSettings::OnResetFinished() {
    main_.PopUp().CloseBusy();
}

void GeneralSettings::OnResetTimedOut() {
    PopUps& popUps = main_.PopUp();
    popUps.CloseBusy();
    popUps.ShowMessage(QStringLiteral("Time out!"), [this](int) { reset_.TimeOutSeen(); });
}

void GeneralSettings::OnEnableBeep() {
    // The box follows the device's answer, not the click.
    const bool enable = main_.IsItemChecked(IDC_ENABLE_BEEP);
    main_.CheckItem(IDC_ENABLE_BEEP, !enable);
    beeper_.Set(enable);
}

void GeneralSettings::OnBeeperState(bool enabled) {
    main_.CheckItem(IDC_ENABLE_BEEP, enabled);
}

void GeneralSettings::OnReply(const Frame& frame) {
    RouteGeneralReply(frame, reset_, beeper_);
}

void CCorvaneDlg::OnGeneralReply(const Frame& frame) {
    settings_->OnReply(frame);
}

}  // namespace corvane
