#include "widgets/CStatusDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"
#include "widgets/PopUps.h"

#include <QPainter>

namespace corvane {

CStatusDlg::CStatusDlg(PopUps& popUps, Clock& clock)
    : CDialog(StatusTemplate(), clock), popUps_(popUps) {
    // No close control: the pop-up belongs to the exchange that runs and closes when it ends.
}

void CStatusDlg::OnInitDialog() {
    ShowItem(IDC_BUSY_PICTURE, false);
    SetItemText(IDC_BUSY_TEXT, popUps_.BusyText() + " . . .");
    SetTimer(kDotTimer1, kDotPeriod);
}

void CStatusDlg::OnTimer(int id) {
    const QString& text = popUps_.BusyText();
    switch (id) {
        case kDotTimer1:
            KillTimer(kDotTimer1);
            SetItemText(IDC_BUSY_TEXT, text + " .");
            SetTimer(kDotTimer2, kDotPeriod);
            break;
        case kDotTimer2:
            KillTimer(kDotTimer2);
            SetItemText(IDC_BUSY_TEXT, text + " . .");
            SetTimer(kDotTimer3, kDotPeriod);
            break;
        case kDotTimer3:
            KillTimer(kDotTimer3);
            SetItemText(IDC_BUSY_TEXT, text + " . . .");
            SetTimer(kDotTimer1, kDotPeriod);
            break;
        default:
            break;
    }
}

void CStatusDlg::Finish() {
    KillTimer(kDotTimer1);
    KillTimer(kDotTimer2);
    KillTimer(kDotTimer3);
    ShowItem(IDC_BUSY_PICTURE, true);
    SetItemText(IDC_BUSY_TEXT, popUps_.BusyText());
}

void CStatusDlg::paintEvent(QPaintEvent*) {
    QPixmap buffer(size() * devicePixelRatioF());
    buffer.setDevicePixelRatio(devicePixelRatioF());
    buffer.fill(Qt::white);
    {
        QPainter p(&buffer);
        p.setPen(QColor(30, 144, 225, 150));
        p.drawRect(0, 0, width() - 1, height() - 1);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

}  // namespace corvane
