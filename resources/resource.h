#pragma once
// Resource and control identifiers. The numbers are the program's own and must not change:
// tests, the templates and the protocol code all refer to them.

namespace corvane {

// Dialog templates and strings.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_MAIN = 102;
constexpr int IDD_MATRIX = 134;
constexpr int IDD_MESSAGE = 135;
constexpr int IDD_CONFIG_IP = 139;
constexpr int IDD_EDID = 140;
constexpr int IDD_STATUS = 142;
constexpr int IDD_FIRMWARE = 144;

// Icons and bitmaps.
constexpr int IDR_MAINFRAME = 128;
constexpr int IDI_CLOSE = 129;
constexpr int IDI_MINIMIZE = 130;
constexpr int IDI_MINIMIZE_HOVER = 131;
constexpr int IDI_CLOSE_HOVER = 132;
constexpr int IDB_MESSAGE = 136;
constexpr int IDB_SUCCESS = 143;
constexpr int IDI_ABOUT = 145;
constexpr int IDI_LINK_DOWN = 146;
constexpr int IDI_LINK_UP = 147;

// Main window (template 102).
constexpr int IDC_CLOSE = 1002;
constexpr int IDC_MINIMIZE = 1005;
constexpr int IDC_TAB_GENERAL = 1008;
constexpr int IDC_TAB_EDID = 1011;
constexpr int IDC_TAB_SWITCH = 1012;
constexpr int IDC_TAB_FIRMWARE = 1013;
constexpr int IDC_MODE_GROUP = 1015;
constexpr int IDC_COM_MODE = 1016;
constexpr int IDC_TCP_MODE = 1017;
constexpr int IDC_COM_GROUP = 1018;
constexpr int IDC_PORT_LABEL = 1019;
constexpr int IDC_PORT_LIST = 1020;
constexpr int IDC_COM_CONNECT = 1021;
constexpr int IDC_DEVICE_INFO_GROUP = 1022;
constexpr int IDC_STATUS = 1024;
constexpr int IDC_CLEAR = 1025;
constexpr int IDC_INFO_FIRST = 1026;  // device information statics 1026..1041
constexpr int IDC_INFO_LAST = 1041;
constexpr int IDC_RX_LOG = 1042;
constexpr int IDC_TX_LOG = 1043;
constexpr int IDC_TCP_CONNECT = 1045;
constexpr int IDC_SEARCH = 1046;
constexpr int IDC_CONFIG = 1047;
constexpr int IDC_SWITCHER_IP_LABEL = 1059;
constexpr int IDC_SWITCHER_IP = 1060;
constexpr int IDC_TCP_GROUP = 1063;
constexpr int IDC_FACTORY_RESET = 1095;
constexpr int IDC_ENABLE_BEEP = 1096;
constexpr int IDC_RESET_GROUP = 1097;
constexpr int IDC_BEEP_GROUP = 1098;
constexpr int IDC_COM_ICON = 1103;
constexpr int IDC_TCP_ICON = 1104;

// About item of the window's menu.
constexpr int IDM_ABOUTBOX = 16;
constexpr int kAboutOk = 1;  // the About box's OK button

// Switch page (template 134).
constexpr int IDC_SW_HDMI1 = 1043;
constexpr int IDC_SW_HDMI2 = 1044;
constexpr int IDC_SW_HDMI3 = 1045;
constexpr int IDC_SW_HDMI4 = 1046;
constexpr int IDC_SW_DVI = 1047;
constexpr int IDC_SW_VGA1 = 1048;
constexpr int IDC_SW_VGA2 = 1049;
constexpr int IDC_SW_CV = 1050;
constexpr int IDC_SW_1920X1200 = 1051;
constexpr int IDC_SW_1080P = 1052;
constexpr int IDC_SW_1360X768 = 1053;
constexpr int IDC_SW_720P = 1054;
constexpr int IDC_SW_1024X768 = 1055;
constexpr int IDC_SW_RESOLUTION_GROUP = 1056;
constexpr int IDC_SW_AUDIO_GROUP = 1057;
constexpr int IDC_SW_INT = 1058;
constexpr int IDC_SW_EXT = 1059;
constexpr int IDC_SW_VGA_GROUP = 1060;
constexpr int IDC_SW_AUTO_ADJUST = 1061;
constexpr int IDC_SW_SCALER = 1062;
constexpr int IDC_SW_YPBPR = 1063;
constexpr int IDC_SW_RGBHV = 1076;

// Message pop-up (template 135).
constexpr int IDC_MSG_CLOSE = 1057;
constexpr int IDC_MSG_OK = 1058;
constexpr int IDC_MSG_CANCEL = 1099;
constexpr int IDC_MSG_PICTURE = 1100;
constexpr int IDC_MSG_NO_REMIND = 1101;

// Network configuration dialog (template 139).
constexpr int IDC_CFG_GROUP = 1064;
constexpr int IDC_CFG_AUTO_IP = 1065;
constexpr int IDC_CFG_STATIC_IP = 1066;
constexpr int IDC_CFG_IP_LABEL = 1067;
constexpr int IDC_CFG_IP1 = 1042;  // IP octet edits 1042..1045
constexpr int IDC_CFG_MAC_LABEL = 1077;
constexpr int IDC_CFG_MAC1 = 1078;  // MAC byte edits 1078..1083
constexpr int IDC_CFG_OK = 1070;
constexpr int IDC_CFG_CANCEL = 1071;
constexpr int IDC_CFG_CLOSE = 1072;

// EDID page (template 140).
constexpr int IDC_EDID_GROUP = 1079;
constexpr int IDC_EDID_MODE_LABEL = 1080;
constexpr int IDC_EDID_PRESET = 1081;
constexpr int IDC_EDID_TO1 = 1082;
constexpr int IDC_EDID_TARGET = 1083;
constexpr int IDC_EDID_SET = 1084;
constexpr int IDC_EDID_COPY_LABEL = 1085;
constexpr int IDC_EDID_SOURCE = 1086;
constexpr int IDC_EDID_TO2 = 1087;
constexpr int IDC_EDID_COPY_TARGET = 1088;
constexpr int IDC_EDID_COPY = 1089;

// Busy pop-up (template 142).
constexpr int IDC_BUSY_TEXT = 1086;
constexpr int IDC_BUSY_PICTURE = 1087;

// Firmware page (template 144).
constexpr int IDC_FW_PATH = 1042;
constexpr int IDC_FW_OPEN = 1088;
constexpr int IDC_FW_UPGRADE = 1090;
constexpr int IDC_FW_STATUS = 1092;
constexpr int IDC_FW_MESSAGES = 1093;
constexpr int IDC_FW_PROGRESS = 1094;
constexpr int IDC_FW_SCALER = 1102;

}  // namespace corvane
