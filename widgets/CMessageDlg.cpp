#include "widgets/CMessageDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"
#include "widgets/CaptionButton.h"
#include "widgets/PopUps.h"

#include <QCheckBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace corvane {
namespace {

const QString kConnectFailed = QStringLiteral("Connect to Matrix failed!");
const QString kOpenFile = QStringLiteral("Please open the file(.fw)!");
const QString kResetQuestion = QStringLiteral("Do you want to reset to factory settings?");

// The message is drawn with the drawing context's stock font, a bold sans of the system.
QFont PopUpTextFont() {
    QFont font = DialogFont();
    font.setPixelSize(13);
    font.setBold(true);
    return font;
}

}  // namespace

CMessageDlg::CMessageDlg(PopUps& popUps, Clock& clock)
    : CDialog(MessageTemplate(), clock), popUps_(popUps) {
    SetFilterKeys(true);
}

QRect CMessageDlg::TextRect(const QString& text) {
    // Rectangles are given as (left, top)-(right, bottom).
    if (text == kConnectFailed) return QRect(QPoint(100, 60), QPoint(255, 100) - QPoint(1, 1));
    if (text == kOpenFile) return QRect(QPoint(100, 60), QPoint(260, 100) - QPoint(1, 1));
    if (text == kResetQuestion) return QRect(QPoint(50, 60), QPoint(320, 100) - QPoint(1, 1));
    return QRect(QPoint(100, 60), QPoint(220, 100) - QPoint(1, 1));
}

bool CMessageDlg::MovesPicture(const QString& text) {
    return text == kResetQuestion;
}

QRect CMessageDlg::DetailRect(int width) {
    return QRect(QPoint(8, 94), QPoint(width - 9, 119));
}

QFont CMessageDlg::DetailFont(const QString& detail, const QRect& rect) {
    QFont font = DialogFont();
    font.setBold(false);
    for (int px : {11, 10}) {
        font.setPixelSize(px);
        const QRect needed = QFontMetrics(font).boundingRect(
            QRect(0, 0, rect.width(), 1000), Qt::AlignHCenter | Qt::TextWordWrap, detail);
        if (needed.height() <= rect.height()) break;
    }
    return font;
}

void CMessageDlg::OnInitDialog() {
    SetUpCaptionButton(*this, IDC_MSG_CLOSE, IDI_CLOSE_HOVER, IDI_CLOSE, QStringLiteral("Close"));
    if (popUps_.ConfirmationMode()) {
        QWidget* cancel = Item(IDC_MSG_CANCEL);
        QWidget* ok = Item(IDC_MSG_OK);
        const QPoint cancelAt = cancel->pos();
        cancel->move(ok->pos());
        ok->move(cancelAt);
        cancel->show();
        Item(IDC_MSG_NO_REMIND)->show();
    }
    SetCloseControl(popUps_.ConfirmationMode() ? IDC_MSG_CANCEL : IDC_MSG_OK);
}

void CMessageDlg::OnCommand(int id, Notify code) {
    if (code != Notify::Clicked) return;
    switch (id) {
        case IDC_MSG_OK:
            popUps_.MessageEnded(kResultOk);
            break;
        case IDC_MSG_CANCEL:
        case IDC_MSG_CLOSE:
            popUps_.MessageEnded(kResultCancel);
            break;
        case IDC_MSG_NO_REMIND:
            popUps_.SetNoLongerRemind(IsItemChecked(IDC_MSG_NO_REMIND));
            break;
        default:
            break;
    }
}

void CMessageDlg::paintEvent(QPaintEvent*) {
    const int w = width();
    const int h = height();
    Item(IDC_MSG_CLOSE)->setGeometry(w - 26, 1, 25, 25);

    const QString& text = popUps_.MessageText();
    QWidget* picture = Item(IDC_MSG_PICTURE);
    if (MovesPicture(text)) picture->move(9, 60);

    QPixmap buffer(size() * devicePixelRatioF());
    buffer.setDevicePixelRatio(devicePixelRatioF());
    buffer.fill(Qt::white);
    {
        QPainter p(&buffer);
        p.setPen(QColor(128, 128, 128, 150));
        p.drawRect(0, 0, w - 1, h - 1);
        p.fillRect(1, 1, w - 2, 25, QColor(30, 144, 225));
        QColor face = palette().color(QPalette::Button);
        face.setRed((face.red() + 5) % 256);
        face.setGreen((face.green() + 10) % 256);
        p.fillRect(1, 120, w - 2, h - 121, face);
        p.setPen(QColor(30, 120, 255));
        p.drawLine(0, 0, w - 2, 0);
        p.drawLine(0, 0, 0, 25);
        p.drawLine(w - 1, 0, w - 1, 25);
        p.setPen(Qt::black);
        p.setFont(PopUpTextFont());
        const QRect r = TextRect(text);
        p.setClipRect(r);
        p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text);

        // The detail line leaves the text above exactly as it is without one.
        if (const QString& detail = popUps_.MessageDetail(); !detail.isEmpty()) {
            const QRect d = DetailRect(w);
            p.setClipRect(d);
            p.setFont(DetailFont(detail, d));
            p.setPen(QColor(70, 70, 70));
            p.drawText(d, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, detail);
        }
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void CMessageDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) StartWindowDrag(event->globalPosition().toPoint());
    CDialog::mousePressEvent(event);
}

}  // namespace corvane
