// Control ids of the launcher window (dialog template 102) and the bitmap ids of its skin.
#pragma once

inline constexpr int IDD_ORL_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;

inline constexpr int IDC_START_BUTTON = 1003;
inline constexpr int IDC_CLOSE = 1019;
inline constexpr int IDC_START = 1022;
inline constexpr int IDC_COMMUNITY = 1024;
inline constexpr int IDC_EXPLORER_BANNER = 1031;
inline constexpr int IDC_PROGRESS = 1032;
inline constexpr int IDC_EXPLORER_NOTICE = 1033;
inline constexpr int IDC_RESOLUTION = 1034;
inline constexpr int IDC_WINDOW_MODE = 1035;
inline constexpr int IDC_SERVER = 1036;
inline constexpr int IDC_PERCENT = 1038;
inline constexpr int IDC_VERSION = 1039;
inline constexpr int IDC_DOT0 = 1045;
inline constexpr int IDC_DOT1 = 1047;
inline constexpr int IDC_DOT2 = 1048;
inline constexpr int IDC_DOT3 = 1049;
inline constexpr int IDC_DOT4 = 1050;
inline constexpr int IDC_BANNER_LINK = 1051;
inline constexpr int IDC_REINSTALL = 1052;

inline constexpr int IDB_CLOSE = 149;
inline constexpr int IDB_CLOSE_PRESSED = 150;
inline constexpr int IDB_CLOSE_HOVER = 151;
inline constexpr int IDB_START = 152;
inline constexpr int IDB_START_PRESSED = 153;
inline constexpr int IDB_START_HOVER = 154;
inline constexpr int IDB_PROGRESS = 172;
inline constexpr int IDB_COMMUNITY = 176;
inline constexpr int IDB_COMMUNITY_HOVER = 177;
inline constexpr int IDB_COMMUNITY_PRESSED = 178;
inline constexpr int IDB_DOT_ON = 224;
inline constexpr int IDB_DOT_OFF = 225;
inline constexpr int IDB_BACKGROUND_ORVIN = 237;
inline constexpr int IDB_BACKGROUND_KESSA = 238;
inline constexpr int IDB_REINSTALL = 239;
inline constexpr int IDB_REINSTALL_HOVER = 240;
inline constexpr int IDB_REINSTALL_PRESSED = 241;
