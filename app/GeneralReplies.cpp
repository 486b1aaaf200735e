// The General page's reply handler: every checksum-valid frame that arrives while the General
// page is in front. The first row that matches acts; other frames are ignored.
#include "app/CCorvaneDlg.h"
#include "app/GeneralSettings.h"
#include "resources/resource.h"

namespace corvane {

void CCorvaneDlg::OnGeneralReply(const Frame& frame) {
    const std::uint8_t command = frame[2];
    const std::uint8_t sub = frame[3];
    const bool ok = frame[4] == 0x00;
    // The last factory reset step.
    if (command == 0x12 && sub == 0x01 && ok) {
        settings_->OnResetStepAnswered(6);
        return;
    }
    // Beeper state, asked for when a link comes up: 0x00 means enabled.
    if (command == 0x01 && sub == 0x0B && ok) {
        CheckItem(IDC_ENABLE_BEEP, frame[6] == 0x00);
        return;
    }
    // Answer to Enable Beep: 0xDD means enabled.
    if (command == 0x06 && sub == 0x01 && ok) {
        CheckItem(IDC_ENABLE_BEEP, frame[6] == 0xDD);
        return;
    }
    // The earlier factory reset steps.
    if (command == 0x02 && sub == 0x03 && ok && frame[6] == 0x01) {
        settings_->OnResetStepAnswered(1);
    } else if (command == 0x0A && sub == 0x06 && ok && frame[6] == 0x01) {
        settings_->OnResetStepAnswered(2);
    } else if (command == 0x0A && sub == 0x0C && ok && frame[6] == 0x01) {
        settings_->OnResetStepAnswered(3);
    } else if (command == 0x03 && sub == 0x08 && ok) {
        settings_->OnResetStepAnswered(4);
    } else if (command == 0x03 && sub == 0x02 && ok && frame[6] == 0x03) {
        settings_->OnResetStepAnswered(5);
    }
}

}  // namespace corvane
