#pragma once
// Firmware upgrade page: sends a .fw image block by block, shows the device's type and version,
// and asks the device to upgrade its scaler from a USB flash drive.

#include "framework/Dialog.h"
#include "link/CommandFrame.h"
#include "pages/FirmwareImage.h"
#include "pages/PageHost.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace corvane {

class CFWDlg : public CDialog {
    Q_OBJECT
public:
    // Asks the operator for a .fw file; an empty result means cancelled. Tests replace it.
    using FileChooser = std::function<QString(QWidget* parent)>;

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

    CFWDlg(PageHost& host, Clock& clock, QWidget* parent);

    void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

    // Every checksum-valid frame that arrives while this page is in front.
    void OnFirmwareReply(const Frame& frame);

    Stage RunStage() const { return stage_; }
    bool Failed() const { return failed_; }
    int ImageLength() const { return imageLength_; }
    const BlockPlan& Plan() const { return plan_; }

    static QString ChooseFileWithDialog(QWidget* parent);

protected:
    void OnInitDialog() override;
    void OnTimer(int id) override;
    void OnCommand(int id, Notify code) override;

private:
    void OnOpen();
    void OnUpgrade();
    void OnUpgradeScaler();

    void OnDeviceInfo(FirmwareReply kind, const Frame& frame);
    void OnBlockAccepted(std::uint8_t steer);
    bool TakeDueAcknowledgement();
    // The block's announcement went out again and its data is still to follow.
    bool ResendDataDue() const;

    void EnterStage(Stage stage);
    void StopRunTimers();
    // Composes the frame the current stage sends and posts it.
    void SendStageFrame();
    void SendBlockData();
    void NextBlock(std::uint8_t steer);
    void BeginReboot();
    void Succeed();
    void Fail();
    void FailOutOfTurn();

    void AppendMessage(const QString& line);
    void ClearMessages();
    void ApplyMessageColour();
    void ShowProgress(int position);

    PageHost& host_;
    FileChooser chooseFile_;

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
