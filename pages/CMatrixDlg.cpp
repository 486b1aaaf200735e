#include "pages/CMatrixDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"

namespace corvane {

CMatrixDlg::CMatrixDlg(PageHost& host, Clock& clock, QWidget* parent)
    : CDialog(MatrixTemplate(), clock, parent), host_(host) {
    SetFilterKeys(true);
}

void CMatrixDlg::OnInitDialog() {}

void CMatrixDlg::OnTimer(int) {}

void CMatrixDlg::OnCommand(int, Notify) {}

void CMatrixDlg::OnSwitchReply(const Frame&) {}

}  // namespace corvane
