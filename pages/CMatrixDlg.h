#pragma once
// Switch page: input, output resolution, audio source and VGA format, mirrored from the device's
// answers.

#include "framework/Dialog.h"
#include "link/CommandFrame.h"
#include "pages/PageHost.h"

#include <cstdint>

namespace corvane {

class CMatrixDlg : public CDialog {
    Q_OBJECT
public:
    static constexpr int kTimeoutTimer = 1000;
    static constexpr int kTimeoutPeriod = 7000;

    // What ShowSwitchState sets.
    enum Kind { kInput = 1, kResolution = 2, kAudio = 3, kVgaFormat = 4 };

    CMatrixDlg(PageHost& host, Clock& clock, QWidget* parent);

    // Every checksum-valid frame that arrives while this page is in front.
    void OnSwitchReply(const Frame& frame);

    // Sets the pressed and enabled states of the buttons from a confirmed value.
    void ShowSwitchState(int kind, int value);

    // The input the device last confirmed or reported; 0 until then.
    std::uint8_t CurrentInput() const { return currentInput_; }

    // The main window sent the current-input query of the page show: its report is awaited.
    void AwaitInputReport() {
        awaiting_ = Reply::InputReport;
        late_ = Reply::None;
    }
    // The exchange was given up (time-out): a late answer must not move anything.
    void Abandon() { awaiting_ = Reply::None; }

protected:
    void OnTimer(int id) override;
    void OnCommand(int id, Notify code) override;

private:
    // The one answer the page waits for: the confirmation of a click's command, or a report of
    // a status chain.
    enum class Reply {
        None,
        InputSet,
        ResolutionSet,
        AudioSet,
        AutoAdjustSet,
        ScalerSet,
        VgaFormatSet,
        InputReport,
        AudioReport,
        ResolutionReport,
        VgaFormatReport,
    };
    // The confirmation a command frame is answered with; None for a query.
    static Reply ConfirmationOf(std::uint8_t command, std::uint8_t sub);
    // A reply counts only while its exchange is out and it is the step awaited: a late or
    // repeated answer must not send a query in the middle of another exchange, nor end it.
    bool Awaited(Reply reply) const { return awaiting_ == reply && !host_.IsReady(); }
    // Awaited, or the late confirmation of a command that timed out, which then takes up its
    // exchange again.
    bool Accepted(Reply reply);

    void SendQuery(std::uint8_t command, std::uint8_t sub, std::uint8_t b6, Reply awaited);
    void SendAudioQuery(std::uint8_t input) { SendQuery(0x90, 0x0C, input, Reply::AudioReport); }
    void SendResolutionQuery() { SendQuery(0x90, 0x06, 0x01, Reply::ResolutionReport); }
    void SendVgaFormatQuery(std::uint8_t input) {
        SendQuery(0x90, 0x01, input, Reply::VgaFormatReport);
    }
    // The end of a status chain: stops both time-outs and frees the link.
    void Finish();
    // Stops the page's time-out and frees the link (the end of a click's exchange).
    void EndExchange();

    PageHost& host_;
    std::uint8_t currentInput_ = 0;
    Reply awaiting_ = Reply::None;
    Reply late_ = Reply::None;   // the confirmation of a command that timed out
    bool timeOutHolds_ = false;  // the click's "Time out!" is up and holds the link
};

}  // namespace corvane
