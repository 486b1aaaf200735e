#pragma once
// The firmware upgrade run: loads and checks a .fw image, sends it block by block as the device
// steers, reads the device's type and version from its answers, and asks the device to upgrade
// its scaler from a USB flash drive. Reports to a listener and opens no pop-up.

#include "framework/WindowTimers.h"
#include "link/CommandFrame.h"
#include "session/FirmwareImage.h"
#include "session/SessionHost.h"

#include <QString>

#include <array>
#include <cstdint>
#include <span>

namespace corvane {

class FirmwareController {
public:
    // Where an upgrade run stands: what it has sent and which answer it waits for.
    enum class Stage {
        Idle,
        Start,          // upgrade start sent
        Request80,      // 0x80 request (sent after a short pause)
        Request10,      // 0x10 request
        Block,          // current block announced, its data sent (after a short pause)
        BlockAccepted,  // block sent twice and accepted once: waiting for a second answer
        Reboot,         // reboot probe
    };

    // A failure line turns the whole run log red; the next run's start turns it black again.
    enum class LineKind { Normal, Failure };

    // How an exchange ended. Where WaitsForFinish(end), the ready flag stays taken (and a failed
    // run's last log line unwritten) until FinishEnd(end) is called: the window calls it when
    // the pop-up showing EndMessage(end) closes, a tool at once.
    enum class End {
        Upgraded,                   // the device came back after the last block
        NoImage,                    // an upgrade was asked for before an image was loaded
        TimedOut,                   // a request went unanswered after its resend
        UnexpectedAcknowledgement,  // a block answer nobody was owed: the run stopped
        ScalerAccepted,             // the device took the scaler upgrade request
        ScalerTimedOut,
    };

    enum class LoadResult {
        Loaded,
        Refused,     // no payload, or too long for the image (FileRefused was reported)
        Unreadable,  // could not be opened or read: nothing reported, the image kept
        Busy,        // a run is under way: the image it sends is not replaced
    };

    class Listener {
    public:
        virtual ~Listener() = default;
        // A run begins: the log is emptied and drawn black.
        virtual void RunLogCleared() = 0;
        // line ends in "\r\n".
        virtual void RunLogLine(const QString& line, LineKind kind) = 0;
        // A new image: progress now runs from 0 to length.
        virtual void ImageLoaded(const QString& absolutePath, int length) = 0;
        virtual void FileRefused(const QString& message) = 0;
        virtual void Progress(int position) = 0;
        // "Device: <type> <w>x<h>     Version:<major>.<minor>"
        virtual void DeviceInfo(const QString& text) = 0;
        virtual void Ended(End end) = 0;
    };

    FirmwareController(SessionHost& host, Clock& clock);
    FirmwareController(const FirmwareController&) = delete;
    FirmwareController& operator=(const FirmwareController&) = delete;

    void SetListener(Listener* listener) { listener_ = listener; }

    // Reads a .fw file; a refused or unreadable one leaves the image loaded before.
    LoadResult LoadFile(const QString& path);
    // The same for bytes already read; path is what ImageLoaded reports.
    LoadResult LoadImage(std::span<const std::uint8_t> file, const QString& path);

    // False when the session refused (link down or an exchange outstanding); otherwise the
    // ready flag is taken and comes back with the exchange's end.
    bool StartUpgrade();
    // The device-type query of the page show: through the connection guard, which it frees at
    // once (the answers come while other exchanges may run). Its answers and the version
    // queries they lead to fill the device information. False when the guard refused.
    bool QueryDeviceType();
    bool StartScalerUpgrade();
    // Every checksum-valid frame that arrives while the firmware page is in front.
    void OnFirmwareReply(const Frame& frame);
    // See End.
    void FinishEnd(End end);

    static QString EndMessage(End end);
    static bool WaitsForFinish(End end);

    Stage RunStage() const { return stage_; }
    bool Failed() const { return failed_; }
    bool HasImage() const { return imageLength_ > 0; }
    int ImageLength() const { return imageLength_; }
    const BlockPlan& Plan() const { return plan_; }
    const WindowTimers& Timers() const { return timers_; }

    // Timer ids, one set for this controller. Pauses before a send:
    static constexpr int kBlockDataTimer = 3000;
    static constexpr int kRequest80Timer = 3001;
    // The reboot probe goes out at 3002 .. 3006 and the run gives up at 3007.
    static constexpr int kRebootFirstTimer = 3002;
    static constexpr int kRebootFailTimer = 3007;
    // Each request: resend, then give up.
    static constexpr int kStartRetryTimer = 4000;
    static constexpr int kStartFailTimer = 4001;
    static constexpr int kRequest80RetryTimer = 4002;
    static constexpr int kRequest80FailTimer = 4003;
    static constexpr int kRequest10RetryTimer = 4004;
    static constexpr int kRequest10FailTimer = 4005;
    static constexpr int kBlockRetryTimer = 4006;
    static constexpr int kBlockFailTimer = 4007;
    static constexpr int kBlockResendDataTimer = 4008;
    static constexpr int kScalerRetryTimer = 4009;
    static constexpr int kScalerFailTimer = 4010;

private:
    void OnTimer(int id);
    void OnDeviceInfo(FirmwareReply kind, const Frame& frame);
    void OnBlockAccepted(std::uint8_t steer);
    bool TakeDueAcknowledgement();
    // The block's announcement went out again and its data is still to follow.
    bool ResendDataDue() const;

    void EnterStage(Stage stage);
    // Starts one of the 50 ms pauses the device needs before a request or a block's data.
    void StartPause(int id);
    void StopRunTimers();
    // Composes the frame the current stage sends and posts it.
    void SendStageFrame();
    void SendBlockData();
    void NextBlock(std::uint8_t steer);
    void BeginReboot();
    void Succeed();
    void Fail(End end);
    void FailOutOfTurn();

    void Log(const QString& line, LineKind kind = LineKind::Normal);
    void ReportProgress(int position);
    void ReportEnd(End end);

    SessionHost& host_;
    WindowTimers timers_;
    Listener* listener_ = nullptr;

    std::array<std::uint8_t, kFirmwareImageCapacity> image_{};
    int imageLength_ = 0;
    BlockPlan plan_;

    Stage stage_ = Stage::Idle;
    // Times the current stage's request (for a block: its data) has gone out.
    int sends_ = 0;
    // Data blocks sent in this run that the device has not acknowledged yet. Only an
    // acknowledgement that one of them is due may move the run on.
    int unanswered_ = 0;
    // b10 of the first acknowledgement while a second one may still come.
    std::uint8_t pendingSteer_ = 0;
    bool failed_ = false;
    bool scalerPending_ = false;
    QString deviceInfo_;
};

}  // namespace corvane
