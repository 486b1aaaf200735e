#include "pages/CMatrixDlg.h"

#include "resources/DialogTemplates.h"
#include "resources/resource.h"
#include "widgets/PopUps.h"

#include <array>

namespace corvane {
namespace {

// One row per button: what a click asks the device for.
enum class Action { Input, Resolution, Audio, AutoAdjust, Scaler, VgaFormat };

struct Command {
    int id;
    Action action;
    int value;
};

constexpr std::array<Command, 19> kCommands = {{
    {IDC_SW_HDMI1, Action::Input, 1},
    {IDC_SW_HDMI2, Action::Input, 2},
    {IDC_SW_HDMI3, Action::Input, 3},
    {IDC_SW_HDMI4, Action::Input, 4},
    {IDC_SW_DVI, Action::Input, 5},
    {IDC_SW_VGA1, Action::Input, 6},
    {IDC_SW_VGA2, Action::Input, 7},
    {IDC_SW_CV, Action::Input, 8},
    {IDC_SW_1920X1200, Action::Resolution, 1},
    {IDC_SW_1080P, Action::Resolution, 2},
    {IDC_SW_1360X768, Action::Resolution, 3},
    {IDC_SW_720P, Action::Resolution, 4},
    {IDC_SW_1024X768, Action::Resolution, 5},
    {IDC_SW_INT, Action::Audio, 1},
    {IDC_SW_EXT, Action::Audio, 2},
    {IDC_SW_AUTO_ADJUST, Action::AutoAdjust, 0},
    {IDC_SW_SCALER, Action::Scaler, 0},
    {IDC_SW_YPBPR, Action::VgaFormat, 2},
    {IDC_SW_RGBHV, Action::VgaFormat, 1},
}};

constexpr std::array<int, 8> kInputButtons = {IDC_SW_HDMI1, IDC_SW_HDMI2, IDC_SW_HDMI3,
                                              IDC_SW_HDMI4, IDC_SW_DVI,   IDC_SW_VGA1,
                                              IDC_SW_VGA2,  IDC_SW_CV};
constexpr std::array<int, 5> kResolutionButtons = {IDC_SW_1920X1200, IDC_SW_1080P, IDC_SW_1360X768,
                                                   IDC_SW_720P, IDC_SW_1024X768};

}  // namespace

CMatrixDlg::CMatrixDlg(PageHost& host, Clock& clock, QWidget* parent)
    : CDialog(MatrixTemplate(), clock, parent), host_(host), controller_(host, clock) {
    SetFilterKeys(true);
    controller_.SetListener(this);
}

void CMatrixDlg::OnCommand(int id, Notify code) {
    if (code != Notify::Clicked) return;
    for (const Command& row : kCommands) {
        if (row.id != id) continue;
        // The button shows only what the device confirms, never the click itself.
        CheckItem(id, !IsItemChecked(id));
        switch (row.action) {
            case Action::Input:
                controller_.SelectInput(row.value);
                return;
            case Action::Resolution:
                controller_.SetResolution(row.value);
                return;
            case Action::Audio:
                controller_.SetAudio(row.value);
                return;
            case Action::AutoAdjust:
                controller_.AutoAdjust();
                return;
            case Action::Scaler:
                controller_.Scaler();
                return;
            case Action::VgaFormat:
                controller_.SetVgaFormat(row.value);
                return;
        }
        return;
    }
}

void CMatrixDlg::OnSwitchEnd(End end) {
    if (end != End::TimeOut) return;
    host_.PopUp().ShowMessage(QStringLiteral("Time out!"),
                              [this](int) { controller_.TimeOutAcknowledged(); });
}

void CMatrixDlg::ShowSwitchState(int kind, int value) {
    auto set = [this](int id, bool pressed, bool enabled) {
        CheckItem(id, pressed);
        EnableItem(id, enabled);
    };
    switch (kind) {
        case kInput: {
            if (value < 1 || value > 8) return;
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
            if (value < 1 || value > 5) return;
            for (int i = 0; i < 5; ++i)
                CheckItem(kResolutionButtons[i], i + 1 == value);
            return;
        case kAudio:
            if (value != 1 && value != 2) return;
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
