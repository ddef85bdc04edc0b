/* Numbers of the server's Windows resources and of the controls and commands
   they name; shared by server.rc and the shell's code. */
#pragma once

#define IDI_WINDOW 107
#define IDI_TRAY_RUNNING 132
#define IDI_TRAY_STOPPED 133
#define IDB_MAIN_BACKGROUND 134
#define IDB_HIDE_NORMAL 138
#define IDB_HIDE_PRESSED 139
#define IDB_BUTTON_PRESSED 140
#define IDB_BUTTON_NORMAL 141
#define IDB_OPTIONS_BACKGROUND 152
/* The skin drawn at twice the size, for scaled displays: each one's number
   is its plain image's plus 100. */
#define IDB_2X_OFFSET 100
#define IDB_MAIN_BACKGROUND_2X 234
#define IDB_HIDE_NORMAL_2X 238
#define IDB_HIDE_PRESSED_2X 239
#define IDB_BUTTON_PRESSED_2X 240
#define IDB_BUTTON_NORMAL_2X 241
#define IDB_OPTIONS_BACKGROUND_2X 252
#define IDM_TRAY 109
#define IDD_ABOUT 103
#define IDA_MAIN 151
#define IDR_STRINGS 168

#define IDC_ABOUT_ICON 1003
#define IDC_ABOUT_VERSION 1004
#define IDC_ABOUT_NOTICE 1005

#define ID_START_STOP 1055
#define ID_HIDE 1056
#define ID_OPTIONS 1057
#define ID_OPTIONS_CANCEL 1055
#define ID_OPTIONS_OK 1056
#define ID_ABOUT 104
#define ID_EXIT 105
#define ID_TRAY_SHOW_HIDE 32775
#define ID_TRAY_START_STOP 32778
