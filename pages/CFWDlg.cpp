#include "pages/CFWDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"
#include "widgets/PopUps.h"

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextCursor>

#include <algorithm>

namespace corvane {

CFWDlg::CFWDlg(PageHost& host, Clock& clock, QWidget* parent)
    : CDialog(FirmwareTemplate(), clock, parent),
      host_(host),
      chooseFile_(&CFWDlg::ChooseFileWithDialog),
      controller_(host, clock) {
    SetFilterKeys(true);
    controller_.SetListener(this);
}

QString CFWDlg::ChooseFileWithDialog(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("Binary file(*.fw)"));
    dialog.setDefaultSuffix(QStringLiteral("fw"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

void CFWDlg::OnInitDialog() {
    if (auto* box = ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES)) {
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
    }
    ApplyMessageColour(controller_.Failed());
}

void CFWDlg::OnCommand(int id, Notify code) {
    if (code != Notify::Clicked) return;
    switch (id) {
        case IDC_FW_OPEN:
            OnOpen();
            break;
        case IDC_FW_UPGRADE:
            controller_.StartUpgrade();
            break;
        case IDC_FW_SCALER:
            controller_.StartScalerUpgrade();
            break;
        default:
            break;
    }
}

void CFWDlg::OnOpen() {
    if (!host_.IsReady()) return;
    const QString path = chooseFile_ ? chooseFile_(this) : QString();
    if (path.isEmpty()) return;
    controller_.LoadFile(path);
}

void CFWDlg::RunLogCleared() {
    ApplyMessageColour(false);
    if (auto* box = ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES)) {
        box->clear();
        box->update();
    }
}

void CFWDlg::RunLogLine(const QString& line, FirmwareController::LineKind kind) {
    if (kind == FirmwareController::LineKind::Failure) ApplyMessageColour(true);
    auto* box = ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES);
    if (!box) return;
    QString text = line;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cursor = box->textCursor();
    cursor.insertText(text);
    box->setTextCursor(cursor);
}

void CFWDlg::ImageLoaded(const QString& absolutePath, int length) {
    if (auto* bar = ItemAs<QProgressBar>(IDC_FW_PROGRESS)) {
        bar->setValue(0);
        bar->setRange(0, length);
        bar->setValue(0);
    }
    SetItemText(IDC_FW_PATH, absolutePath);
}

void CFWDlg::FileRefused(const QString& message) {
    host_.PopUp().ShowMessage(message);
}

// The bar stops at its end: after the last block the position may lie past the file.
void CFWDlg::Progress(int position) {
    if (auto* bar = ItemAs<QProgressBar>(IDC_FW_PROGRESS)) {
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    }
}

void CFWDlg::DeviceInfo(const QString& text) {
    SetItemText(IDC_FW_STATUS, text);
}

// A failed run shows its pop-up first; the ready flag and the red line follow when it closes.
void CFWDlg::Ended(FirmwareController::End end) {
    if (!FirmwareController::WaitsForFinish(end)) return;
    host_.PopUp().ShowMessage(FirmwareController::EndMessage(end),
                              [this, end](int) { controller_.FinishEnd(end); });
}

void CFWDlg::ApplyMessageColour(bool failed) {
    if (auto* box = ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES)) {
        QPalette pal = box->palette();
        pal.setColor(QPalette::Text, failed ? QColor(255, 0, 0) : QColor(0, 0, 0));
        box->setPalette(pal);
        box->viewport()->update();
    }
}

}  // namespace corvane
