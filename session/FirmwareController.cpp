#include "session/FirmwareController.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

constexpr int kRetryPeriod = 3000;
constexpr int kPausePeriod = 50;

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

FirmwareController::FirmwareController(SessionHost& host, Clock& clock)
    : host_(host), timers_(clock, [this](int id) { OnTimer(id); }) {}

QString FirmwareController::EndMessage(End end) {
    switch (end) {
        case End::NoImage:
            return QStringLiteral("Please open the file(.fw)!");
        case End::TimedOut:
        case End::UnexpectedAcknowledgement:
        case End::ScalerTimedOut:
            // The operator is told of a stopped run as of a time-out; the log says why.
            return QStringLiteral("Time out!");
        case End::Upgraded:
        case End::ScalerAccepted:
            break;
    }
    return {};
}

bool FirmwareController::WaitsForFinish(End end) {
    return !EndMessage(end).isEmpty();
}

FirmwareController::LoadResult FirmwareController::LoadFile(const QString& path) {
    if (stage_ != Stage::Idle) return LoadResult::Busy;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return LoadResult::Unreadable;
    // One byte more than the image holds tells a file that is too long.
    QByteArray data;
    while (data.size() <= kFirmwareImageCapacity) {
        const QByteArray chunk = file.read(kFirmwareImageCapacity + 1 - data.size());
        if (chunk.isEmpty()) break;
        data += chunk;
    }
    if (file.error() != QFileDevice::NoError) return LoadResult::Unreadable;
    return LoadImage(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                               static_cast<std::size_t>(data.size())),
                     QFileInfo(path).absoluteFilePath());
}

FirmwareController::LoadResult FirmwareController::LoadImage(std::span<const std::uint8_t> file,
                                                             const QString& path) {
    if (stage_ != Stage::Idle) return LoadResult::Busy;
    // An empty image or one cut short can leave the device unable to start: never send those.
    if (!IsAcceptableFirmwareLength(static_cast<long long>(file.size()))) {
        if (listener_) listener_->FileRefused(QStringLiteral("Invalid file(.fw)!"));
        return LoadResult::Refused;
    }
    imageLength_ = static_cast<int>(file.size());
    std::memcpy(image_.data(), file.data(), file.size());
    std::fill(image_.begin() + imageLength_, image_.end(), 0);
    TransformFirmware(image_.data(), imageLength_);
    if (listener_) listener_->ImageLoaded(path, imageLength_);
    return LoadResult::Loaded;
}

bool FirmwareController::QueryDeviceType() {
    if (!host_.CheckLinkReady()) return false;
    host_.SetReady(true);
    TransmitBuffers& tx = host_.Tx();
    tx.Compose(0x01, 0x01, {0, 0, 0, 0, 0, 0, 0xCC, 0});
    host_.SendFrame(tx.frame);
    return true;
}

bool FirmwareController::StartUpgrade() {
    if (!host_.CheckLinkReady()) return false;
    if (!HasImage()) {
        ReportEnd(End::NoImage);
        return true;
    }
    failed_ = false;
    if (listener_) listener_->RunLogCleared();
    Log(QStringLiteral("->Upgrading MCU...\r\n"));
    plan_ = BlockPlan(imageLength_);
    unanswered_ = 0;
    EnterStage(Stage::Start);
    SendStageFrame();
    timers_.SetTimer(kStartRetryTimer, kRetryPeriod);
    return true;
}

bool FirmwareController::StartScalerUpgrade() {
    if (!host_.CheckLinkReady()) return false;
    host_.Tx().Compose(0x07, 0x07);
    host_.PostSendRequest(kSendFirmwareFrame);
    scalerPending_ = true;
    timers_.SetTimer(kScalerRetryTimer, kRetryPeriod);
    return true;
}

void FirmwareController::FinishEnd(End end) {
    switch (end) {
        case End::NoImage:
        case End::ScalerTimedOut:
            host_.SetReady(true);
            break;
        case End::TimedOut:
        case End::UnexpectedAcknowledgement:
            host_.SetReady(true);
            plan_.Restart();
            failed_ = true;
            Log(QStringLiteral("->MCU upgrade failed\r\n"), LineKind::Failure);
            break;
        case End::Upgraded:
        case End::ScalerAccepted:
            break;
    }
}

// Each answer counts only in the stage that waits for it, and only once the stage's request
// has gone out: a late or repeated answer to an earlier step is ignored.
void FirmwareController::OnFirmwareReply(const Frame& frame) {
    const FirmwareReply kind = ClassifyFirmwareReply(frame);
    const bool sent = sends_ > 0;
    switch (kind) {
        case FirmwareReply::DeviceType:
        case FirmwareReply::DeviceSize:
        case FirmwareReply::Version:
            // A late answer to the tab's queries must not put a query on the line during a
            // run: between a block's announcement and its data it would be read as part of
            // the block.
            if (stage_ == Stage::Idle) OnDeviceInfo(kind, frame);
            break;
        case FirmwareReply::StartAccepted:
            if (stage_ == Stage::Start && sent) {
                EnterStage(Stage::Request80);
                StartPause(kRequest80Timer);
            }
            break;
        case FirmwareReply::Request80Accepted:
            if (stage_ == Stage::Request80 && sent) {
                EnterStage(Stage::Request10);
                SendStageFrame();
                timers_.SetTimer(kRequest10RetryTimer, kRetryPeriod);
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
                StartPause(kBlockDataTimer);
            }
            break;
        case FirmwareReply::BlockAccepted:
            OnBlockAccepted(frame[10]);
            break;
        case FirmwareReply::DeviceBack:
            // Outside a run nothing was upgraded, whatever the device says.
            if (stage_ == Stage::Reboot && sent) Succeed();
            break;
        case FirmwareReply::ScalerAccepted:
            if (scalerPending_) {
                timers_.KillTimer(kScalerRetryTimer);
                timers_.KillTimer(kScalerFailTimer);
                scalerPending_ = false;
                host_.SetReady(true);
                ReportEnd(End::ScalerAccepted);
            }
            break;
        case FirmwareReply::Other:
            break;
    }
}

void FirmwareController::OnDeviceInfo(FirmwareReply kind, const Frame& frame) {
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
            if (listener_) listener_->DeviceInfo(deviceInfo_);
            deviceInfo_.clear();
            break;
    }
}

// The acknowledgement carries no block number, so the controller keeps count of the data
// blocks that are still owed an answer. An answer that comes when none is owed is one too many:
// the device answered some block twice, or a late answer was taken for a newer block's. Which
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
void FirmwareController::OnBlockAccepted(std::uint8_t steer) {
    if (stage_ != Stage::Block && stage_ != Stage::BlockAccepted && stage_ != Stage::Reboot) return;
    if (!TakeDueAcknowledgement()) return;
    // A late answer to the last block's second send: expected, and nothing left to steer.
    if (stage_ == Stage::Reboot) return;
    if (stage_ == Stage::BlockAccepted) {
        // Both answers are the same block's; if they steer differently one of them is not.
        if (steer != pendingSteer_) {
            FailOutOfTurn();
            return;
        }
        if (unanswered_ == 0 && !ResendDataDue()) NextBlock(pendingSteer_);
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
    timers_.KillTimer(kBlockRetryTimer);
}

bool FirmwareController::ResendDataDue() const {
    return timers_.IsRunning(kBlockResendDataTimer);
}

// Counts an incoming block acknowledgement against the ones owed; false (and the run failed)
// when none was.
bool FirmwareController::TakeDueAcknowledgement() {
    if (unanswered_ == 0) {
        FailOutOfTurn();
        return false;
    }
    --unanswered_;
    return true;
}

void FirmwareController::OnTimer(int id) {
    timers_.KillTimer(id);
    switch (id) {
        case kStartRetryTimer:
            SendStageFrame();
            timers_.SetTimer(kStartFailTimer, kRetryPeriod);
            break;
        case kRequest80Timer:
            SendStageFrame();
            timers_.SetTimer(kRequest80RetryTimer, kRetryPeriod);
            break;
        case kRequest80RetryTimer:
            SendStageFrame();
            timers_.SetTimer(kRequest80FailTimer, kRetryPeriod);
            break;
        case kRequest10RetryTimer:
            SendStageFrame();
            timers_.SetTimer(kRequest10FailTimer, kRetryPeriod);
            break;
        case kBlockDataTimer:
            SendBlockData();
            ReportProgress(plan_.Position());
            timers_.SetTimer(kBlockRetryTimer, kRetryPeriod);
            break;
        case kBlockRetryTimer:
            SendStageFrame();
            StartPause(kBlockResendDataTimer);
            break;
        case kBlockResendDataTimer:
            SendBlockData();
            timers_.SetTimer(kBlockFailTimer, kRetryPeriod);
            break;
        case kBlockFailTimer:
            if (stage_ == Stage::BlockAccepted) {
                // The block was accepted; its resend's answer is written off (see above).
                unanswered_ = 0;
                NextBlock(pendingSteer_);
            } else {
                Fail(End::TimedOut);
            }
            break;
        case kStartFailTimer:
        case kRequest80FailTimer:
        case kRequest10FailTimer:
        case kRebootFailTimer:
            Fail(End::TimedOut);
            break;
        case kScalerRetryTimer:
            host_.Tx().Compose(0x07, 0x07);
            host_.PostSendRequest(kSendFirmwareFrame);
            timers_.SetTimer(kScalerFailTimer, kRetryPeriod);
            break;
        case kScalerFailTimer:
            scalerPending_ = false;
            ReportEnd(End::ScalerTimedOut);
            break;
        default:
            if (id >= kRebootFirstTimer && id < kRebootFailTimer) {
                SendStageFrame();
                timers_.SetTimer(id + 1, kRetryPeriod);
            }
            break;
    }
}

void FirmwareController::EnterStage(Stage stage) {
    StopRunTimers();
    stage_ = stage;
    sends_ = 0;
}

// A pause is the least the device needs, and one comes before every block: an upload of a few
// hundred blocks would be longer by a late wake-up's worth for each of them.
void FirmwareController::StartPause(int id) {
    timers_.SetTimer(id, kPausePeriod, WindowTimers::Timing::Exact);
}

// No resend of an earlier step may go out once the run has moved on.
void FirmwareController::StopRunTimers() {
    for (int id = kBlockDataTimer; id <= kRebootFailTimer; ++id)
        timers_.KillTimer(id);
    for (int id = kStartRetryTimer; id <= kBlockResendDataTimer; ++id)
        timers_.KillTimer(id);
}

// Composed afresh for every send and resend, so that a device information query written into
// the shared frame meanwhile cannot go out in place of the run's request.
void FirmwareController::SendStageFrame() {
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
    if (stage_ != Stage::Block && stage_ != Stage::BlockAccepted) ++sends_;
}

void FirmwareController::SendBlockData() {
    host_.PostSendRequest(kSendFirmwareBlock);
    ++sends_;
    ++unanswered_;
}

void FirmwareController::NextBlock(std::uint8_t steer) {
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
    StartPause(kBlockDataTimer);
}

void FirmwareController::BeginReboot() {
    EnterStage(Stage::Reboot);
    ReportProgress(plan_.Position());
    Log(QStringLiteral("->System rebooting, please wait...\r\n"));
    SendStageFrame();
    timers_.SetTimer(kRebootFirstTimer, kRetryPeriod);
}

void FirmwareController::Succeed() {
    EnterStage(Stage::Idle);
    Log(QStringLiteral("->System reboot ok \r\n"));
    Log(QStringLiteral("->MCU upgrading complete \r\n"));
    Log(QStringLiteral("->Firmware upgrade successfully \r\n"));
    plan_.Restart();
    host_.SetReady(true);
    ReportEnd(End::Upgraded);
}

// An acknowledgement came that no block was owed: the run ends as a failure, with the reason
// in the run log ahead of the red line.
void FirmwareController::FailOutOfTurn() {
    Log(QStringLiteral("->Unexpected acknowledgement, upgrade stopped\r\n"));
    Fail(End::UnexpectedAcknowledgement);
}

// The device is not told. The ready flag and the red line wait for FinishEnd.
void FirmwareController::Fail(End end) {
    EnterStage(Stage::Idle);
    ReportEnd(end);
}

void FirmwareController::Log(const QString& line, LineKind kind) {
    if (listener_) listener_->RunLogLine(line, kind);
}

void FirmwareController::ReportProgress(int position) {
    if (listener_) listener_->Progress(position);
}

void FirmwareController::ReportEnd(End end) {
    if (listener_) listener_->Ended(end);
}

}  // namespace corvane
