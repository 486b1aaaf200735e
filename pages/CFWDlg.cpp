#include "pages/CFWDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"
#include "widgets/PopUps.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTextCursor>

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

constexpr int kRetryPeriod = 3000;
constexpr int kPausePeriod = 50;

// Pauses before a send.
constexpr int kBlockDataTimer = 3000;
constexpr int kRequest80Timer = 3001;
// The reboot probe goes out at 3002 .. 3006 and the run gives up at 3007.
constexpr int kRebootFirstTimer = 3002;
constexpr int kRebootFailTimer = 3007;
// Each request: resend, then give up.
constexpr int kStartRetryTimer = 4000;
constexpr int kStartFailTimer = 4001;
constexpr int kRequest80RetryTimer = 4002;
constexpr int kRequest80FailTimer = 4003;
constexpr int kRequest10RetryTimer = 4004;
constexpr int kRequest10FailTimer = 4005;
constexpr int kBlockRetryTimer = 4006;
constexpr int kBlockFailTimer = 4007;
constexpr int kBlockResendDataTimer = 4008;
constexpr int kScalerRetryTimer = 4009;
constexpr int kScalerFailTimer = 4010;

const QString kTimeOut = QStringLiteral("Time out!");

QString DeviceLabel(std::uint8_t type) {
    switch (type) {
        case 1:
            return QStringLiteral("Corvane");
        case 2:
            return QStringLiteral("Pellaro");
        default:
            return QStringLiteral("Ostrevin");
    }
}

}  // namespace

CFWDlg::CFWDlg(PageHost& host, Clock& clock, QWidget* parent)
    : CDialog(FirmwareTemplate(), clock, parent),
      host_(host),
      chooseFile_(&CFWDlg::ChooseFileWithDialog) {
    SetFilterKeys(true);
}

QString CFWDlg::ChooseFileWithDialog(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("Binary file(*.fw)"));
    dialog.setDefaultSuffix(QStringLiteral("fw"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void CFWDlg::OnInitDialog() {
    if (auto* box = ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES)) {
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
    }
    ApplyMessageColour();
}

void CFWDlg::OnCommand(int id, Notify code) {
    if (code != Notify::Clicked)
        return;
    switch (id) {
        case IDC_FW_OPEN:
            OnOpen();
            break;
        case IDC_FW_UPGRADE:
            OnUpgrade();
            break;
        case IDC_FW_SCALER:
            OnUpgradeScaler();
            break;
        default:
            break;
    }
}

void CFWDlg::OnOpen() {
    if (!host_.IsReady())
        return;
    const QString path = chooseFile_ ? chooseFile_(this) : QString();
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // One byte more than the image holds tells a file that is too long.
    QByteArray data;
    while (data.size() <= kFirmwareImageCapacity) {
        const QByteArray chunk = file.read(kFirmwareImageCapacity + 1 - data.size());
        if (chunk.isEmpty())
            break;
        data += chunk;
    }
    if (file.error() != QFileDevice::NoError)
        return;
    // An empty image or one cut short can leave the device unable to start: never send those.
    if (!IsAcceptableFirmwareLength(data.size())) {
        host_.PopUp().ShowMessage(QStringLiteral("Invalid file(.fw)!"));
        return;
    }
    imageLength_ = static_cast<int>(data.size());
    std::memcpy(image_.data(), data.constData(), static_cast<std::size_t>(imageLength_));
    std::fill(image_.begin() + imageLength_, image_.end(), 0);
    TransformFirmware(image_.data(), imageLength_);
    if (auto* bar = ItemAs<QProgressBar>(IDC_FW_PROGRESS)) {
        bar->setValue(0);
        bar->setRange(0, imageLength_);
        bar->setValue(0);
    }
    SetItemText(IDC_FW_PATH, QFileInfo(path).absoluteFilePath());
}

void CFWDlg::OnUpgrade() {
    if (!host_.CheckLinkReady())
        return;
    if (ItemText(IDC_FW_PATH).isEmpty()) {
        host_.PopUp().ShowMessage(QStringLiteral("Please open the file(.fw)!"),
                                  [this](int) { host_.SetReady(true); });
        return;
    }
    failed_ = false;
    ApplyMessageColour();
    ClearMessages();
    AppendMessage(QStringLiteral("->Upgrading MCU...\r\n"));
    plan_ = BlockPlan(imageLength_);
    unanswered_ = 0;
    EnterStage(Stage::Start);
    SendStageFrame();
    SetTimer(kStartRetryTimer, kRetryPeriod);
}

void CFWDlg::OnUpgradeScaler() {
    if (!host_.CheckLinkReady())
        return;
    host_.Tx().Compose(0x07, 0x07);
    host_.PostSendRequest(kSendFirmwareFrame);
    scalerPending_ = true;
    SetTimer(kScalerRetryTimer, kRetryPeriod);
}

// Each answer counts only in the stage that waits for it, and only once the stage's request
// has gone out: a late or repeated answer to an earlier step is ignored.
void CFWDlg::OnFirmwareReply(const Frame& frame) {
    const FirmwareReply kind = ClassifyFirmwareReply(frame);
    const bool sent = sends_ > 0;
    switch (kind) {
        case FirmwareReply::DeviceType:
        case FirmwareReply::DeviceSize:
        case FirmwareReply::Version:
            // A late answer to the tab's queries must not put a query on the line during a
            // run: between a block's announcement and its data it would be read as part of
            // the block.
            if (stage_ == Stage::Idle)
                OnDeviceInfo(kind, frame);
            break;
        case FirmwareReply::StartAccepted:
            if (stage_ == Stage::Start && sent) {
                EnterStage(Stage::Request80);
                SetTimer(kRequest80Timer, kPausePeriod);
            }
            break;
        case FirmwareReply::Request80Accepted:
            if (stage_ == Stage::Request80 && sent) {
                EnterStage(Stage::Request10);
                SendStageFrame();
                SetTimer(kRequest10RetryTimer, kRetryPeriod);
            }
            break;
        case FirmwareReply::Request10Accepted:
            if (stage_ == Stage::Request10 && sent) {
                plan_.Restart();
                EnterStage(Stage::Block);
                host_.Tx().block.fill(0);
                SendStageFrame();
                FillBlockData(image_.data(), imageLength_, plan_.Position(),
                              host_.Tx().block.data() + 1);
                SetTimer(kBlockDataTimer, kPausePeriod);
            }
            break;
        case FirmwareReply::BlockAccepted:
            OnBlockAccepted(frame[10]);
            break;
        case FirmwareReply::DeviceBack:
            // Outside a run nothing was upgraded, whatever the device says.
            if (stage_ == Stage::Reboot && sent)
                Succeed();
            break;
        case FirmwareReply::ScalerAccepted:
            if (scalerPending_) {
                KillTimer(kScalerRetryTimer);
                KillTimer(kScalerFailTimer);
                scalerPending_ = false;
                host_.SetReady(true);
            }
            break;
        case FirmwareReply::Other:
            break;
    }
}

void CFWDlg::OnDeviceInfo(FirmwareReply kind, const Frame& frame) {
    const QString first = QString::number(frame[4]);
    const QString second = QString::number(frame[6]);
    TransmitBuffers& tx = host_.Tx();
    switch (kind) {
        case FirmwareReply::DeviceType:
            deviceInfo_ += DeviceLabel(frame[4]);
            tx.Compose(0x01, 0x02, {0, 0, 0, 0, 0, 0, 0xCC, 0});
            host_.PostSendRequest(kSendFirmwareFrame);
            break;
        case FirmwareReply::DeviceSize:
            deviceInfo_ = QStringLiteral("Device: ") + deviceInfo_ + QStringLiteral(" ") + first +
                          QStringLiteral("x") + second;
            tx.Compose(0x01, 0x03, {0, 0, 0, 0, 0, 0, 0xCC, 0});
            host_.PostSendRequest(kSendFirmwareFrame);
            break;
        default:
            deviceInfo_ += QStringLiteral("     Version:") + first + QStringLiteral(".") + second;
            SetItemText(IDC_FW_STATUS, deviceInfo_);
            deviceInfo_.clear();
            break;
    }
}

// The acknowledgement carries no block number, so the page keeps count of the data blocks
// that are still owed an answer. An answer that comes when none is owed is one too many: the
// device answered some block twice, or a late answer was taken for a newer block's. Which
// block each earlier answer belonged to, and so where its steering byte applied, is then no
// longer certain, and the run stops rather than report an image that may be wrong.
//
// While answers and blocks pair one to one, an answer arriving after a block's data went out is
// that block's: everything older has had its answer. A block that went out twice is owed two
// answers. The first accepts it; the run waits for the second, or until the resend's answer is
// overdue (timer 4007), before the next block goes out, so that the second is not taken for
// the next block's. If the resend's answer never comes it is written off; should it come after
// all, the count is one short from then on, and the surplus shows at the latest after the last
// block, where the device's last answer arrives with nothing owed, before it answers the
// reboot probe.
//
// Not even a surplus that arrives before the next block's announcement went out is harmless:
// it may be the true answer to the block just accepted, arriving behind a stale one that was
// taken for it.
void CFWDlg::OnBlockAccepted(std::uint8_t steer) {
    if (stage_ != Stage::Block && stage_ != Stage::BlockAccepted && stage_ != Stage::Reboot)
        return;
    if (!TakeDueAcknowledgement())
        return;
    // A late answer to the last block's second send: expected, and nothing left to steer.
    if (stage_ == Stage::Reboot)
        return;
    if (stage_ == Stage::BlockAccepted) {
        // Both answers are the same block's; if they steer differently one of them is not.
        if (steer != pendingSteer_) {
            FailOutOfTurn();
            return;
        }
        if (unanswered_ == 0 && !ResendDataDue())
            NextBlock(pendingSteer_);
        return;
    }
    // Every send answered; or the last block, whose second answer the reboot stage takes.
    if ((unanswered_ == 0 || plan_.IsLast()) && !ResendDataDue()) {
        NextBlock(steer);
        return;
    }
    // The block went out twice, or its announcement did and the data is about to follow: the
    // device must get the whole pair, and will answer it too.
    pendingSteer_ = steer;
    stage_ = Stage::BlockAccepted;
    KillTimer(kBlockRetryTimer);
}

bool CFWDlg::ResendDataDue() const {
    return IsTimerRunning(kBlockResendDataTimer);
}

// Counts an incoming block acknowledgement against the ones owed; false (and the run failed)
// when none was.
bool CFWDlg::TakeDueAcknowledgement() {
    if (unanswered_ == 0) {
        FailOutOfTurn();
        return false;
    }
    --unanswered_;
    return true;
}

void CFWDlg::OnTimer(int id) {
    KillTimer(id);
    switch (id) {
        case kStartRetryTimer:
            SendStageFrame();
            SetTimer(kStartFailTimer, kRetryPeriod);
            break;
        case kRequest80Timer:
            SendStageFrame();
            SetTimer(kRequest80RetryTimer, kRetryPeriod);
            break;
        case kRequest80RetryTimer:
            SendStageFrame();
            SetTimer(kRequest80FailTimer, kRetryPeriod);
            break;
        case kRequest10RetryTimer:
            SendStageFrame();
            SetTimer(kRequest10FailTimer, kRetryPeriod);
            break;
        case kBlockDataTimer:
            SendBlockData();
            ShowProgress(plan_.Position());
            SetTimer(kBlockRetryTimer, kRetryPeriod);
            break;
        case kBlockRetryTimer:
            SendStageFrame();
            SetTimer(kBlockResendDataTimer, kPausePeriod);
            break;
        case kBlockResendDataTimer:
            SendBlockData();
            SetTimer(kBlockFailTimer, kRetryPeriod);
            break;
        case kBlockFailTimer:
            if (stage_ == Stage::BlockAccepted) {
                // The block was accepted; its resend's answer is written off (see above).
                unanswered_ = 0;
                NextBlock(pendingSteer_);
            } else {
                Fail();
            }
            break;
        case kStartFailTimer:
        case kRequest80FailTimer:
        case kRequest10FailTimer:
        case kRebootFailTimer:
            Fail();
            break;
        case kScalerRetryTimer:
            host_.Tx().Compose(0x07, 0x07);
            host_.PostSendRequest(kSendFirmwareFrame);
            SetTimer(kScalerFailTimer, kRetryPeriod);
            break;
        case kScalerFailTimer:
            scalerPending_ = false;
            host_.PopUp().ShowMessage(kTimeOut, [this](int) { host_.SetReady(true); });
            break;
        default:
            if (id >= kRebootFirstTimer && id < kRebootFailTimer) {
                SendStageFrame();
                SetTimer(id + 1, kRetryPeriod);
            }
            break;
    }
}

void CFWDlg::EnterStage(Stage stage) {
    StopRunTimers();
    stage_ = stage;
    sends_ = 0;
}

// No resend of an earlier step may go out once the run has moved on.
void CFWDlg::StopRunTimers() {
    for (int id = kBlockDataTimer; id <= kRebootFailTimer; ++id)
        KillTimer(id);
    for (int id = kStartRetryTimer; id <= kBlockResendDataTimer; ++id)
        KillTimer(id);
}

// Composed afresh for every send and resend, so that a device information query written into
// the shared frame meanwhile cannot go out in place of the run's request.
void CFWDlg::SendStageFrame() {
    TransmitBuffers& tx = host_.Tx();
    switch (stage_) {
        case Stage::Start:
            tx.Compose(0x20, 0x01, {0x01});
            break;
        case Stage::Request80:
            tx.Compose(0x20, 0x01, {0x80, 0, 0, 0, 0, 0, 0xEE, 0});
            break;
        case Stage::Request10:
            tx.Compose(0x20, 0x01, {0x10});
            break;
        case Stage::Block:
        case Stage::BlockAccepted:
            tx.Compose(0x20, 0x01,
                       {plan_.Mark(), 0, 0, 0x01, 0x01, plan_.Region(), plan_.PageNumber(), 0});
            break;
        case Stage::Reboot:
            tx.Compose(0x01, 0x01);
            break;
        case Stage::Idle:
            return;
    }
    host_.PostSendRequest(kSendFirmwareFrame);
    // A block is counted by its data, not by its announcement.
    if (stage_ != Stage::Block && stage_ != Stage::BlockAccepted)
        ++sends_;
}

void CFWDlg::SendBlockData() {
    host_.PostSendRequest(kSendFirmwareBlock);
    ++sends_;
    ++unanswered_;
}

void CFWDlg::NextBlock(std::uint8_t steer) {
    StopRunTimers();
    host_.Tx().ClearFrameBody();
    host_.Tx().block.fill(0);
    if (!plan_.Accept(steer)) {
        BeginReboot();
        return;
    }
    EnterStage(Stage::Block);
    SendStageFrame();
    FillBlockData(image_.data(), imageLength_, plan_.Position(), host_.Tx().block.data() + 1);
    SetTimer(kBlockDataTimer, kPausePeriod);
}

void CFWDlg::BeginReboot() {
    EnterStage(Stage::Reboot);
    ShowProgress(plan_.Position());
    AppendMessage(QStringLiteral("->System rebooting, please wait...\r\n"));
    SendStageFrame();
    SetTimer(kRebootFirstTimer, kRetryPeriod);
}

void CFWDlg::Succeed() {
    EnterStage(Stage::Idle);
    AppendMessage(QStringLiteral("->System reboot ok \r\n"));
    AppendMessage(QStringLiteral("->MCU upgrading complete \r\n"));
    AppendMessage(QStringLiteral("->Firmware upgrade successfully \r\n"));
    plan_.Restart();
    host_.SetReady(true);
}

// An acknowledgement came that no block was owed: the run ends as a failure, with the reason
// in the run log ahead of the red line.
void CFWDlg::FailOutOfTurn() {
    AppendMessage(QStringLiteral("->Unexpected acknowledgement, upgrade stopped\r\n"));
    Fail();
}

// The device is not told; the operator sees the time-out first, then the red line.
void CFWDlg::Fail() {
    EnterStage(Stage::Idle);
    host_.PopUp().ShowMessage(kTimeOut, [this](int) {
        host_.SetReady(true);
        plan_.Restart();
        failed_ = true;
        ApplyMessageColour();
        AppendMessage(QStringLiteral("->MCU upgrade failed\r\n"));
    });
}

void CFWDlg::AppendMessage(const QString& line) {
    auto* box = ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES);
    if (!box)
        return;
    QString text = line;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cursor = box->textCursor();
    cursor.insertText(text);
    box->setTextCursor(cursor);
}

void CFWDlg::ClearMessages() {
    if (auto* box = ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES)) {
        box->clear();
        box->update();
    }
}

void CFWDlg::ApplyMessageColour() {
    if (auto* box = ItemAs<QPlainTextEdit>(IDC_FW_MESSAGES)) {
        QPalette pal = box->palette();
        pal.setColor(QPalette::Text, failed_ ? QColor(255, 0, 0) : QColor(0, 0, 0));
        box->setPalette(pal);
        box->viewport()->update();
    }
}

// The bar stops at its end: after the last block the position may lie past the file.
void CFWDlg::ShowProgress(int position) {
    if (auto* bar = ItemAs<QProgressBar>(IDC_FW_PROGRESS)) {
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    }
}

}  // namespace corvane
