#include "pages/CMatrixDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"
#include "widgets/PopUps.h"

#include <array>
#include <utility>

namespace corvane {
namespace {

// One row per button: the frame a click sends. Byte 6 is 01, or the current input for the two
// VGA format commands.
struct Command {
    int id;
    std::uint8_t command;
    std::uint8_t sub;
    std::uint8_t b4;
    bool carriesInput;
};

constexpr std::array<Command, 19> kCommands = {{
    {IDC_SW_HDMI1, 0x02, 0x03, 0x01, false},     {IDC_SW_HDMI2, 0x02, 0x03, 0x02, false},
    {IDC_SW_HDMI3, 0x02, 0x03, 0x03, false},     {IDC_SW_HDMI4, 0x02, 0x03, 0x04, false},
    {IDC_SW_DVI, 0x02, 0x03, 0x05, false},       {IDC_SW_VGA1, 0x02, 0x03, 0x06, false},
    {IDC_SW_VGA2, 0x02, 0x03, 0x07, false},      {IDC_SW_CV, 0x02, 0x03, 0x08, false},
    {IDC_SW_1920X1200, 0x0A, 0x06, 0x01, false}, {IDC_SW_1080P, 0x0A, 0x06, 0x02, false},
    {IDC_SW_1360X768, 0x0A, 0x06, 0x03, false},  {IDC_SW_720P, 0x0A, 0x06, 0x04, false},
    {IDC_SW_1024X768, 0x0A, 0x06, 0x05, false},  {IDC_SW_INT, 0x0A, 0x0C, 0x01, false},
    {IDC_SW_EXT, 0x0A, 0x0C, 0x02, false},       {IDC_SW_AUTO_ADJUST, 0x0A, 0x0E, 0x00, false},
    {IDC_SW_SCALER, 0x0A, 0x0F, 0x00, false},    {IDC_SW_YPBPR, 0x0A, 0x01, 0x05, true},
    {IDC_SW_RGBHV, 0x0A, 0x01, 0x02, true},
}};

constexpr std::array<int, 8> kInputButtons = {IDC_SW_HDMI1, IDC_SW_HDMI2, IDC_SW_HDMI3,
                                              IDC_SW_HDMI4, IDC_SW_DVI,   IDC_SW_VGA1,
                                              IDC_SW_VGA2,  IDC_SW_CV};
constexpr std::array<int, 5> kResolutionButtons = {IDC_SW_1920X1200, IDC_SW_1080P, IDC_SW_1360X768,
                                                   IDC_SW_720P, IDC_SW_1024X768};

// The device reports VGA formats in its own numbering: 1 RGBHV, 2 YPbPr.
std::uint8_t ReportedVgaFormat(std::uint8_t sent) {
    if (sent == 0x02)
        return 1;
    if (sent == 0x05)
        return 2;
    return sent;
}

}  // namespace

CMatrixDlg::Reply CMatrixDlg::ConfirmationOf(std::uint8_t command, std::uint8_t sub) {
    if (command == 0x02)
        return sub == 0x03 ? Reply::InputSet : Reply::None;
    if (command != 0x0A)
        return Reply::None;
    switch (sub) {
        case 0x06:
            return Reply::ResolutionSet;
        case 0x0C:
            return Reply::AudioSet;
        case 0x0E:
            return Reply::AutoAdjustSet;
        case 0x0F:
            return Reply::ScalerSet;
        case 0x01:
            return Reply::VgaFormatSet;
        default:
            return Reply::None;
    }
}

CMatrixDlg::CMatrixDlg(PageHost& host, Clock& clock, QWidget* parent)
    : CDialog(MatrixTemplate(), clock, parent), host_(host) {
    SetFilterKeys(true);
}

void CMatrixDlg::OnCommand(int id, Notify code) {
    if (code != Notify::Clicked)
        return;
    for (const Command& row : kCommands) {
        if (row.id != id)
            continue;
        // The button shows only what the device confirms, never the click itself.
        CheckItem(id, !IsItemChecked(id));
        if (!host_.CheckLinkReady())
            return;
        const std::uint8_t b6 = row.carriesInput ? currentInput_ : 0x01;
        host_.Tx().Compose(row.command, row.sub, {row.b4, 0x00, b6});
        awaiting_ = ConfirmationOf(row.command, row.sub);
        late_ = Reply::None;
        SetTimer(kTimeoutTimer, kTimeoutPeriod);
        host_.PostSendRequest(kSendSwitchFrame);
        return;
    }
}

void CMatrixDlg::OnTimer(int id) {
    if (id != kTimeoutTimer)
        return;
    KillTimer(kTimeoutTimer);
    // A click's command can still be confirmed late; the answer to a query is given up.
    const Frame& sent = host_.Tx().frame;
    late_ = ConfirmationOf(sent[2], sent[3]) == awaiting_ ? awaiting_ : Reply::None;
    awaiting_ = Reply::None;
    timeOutHolds_ = true;
    host_.PopUp().ShowMessage(QStringLiteral("Time out!"), [this](int) {
        // A late confirmation may have taken the link up again meanwhile.
        if (std::exchange(timeOutHolds_, false))
            host_.SetReady(true);
    });
}

// The device may confirm after the time-out: it has switched, so the page shows it and goes on
// with the chain, as long as the command is still the one in the transmit frame and no other
// exchange holds the link. The time-out is armed again for the queries that follow.
bool CMatrixDlg::Accepted(Reply reply) {
    if (Awaited(reply))
        return true;
    const Frame& sent = host_.Tx().frame;
    if (reply != late_ || ConfirmationOf(sent[2], sent[3]) != reply)
        return false;
    if (!host_.IsReady() && !timeOutHolds_)
        return false;
    late_ = Reply::None;
    timeOutHolds_ = false;
    host_.SetReady(false);
    SetTimer(kTimeoutTimer, kTimeoutPeriod);
    return true;
}

void CMatrixDlg::SendQuery(std::uint8_t command, std::uint8_t sub, std::uint8_t b6,
                           Reply awaited) {
    host_.Tx().Compose(command, sub, {0x00, 0x00, b6});
    awaiting_ = awaited;
    late_ = Reply::None;
    host_.PostSendRequest(kSendSwitchFrame);
}

void CMatrixDlg::EndExchange() {
    KillTimer(kTimeoutTimer);
    awaiting_ = Reply::None;
    host_.SetReady(true);
}

void CMatrixDlg::Finish() {
    KillTimer(kTimeoutTimer);
    awaiting_ = Reply::None;
    host_.PostSendRequest(kStopMainTimeout);
    host_.SetReady(true);
}

void CMatrixDlg::OnSwitchReply(const Frame& f) {
    const std::uint8_t sent = host_.Tx().frame[4];
    const std::uint8_t b2 = f[2], b3 = f[3], b4 = f[4], b6 = f[6];

    // An input confirmed: the chain goes on to what belongs to that input.
    if (b2 == 0x02 && b3 == 0x03 && b4 == 0x00 && b6 == 0x01 && Accepted(Reply::InputSet)) {
        ShowSwitchState(kInput, sent);
        if (sent == 6 || sent == 7) {
            currentInput_ = sent;
            SendVgaFormatQuery(sent);
        } else if (sent >= 8) {
            EndExchange();
        } else {
            currentInput_ = sent;
            SendAudioQuery(sent);
        }
        return;
    }
    // Resolution, audio, AUTO ADJUST and SCALER: set commands that end with their confirmation.
    if (b2 == 0x0A && b4 == 0x00 && b6 == 0x01) {
        switch (b3) {
            case 0x06:
                if (!Accepted(Reply::ResolutionSet))
                    return;
                EndExchange();
                ShowSwitchState(kResolution, sent);
                return;
            case 0x0C:
                if (!Accepted(Reply::AudioSet))
                    return;
                EndExchange();
                ShowSwitchState(kAudio, sent);
                return;
            case 0x0E:
                if (!Accepted(Reply::AutoAdjustSet))
                    return;
                EndExchange();
                ShowSwitchState(kVgaFormat, 4);
                return;
            case 0x0F:
                if (!Accepted(Reply::ScalerSet))
                    return;
                EndExchange();
                ShowSwitchState(kVgaFormat, 3);
                return;
            default:
                break;
        }
    }
    // A VGA format confirmed for the current input.
    if (b2 == 0x0A && b3 == 0x01 && b4 == 0x00 && b6 == currentInput_ &&
        Accepted(Reply::VgaFormatSet)) {
        EndExchange();
        ShowSwitchState(kVgaFormat, ReportedVgaFormat(sent));
        return;
    }
    // The current input reported, on page show.
    if (b2 == 0x02 && b3 == 0x01 && b4 == 0x01 && Awaited(Reply::InputReport)) {
        ShowSwitchState(kInput, b6);
        currentInput_ = b6;
        if (b6 < 6) {
            SendAudioQuery(b6);
        } else {
            SendResolutionQuery();
        }
        return;
    }
    // The audio source of the current input. Scaler inputs go on to the resolution query,
    // and the time-out stays armed for it: without it a lost answer would hold the link for good.
    if (b2 == 0x90 && b3 == 0x0C && b6 == currentInput_ && Awaited(Reply::AudioReport)) {
        ShowSwitchState(kAudio, b4);
        if (currentInput_ >= 3) {
            SendResolutionQuery();
        } else {
            Finish();
        }
        return;
    }
    // The output resolution; the VGA inputs go on to their format.
    if (b2 == 0x90 && b3 == 0x06 && b6 == 0x01 && Awaited(Reply::ResolutionReport)) {
        ShowSwitchState(kResolution, b4);
        if (currentInput_ == 6 || currentInput_ == 7) {
            SendVgaFormatQuery(currentInput_);
        } else {
            Finish();
        }
        return;
    }
    // The VGA format of the current input ends the chain.
    if (b2 == 0x90 && b3 == 0x01 && b6 == currentInput_ && Awaited(Reply::VgaFormatReport)) {
        Finish();
        ShowSwitchState(kVgaFormat, b4);
    }
}

void CMatrixDlg::ShowSwitchState(int kind, int value) {
    auto set = [this](int id, bool pressed, bool enabled) {
        CheckItem(id, pressed);
        EnableItem(id, enabled);
    };
    switch (kind) {
        case kInput: {
            if (value < 1 || value > 8)
                return;
            for (int i = 0; i < 8; ++i)
                CheckItem(kInputButtons[i], i + 1 == value);
            const bool bypass = value <= 2;
            const bool vga = value == 6 || value == 7;
            const bool audio = value <= 5;
            if (bypass) {
                set(IDC_SW_SCALER, false, false);
            } else {
                set(IDC_SW_SCALER, true, true);
            }
            set(IDC_SW_AUTO_ADJUST, vga, vga);
            if (audio) {
                EnableItem(IDC_SW_INT, true);
                EnableItem(IDC_SW_EXT, true);
            } else {
                set(IDC_SW_INT, false, false);
                set(IDC_SW_EXT, false, false);
            }
            for (int id : kResolutionButtons) {
                if (bypass) {
                    set(id, false, false);
                } else {
                    EnableItem(id, true);
                }
            }
            if (vga) {
                EnableItem(IDC_SW_YPBPR, true);  // RGBHV waits for the format report
            } else {
                set(IDC_SW_YPBPR, false, false);
                set(IDC_SW_RGBHV, false, false);
            }
            return;
        }
        case kResolution:
            if (value < 1 || value > 5)
                return;
            for (int i = 0; i < 5; ++i)
                CheckItem(kResolutionButtons[i], i + 1 == value);
            return;
        case kAudio:
            if (value != 1 && value != 2)
                return;
            CheckItem(IDC_SW_INT, value == 1);
            CheckItem(IDC_SW_EXT, value == 2);
            return;
        case kVgaFormat:
            switch (value) {
                case 1:  // RGBHV
                    set(IDC_SW_AUTO_ADJUST, true, true);
                    set(IDC_SW_SCALER, true, true);
                    set(IDC_SW_YPBPR, false, true);
                    set(IDC_SW_RGBHV, true, true);
                    return;
                case 2:  // YPbPr
                    set(IDC_SW_YPBPR, true, true);
                    set(IDC_SW_AUTO_ADJUST, false, false);
                    set(IDC_SW_SCALER, true, true);
                    set(IDC_SW_RGBHV, false, true);
                    return;
                case 3:
                    CheckItem(IDC_SW_SCALER, true);
                    return;
                case 4:
                    CheckItem(IDC_SW_AUTO_ADJUST, true);
                    return;
                default:
                    return;
            }
        default:
            return;
    }
}

}  // namespace corvane
