#include "pages/CEDIDDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"

namespace corvane {

CEDIDDlg::CEDIDDlg(PageHost& host, Clock& clock, QWidget* parent)
    : CDialog(EdidTemplate(), clock, parent), host_(host) {
    SetFilterKeys(true);
}

void CEDIDDlg::OnInitDialog() {}

void CEDIDDlg::OnTimer(int) {}

void CEDIDDlg::OnCommand(int, Notify) {}

void CEDIDDlg::OnEdidReply(const Frame&) {}

}  // namespace corvane
