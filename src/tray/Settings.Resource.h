// Resource identifiers of the settings window and its dialogs (Settings.rc).
#pragma once

#define IDD_SETTINGS 200
#define IDD_PAGE 201
#define IDD_MACRO_EDIT 202
#define IDD_CAPTURE 203
#define IDD_IMPORT 204
#define IDD_PICK_PROGRAM 205

#define IDC_TABS 1000
#define IDC_EXPORT 1001
#define IDC_IMPORT 1002
#define IDC_STATUS 1003

#define IDC_COMBINATION 1010
#define IDC_RECORD 1011
#define IDC_TEXT 1012
#define IDC_INSERT_KEY 1013
#define IDC_PREVIEW 1014
#define IDC_KIND 1015

#define IDC_CAPTURE_PROMPT 1020

#define IDC_CHANGES 1030
#define IDC_CHANGES_LABEL 1031

#define IDC_PROGRAMS 1040

// Controls created on the pages
#define IDC_SWITCH_FIRST 1100  // one per switch, in kSwitchItems order
#define IDC_MODE_ASCII 1120
#define IDC_MODE_HTML 1121
#define IDC_DECIMAL_DOT 1122
#define IDC_MACRO_LIST 1130
#define IDC_MACRO_NEW 1131
#define IDC_MACRO_EDIT 1132
#define IDC_MACRO_DELETE 1133
#define IDC_EXCL_LIST 1140
#define IDC_EXCL_FILE 1141
#define IDC_EXCL_RUNNING 1142
#define IDC_EXCL_REMOVE 1143
#define IDC_EXTRA_DIAG 1150
#define IDC_EXTRA_CAPS 1151
#define IDC_EXTRA_SCROLL 1152
#define IDC_EXTRA_APPLY 1153
#define IDC_EXTRA_STATE 1154
#define IDC_EXTRA_PLAN 1155
#define IDC_UMLAUT_FIRST 1200  // row * 2 + (0 ASCII, 1 HTML)
#define IDC_TONE_FIRST 1300    // (event - 1) * 5 + field (0..3), + 4 the "Anhören" button
#define IDC_PAGE_STATUS 1399
