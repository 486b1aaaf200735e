#include "pages/CFWDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"

namespace corvane {

CFWDlg::CFWDlg(PageHost& host, Clock& clock, QWidget* parent)
    : CDialog(FirmwareTemplate(), clock, parent), host_(host) {
    SetFilterKeys(true);
}

void CFWDlg::OnInitDialog() {}

void CFWDlg::OnTimer(int) {}

void CFWDlg::OnCommand(int, Notify) {}

void CFWDlg::OnFirmwareReply(const Frame&) {}

}  // namespace corvane
