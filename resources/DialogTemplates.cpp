#include "resources/DialogTemplates.h"

#include "resources/resource.h"

namespace corvane {
namespace {

using K = ControlKind;
namespace S = Style;

DialogTemplate MakeMain() {
    DialogTemplate t{IDD_MAIN, 342, 246, {}};
    auto& c = t.controls;
    c.push_back({IDC_CLOSE, K::PushButton, "", 442, 7, 21, 18});
    c.push_back({IDC_MINIMIZE, K::PushButton, "", 419, 7, 21, 18});
    c.push_back({IDC_TAB_GENERAL, K::TextCentred, "General", 7, 7, 50, 12});
    c.push_back({IDC_TAB_EDID, K::TextCentred, "EDID", 88, 7, 50, 12});
    c.push_back({IDC_TAB_SWITCH, K::TextCentred, "Switch", 150, 7, 50, 12});
    c.push_back({IDC_TAB_FIRMWARE, K::TextCentred, "FW Upgrade", 222, 7, 50, 12});
    c.push_back({IDC_MODE_GROUP, K::GroupBox, "Control Mode Select", 7, 32, 142, 44});
    c.push_back({IDC_COM_MODE, K::Radio, "COM Control Mode", 19, 45, 82, 10});
    c.push_back({IDC_TCP_MODE, K::Radio, "TCP Control Mode", 19, 59, 78, 10});
    c.push_back({IDC_COM_GROUP, K::GroupBox, "COM Control Mode", 7, 82, 142, 44});
    c.push_back({IDC_PORT_LABEL, K::Text, "Port", 19, 95, 15, 8});
    c.push_back({IDC_PORT_LIST, K::DropList, "", 19, 106, 73, 57, S::kSorted | S::kVScroll});
    c.back().name = "Port";
    c.push_back({IDC_COM_CONNECT, K::PushButton, "Connect", 95, 106, 48, 12});
    c.push_back({IDC_COM_ICON, K::Icon, "", 109, 89, 20, 20, S::kNone, {}, IDI_LINK_DOWN});
    c.back().name = "Disconnected";
    c.push_back({IDC_TCP_GROUP, K::GroupBox, "TCP Control Mode", 7, 133, 142, 63});
    c.push_back({IDC_SWITCHER_IP_LABEL, K::Text, "Switcher IP", 19, 146, 37, 8});
    c.push_back({IDC_SWITCHER_IP, K::DropList, "", 19, 157, 73, 71, S::kSorted | S::kVScroll});
    c.back().name = "Switcher IP";
    c.push_back({IDC_TCP_CONNECT, K::PushButton, "Connect", 95, 157, 48, 12});
    c.push_back({IDC_TCP_ICON, K::Icon, "", 109, 140, 20, 20, S::kNone, {}, IDI_LINK_DOWN});
    c.back().name = "Disconnected";
    c.push_back({IDC_SEARCH, K::PushButton, "Search", 19, 176, 48, 12});
    c.push_back({IDC_CONFIG, K::PushButton, "Config...", 70, 176, 48, 12});
    c.push_back({IDC_DEVICE_INFO_GROUP, K::GroupBox, "Device Information", 152, 32, 188, 164});
    c.push_back({1026, K::Text, "HDMI IN1: Disconnect", 157, 45, 75, 8});
    c.push_back({1027, K::Text, "HDMI IN2: Disconnect", 157, 58, 75, 8});
    for (int i = 0; i < 6; ++i)
        c.push_back({1028 + i, K::Text, "Static", 157, 71 + 13 * i, 15, 8});
    c.push_back({1034, K::Text, "HDMI OUTA: Disconnect", 252, 45, 82, 8});
    for (int i = 0; i < 7; ++i)
        c.push_back({1035 + i, K::Text, "Static", 252, 58 + 13 * i, 15, 8});
    c.push_back({IDC_STATUS, K::PushButton, "Status", 174, 157, 48, 12});
    c.push_back({IDC_CLEAR, K::PushButton, "Clear", 265, 157, 48, 12});
    c.push_back({IDC_RESET_GROUP, K::GroupBox, "Reset to the factory settings", 7, 204, 142, 40});
    c.push_back({IDC_FACTORY_RESET, K::PushButton, "Factory Reset", 38, 220, 68, 12});
    c.push_back({IDC_BEEP_GROUP, K::GroupBox, "Disable/Enable Beep", 152, 204, 188, 40});
    c.push_back({IDC_ENABLE_BEEP, K::CheckBox, "Enable Beep", 174, 221, 58, 10});
    c.push_back({IDC_RX_LOG, K::MultiEdit, "", 345, 36, 153, 78, S::kReadOnly | S::kVScroll});
    c.back().name = "Receive log";
    c.push_back({IDC_TX_LOG, K::MultiEdit, "", 345, 120, 153, 78, S::kReadOnly | S::kVScroll});
    c.back().name = "Send log";
    return t;
}

DialogTemplate MakeMatrix() {
    DialogTemplate t{IDD_MATRIX, 302, 204, {}};
    auto& c = t.controls;
    auto toggle = [&c](int id, const char* text, int x, int y, unsigned style = S::kNone) {
        c.push_back({id, K::PushLikeCheck, text, x, y, 41, 19, style});
    };
    c.push_back({0, K::GroupBox, "INPUT", 7, 7, 116, 190});
    c.push_back({0, K::GroupBox, "BYPASS 4Kx2K", 15, 25, 99, 41});
    toggle(IDC_SW_HDMI1, "HDMI 1", 21, 38);
    toggle(IDC_SW_HDMI2, "HDMI 2", 68, 38);
    c.push_back({0, K::GroupBox, "SCALER", 15, 74, 99, 116});
    toggle(IDC_SW_HDMI3, "HDMI 3", 21, 89);
    toggle(IDC_SW_HDMI4, "HDMI 4", 68, 89);
    toggle(IDC_SW_DVI, "DVI", 21, 115);
    toggle(IDC_SW_VGA1, "VGA 1", 68, 115);
    toggle(IDC_SW_VGA2, "VGA 2", 21, 141);
    toggle(IDC_SW_CV, "CV", 68, 141);
    toggle(IDC_SW_SCALER, "SCALER", 21, 167);
    c.push_back({IDC_SW_RESOLUTION_GROUP, K::GroupBox, "RESOLUTION", 138, 7, 105, 85});
    toggle(IDC_SW_1920X1200, "1920x1200", 147, 22);
    toggle(IDC_SW_1080P, "1080P", 193, 22);
    toggle(IDC_SW_1360X768, "1360x768", 147, 46);
    toggle(IDC_SW_720P, "720P", 193, 46);
    toggle(IDC_SW_1024X768, "1024x768", 147, 70);
    c.push_back({IDC_SW_VGA_GROUP, K::GroupBox, "VGA", 138, 94, 105, 68});
    toggle(IDC_SW_YPBPR, "YPbPr", 147, 111);
    toggle(IDC_SW_RGBHV, "RGBHV", 193, 111);
    toggle(IDC_SW_AUTO_ADJUST, "AUTO ADJUST", 147, 136, S::kMultiLineText);
    c.push_back({IDC_SW_AUDIO_GROUP, K::GroupBox, "AUDIO SELECT", 139, 163, 105, 34});
    toggle(IDC_SW_INT, "INT", 147, 175);
    toggle(IDC_SW_EXT, "EXT", 193, 175);
    return t;
}

DialogTemplate MakeMessage() {
    DialogTemplate t{IDD_MESSAGE, 185, 73, {}};
    auto& c = t.controls;
    c.push_back({IDC_MSG_CLOSE, K::PushButton, "", 157, 7, 21, 18});
    c.push_back({IDC_MSG_OK, K::PushButton, "Ok", 137, 60, 41, 11});
    c.push_back({IDC_MSG_PICTURE, K::Picture, "", 26, 29, 21, 17, S::kNone, {}, IDB_MESSAGE});
    c.push_back({IDC_MSG_CANCEL, K::PushButton, "Cancel", 94, 60, 41, 11, S::kHidden});
    c.push_back({IDC_MSG_NO_REMIND, K::CheckBox, "No longer remind", 3, 60, 69, 10, S::kHidden});
    return t;
}

DialogTemplate MakeConfigIp() {
    DialogTemplate t{IDD_CONFIG_IP, 205, 174, {}};
    auto& c = t.controls;
    c.push_back({IDC_CFG_GROUP, K::GroupBox, "Device Information", 17, 21, 170, 137});
    c.push_back({IDC_CFG_AUTO_IP, K::Radio, "Auto IP", 41, 36, 40, 10});
    c.push_back({IDC_CFG_STATIC_IP, K::Radio, "Static IP", 105, 36, 42, 10});
    c.push_back({IDC_CFG_IP_LABEL, K::Text, "IP Address", 41, 52, 37, 8});
    const int ipX[] = {41, 70, 99, 128};
    for (int i = 0; i < 4; ++i) {
        c.push_back(
            {IDC_CFG_IP1 + i, K::Edit, "", ipX[i], 65, 20, 14, S::kDigitsOnly | S::kBorder});
        c.back().name = QStringLiteral("IP address %1").arg(i + 1);
    }
    for (int x : {62, 91, 120})
        c.push_back({0, K::Text, ".", x, 71, 4, 8});
    c.push_back({IDC_CFG_MAC_LABEL, K::Text, "MAC", 41, 91, 17, 8});
    const int macX[] = {41, 63, 85, 107, 129, 151};
    for (int i = 0; i < 6; ++i) {
        c.push_back({IDC_CFG_MAC1 + i, K::Edit, "", macX[i], 103, 13, 14, S::kBorder});
        c.back().name = QStringLiteral("MAC %1").arg(i + 1);
    }
    for (int x : {55, 77, 99, 121, 143})
        c.push_back({0, K::TextCentred, "-", x, 104, 8, 8});
    c.push_back({IDC_CFG_OK, K::PushButton, "OK", 47, 135, 48, 12});
    c.push_back({IDC_CFG_CANCEL, K::PushButton, "Cancel", 112, 135, 48, 12});
    c.push_back({IDC_CFG_CLOSE, K::PushButton, "", 177, 7, 21, 18});
    return t;
}

DialogTemplate MakeEdid() {
    DialogTemplate t{IDD_EDID, 321, 204, {}};
    auto& c = t.controls;
    const unsigned list = S::kVScroll;
    c.push_back({IDC_EDID_GROUP, K::GroupBox, "Manual Mode", 7, 31, 304, 95});
    c.push_back({IDC_EDID_MODE_LABEL, K::Text, "Set EDID Mode", 19, 51, 52, 8});
    c.push_back({IDC_EDID_PRESET, K::DropList, "", 78, 49, 90, 86, list});
    c.back().name = "Set EDID Mode";
    c.push_back({IDC_EDID_TO1, K::Text, "to", 171, 51, 8, 8});
    c.push_back({IDC_EDID_TARGET,
                 K::DropList,
                 "",
                 181,
                 49,
                 48,
                 87,
                 list,
                 {"HDMI 1", "HDMI 2", "HDMI 3", "HDMI 4", "DVI"}});
    c.back().name = "Set EDID Mode to";
    c.push_back({IDC_EDID_SET, K::PushButton, "Set", 246, 49, 48, 12});
    c.push_back({IDC_EDID_COPY_LABEL, K::Text, "Copy EDID From", 19, 73, 56, 8});
    c.push_back({IDC_EDID_SOURCE, K::DropList, "", 78, 72, 90, 86, list, {"HDMI OUT", "QLX OUT"}});
    c.back().name = "Copy EDID From";
    c.push_back({IDC_EDID_TO2, K::Text, "to", 171, 74, 8, 8});
    c.push_back(
        {IDC_EDID_COPY_TARGET, K::DropList, "", 181, 72, 48, 87, list, {"HDMI 1", "HDMI 2"}});
    c.back().name = "Copy EDID to";
    c.push_back({IDC_EDID_COPY, K::PushButton, "Set", 246, 72, 48, 12});
    return t;
}

DialogTemplate MakeStatus() {
    DialogTemplate t{IDD_STATUS, 164, 58, {}};
    t.controls.push_back({IDC_BUSY_TEXT, K::Text, "", 61, 25, 87, 8});
    t.controls.push_back(
        {IDC_BUSY_PICTURE, K::Picture, "", 31, 21, 18, 15, S::kNone, {}, IDB_SUCCESS});
    return t;
}

DialogTemplate MakeFirmware() {
    // Everything sits in the top 201 units: the page starts 70 pixels down the main window.
    DialogTemplate t{IDD_FIRMWARE, 316, 225, {}};
    auto& c = t.controls;
    c.push_back({0, K::GroupBox, "FW Upgrade", 7, 4, 302, 60});
    c.push_back({0, K::Text, "Open FW File", 15, 17, 60, 8});
    c.push_back({IDC_FW_PATH, K::Edit, "", 15, 27, 230, 13, S::kReadOnly | S::kBorder});
    c.back().name = "Open FW File";
    c.push_back({IDC_FW_OPEN, K::PushButton, "Open", 252, 27, 50, 13});
    c.push_back({IDC_FW_PROGRESS, K::Progress, "", 15, 45, 230, 11, S::kBorder});
    c.back().name = "Upgrade progress";
    c.push_back({IDC_FW_UPGRADE, K::PushButton, "Upgrade", 252, 44, 50, 13});
    c.push_back({0, K::GroupBox, "Messages", 7, 68, 302, 80});
    c.push_back({IDC_FW_MESSAGES, K::MultiEdit, "", 15, 80, 286, 61, S::kBorder | S::kVScroll});
    c.back().name = "Messages";
    c.push_back({0, K::GroupBox, "USB Upgrade", 7, 152, 302, 34});
    c.push_back({0, K::Text, "Please insert the USB flash drive.", 15, 168, 150, 8});
    c.push_back({IDC_FW_SCALER, K::PushButton, "Upgrade Scaler", 232, 165, 70, 13});
    c.push_back({IDC_FW_STATUS, K::Text, "", 9, 192, 298, 9});
    return t;
}

DialogTemplate MakeAbout() {
    DialogTemplate t{IDD_ABOUTBOX, 170, 62, {}, QStringLiteral("关于 Corvane")};
    auto& c = t.controls;
    c.push_back({0, K::Icon, "", 14, 14, 21, 20, S::kNone, {}, IDI_ABOUT});
    c.push_back({0, K::Text, QStringLiteral("Corvane，6.31 版"), 42, 14, 114, 8});
    c.push_back({kAboutOk, K::PushButton, QStringLiteral("确定"), 113, 41, 50, 14, S::kDefault});
    return t;
}

}  // namespace

const DialogTemplate& AboutTemplate() {
    static const DialogTemplate t = MakeAbout();
    return t;
}
const DialogTemplate& MainTemplate() {
    static const DialogTemplate t = MakeMain();
    return t;
}
const DialogTemplate& MatrixTemplate() {
    static const DialogTemplate t = MakeMatrix();
    return t;
}
const DialogTemplate& MessageTemplate() {
    static const DialogTemplate t = MakeMessage();
    return t;
}
const DialogTemplate& ConfigIpTemplate() {
    static const DialogTemplate t = MakeConfigIp();
    return t;
}
const DialogTemplate& EdidTemplate() {
    static const DialogTemplate t = MakeEdid();
    return t;
}
const DialogTemplate& StatusTemplate() {
    static const DialogTemplate t = MakeStatus();
    return t;
}
const DialogTemplate& FirmwareTemplate() {
    static const DialogTemplate t = MakeFirmware();
    return t;
}

}  // namespace corvane
