// Identifiers of the program's resources and of the controls of its dialog templates.
#pragma once

namespace resources {
// Registers every resource of the program with the registry (icons, bitmaps, strings).
void RegisterAll();
}  // namespace resources

// Dialog templates.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_QEL_DIALOG = 102;

// Strings.
constexpr int IDS_ABOUTBOX = 101;
constexpr int AFX_IDP_PARSE_REAL = 61713;

// Icons and bitmaps.
constexpr int IDR_MAINFRAME = 128;
constexpr int IDI_PORT_OPEN = 130;
constexpr int IDI_PORT_CLOSED = 131;
constexpr int IDI_METER_ON = 132;
constexpr int IDI_METER_OFF = 133;
constexpr int IDI_SAVE_PRINT = 144;
constexpr int IDI_TIME_SET = 145;
constexpr int IDI_DELETE_ALL = 146;
constexpr int IDI_EXPORT = 147;
constexpr int IDI_EXIT = 148;
constexpr int IDI_RESET = 150;
constexpr int IDI_CALIBRATE = 151;
constexpr int IDB_PICTURE = 152;
constexpr int IDI_UPLOAD = 153;

// Commands.
constexpr int IDM_ABOUTBOX = 0x0010;
constexpr int ID_HELP = 57670;

// Controls of template 102.
constexpr int IDC_EXIT = 1;  // IDOK
constexpr int IDC_COMBO_PORT = 1000;
constexpr int IDC_OPEN_COM = 1001;
constexpr int IDC_CONNECT = 1002;
constexpr int IDC_DISCONNECT = 1003;
constexpr int IDC_EDIT_COMPANY = 1005;
constexpr int IDC_EDIT_MODEL = 1006;
constexpr int IDC_EDIT_SERIALNO = 1007;
constexpr int IDC_EDIT_OPERATOR = 1008;
constexpr int IDC_EDIT_NOTES = 1009;
constexpr int IDC_LIST_RECORDS = 1010;
constexpr int IDC_UPLOAD = 1011;
constexpr int IDC_EXPORT = 1012;
constexpr int IDC_DELETE_ALL = 1013;
constexpr int IDC_SAVE_PRINT = 1014;
constexpr int IDC_EDIT_YEAR = 1015;
constexpr int IDC_EDIT_MONTH = 1016;
constexpr int IDC_EDIT_DAY = 1017;
constexpr int IDC_EDIT_HOUR = 1018;
constexpr int IDC_EDIT_MINUTE = 1019;
constexpr int IDC_TIME_SET = 1020;
constexpr int IDC_POWER_CALIBRATE = 1021;
constexpr int IDC_EDIT_CALVALUE = 1022;
constexpr int IDC_RESET = 1023;
constexpr int IDC_COMBO_LANGUAGE = 1026;
constexpr int IDC_ICON_PORT = 1027;
constexpr int IDC_ICON_METER = 1028;
constexpr int IDC_LABEL_COMPANY = 1029;
constexpr int IDC_LABEL_MODEL = 1030;
constexpr int IDC_LABEL_SERIALNO = 1031;
constexpr int IDC_LABEL_OPERATOR = 1032;
constexpr int IDC_LABEL_NOTES = 1033;
constexpr int IDC_LABEL_YEAR = 1034;
constexpr int IDC_LABEL_MONTH = 1035;
constexpr int IDC_LABEL_DAY = 1036;
constexpr int IDC_LABEL_HOUR = 1037;
constexpr int IDC_LABEL_MINUTE = 1038;
constexpr int IDC_GROUP_COM = 1039;
constexpr int IDC_GROUP_USER = 1040;
constexpr int IDC_GROUP_TIME = 1041;
constexpr int IDC_GROUP_CALIBRATE = 1042;
constexpr int IDC_LABEL_LANGUAGE = 1043;
constexpr int IDC_RADIO_CHINESE = 1044;
constexpr int IDC_RADIO_ENGLISH = 1045;
constexpr int IDC_RADIO_1310 = 1046;
constexpr int IDC_RADIO_1490 = 1047;
constexpr int IDC_RADIO_1550 = 1048;
constexpr int IDC_FTCAL = 1049;
constexpr int IDC_STATIC_1050 = 1050;
constexpr int IDC_SLIDER = 1051;
constexpr int IDC_PROGRESS = 1052;
// Controls without an id of their own.
constexpr int IDC_STATIC = -1;
