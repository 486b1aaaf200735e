#include "app/CConfigIPDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"
#include "session/ConfigPacket.h"
#include "widgets/CaptionButton.h"
#include "widgets/PopUps.h"

#include <QMouseEvent>
#include <QPainter>

namespace corvane {

CConfigIPDlg::CConfigIPDlg(NetworkState& network, PopUps& popUps, Clock& clock)
    : CDialog(ConfigIpTemplate(), clock), network_(network), popUps_(popUps) {
    setWindowTitle(kTitle);
    SetFilterKeys(true);
    SetCloseControl(IDC_CFG_CANCEL);
}

void CConfigIPDlg::OnInitDialog() {
    close_ = SetUpCaptionButton(*this, IDC_CFG_CLOSE, IDI_CLOSE_HOVER, IDI_CLOSE,
                                QStringLiteral("Close"));
    const bool staticIp = network_.addressMode == NetworkState::kStaticIp;
    CheckItem(staticIp ? IDC_CFG_STATIC_IP : IDC_CFG_AUTO_IP, true);
    EnableIpEdits(staticIp);
    for (int i = 0; i < 4; ++i)
        SetItemText(IDC_CFG_IP1 + i, network_.targetIp[i]);
    for (int i = 0; i < 6; ++i)
        SetItemText(IDC_CFG_MAC1 + i, network_.targetMac[i]);
}

void CConfigIPDlg::EnableIpEdits(bool enabled) {
    for (int i = 0; i < 4; ++i)
        EnableItem(IDC_CFG_IP1 + i, enabled);
}

void CConfigIPDlg::OnCommand(int id, Notify code) {
    if (code != Notify::Clicked) return;
    switch (id) {
        case IDC_CFG_AUTO_IP:
            EnableIpEdits(false);
            network_.addressMode = NetworkState::kAutoIp;
            break;
        case IDC_CFG_STATIC_IP:
            EnableIpEdits(true);
            network_.addressMode = NetworkState::kStaticIp;
            break;
        case IDC_CFG_OK:
            OnOk();
            break;
        case IDC_CFG_CANCEL:
        case IDC_CFG_CLOSE:
            EndDialog(kIdCancel);
            break;
        default:
            break;
    }
}

void CConfigIPDlg::OnOk() {
    std::array<QString, 4> ip;
    std::array<QString, 6> mac;
    for (int i = 0; i < 4; ++i)
        ip[i] = ItemText(IDC_CFG_IP1 + i);
    for (int i = 0; i < 6; ++i)
        mac[i] = ItemText(IDC_CFG_MAC1 + i);
    // An address the operator did not type would put the device out of reach, so a value
    // that is no octet or no MAC byte keeps the dialog open with what was typed.
    if (const QString error = AddressInputError(network_.addressMode, ip, mac); !error.isEmpty()) {
        QWidget* owner = popUps_.Owner();
        popUps_.SetOwner(this);
        popUps_.ShowMessage(error);
        popUps_.SetOwner(owner);
        return;
    }
    network_.newIp = ip;
    network_.newMac = mac;
    EndDialog(kIdOk);
}

QPixmap CConfigIPDlg::RenderSurface() const {
    const int w = width();
    const int h = height();
    QPixmap buffer(size() * devicePixelRatioF());
    buffer.setDevicePixelRatio(devicePixelRatioF());
    buffer.fill(Qt::white);
    QPainter p(&buffer);
    p.setPen(QColor(128, 128, 128, 90));
    p.drawRect(0, 0, w - 1, h - 1);
    p.fillRect(1, 1, w - 2, 25, QColor(30, 144, 225));
    p.fillRect(1, 26, w - 2, h - 27, palette().color(QPalette::Button));
    p.setPen(QColor(30, 120, 255));
    p.drawLine(0, 0, w - 2, 0);
    p.drawLine(0, 0, 0, 25);
    p.drawLine(w - 1, 0, w - 1, 25);
    p.setPen(Qt::white);
    p.setFont(font());
    p.drawText(TitleRect(), Qt::AlignCenter | Qt::TextSingleLine, kTitle);
    return buffer;
}

void CConfigIPDlg::paintEvent(QPaintEvent*) {
    const QRect closeAt(width() - 26, 1, 25, 25);
    if (QWidget* close = Item(IDC_CFG_CLOSE); close && close->geometry() != closeAt) {
        close->setGeometry(closeAt);
    }
    QPainter(this).drawPixmap(0, 0, RenderSurface());
}

void CConfigIPDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) StartWindowDrag(event->globalPosition().toPoint());
    CDialog::mousePressEvent(event);
}

}  // namespace corvane
