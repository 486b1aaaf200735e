// The General page's reply handler: every checksum-valid frame that arrives while the General
// page is in front. The first row that matches acts; other frames are ignored.
#include "app/CCorvaneDlg.h"
#include "resources/resource.h"

namespace corvane {

void CCorvaneDlg::OnGeneralReply(const Frame& frame) {
    const std::uint8_t command = frame[2];
    const std::uint8_t sub = frame[3];
    const bool ok = frame[4] == 0x00;
    // Beeper state, asked for when a link comes up: 0x00 means enabled.
    if (command == 0x01 && sub == 0x0B && ok) {
        CheckItem(IDC_ENABLE_BEEP, frame[6] == 0x00);
        return;
    }
}

}  // namespace corvane
