#pragma once
// Switch page: input, output resolution, audio source and VGA format, mirrored from the device's
// answers.

#include "framework/Dialog.h"
#include "link/CommandFrame.h"
#include "pages/PageHost.h"
#include "session/SwitchController.h"

#include <cstdint>

namespace corvane {

class CMatrixDlg : public CDialog, private SwitchListener {
    Q_OBJECT
public:
    static constexpr int kTimeoutTimer = SwitchController::kTimeoutTimer;
    static constexpr int kTimeoutPeriod = SwitchController::kTimeoutPeriod;

    // What ShowSwitchState sets.
    using SwitchListener::kAudio;
    using SwitchListener::Kind;
    using SwitchListener::kInput;
    using SwitchListener::kResolution;
    using SwitchListener::kVgaFormat;

    CMatrixDlg(PageHost& host, Clock& clock, QWidget* parent);

    SwitchController& Controller() { return controller_; }
    const SwitchController& Controller() const { return controller_; }

    // Every checksum-valid frame that arrives while this page is in front.
    void OnSwitchReply(const Frame& frame) { controller_.OnReply(frame); }

    // Sets the pressed and enabled states of the buttons from a confirmed value.
    void ShowSwitchState(int kind, int value);

    // The input the device last confirmed or reported; 0 until then.
    std::uint8_t CurrentInput() const { return controller_.CurrentInput(); }

    // The main window sent the current-input query of the page show: its report is awaited.
    void AwaitInputReport() { controller_.AwaitInputReport(); }
    // The exchange was given up (time-out): a late answer must not move anything.
    void Abandon() { controller_.Abandon(); }

protected:
    void OnCommand(int id, Notify code) override;

private:
    void OnSwitchState(int kind, int value) override { ShowSwitchState(kind, value); }
    void OnSwitchEnd(End end) override;

    PageHost& host_;
    SwitchController controller_;
};

}  // namespace corvane
