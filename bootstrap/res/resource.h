// Resource ids of PX_Bootstrap.exe: dialogs, pictures, icon and the controls of the main dialog.
// Included by the .rc file and by the view code, so it holds #defines only.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC                  (-1)
#endif

#define IDR_MAINFRAME               128
#define IDD_PX_BOOTSTRAP_DIALOG     102
#define IDD_INIT_DIALOG             130
#define IDB_HEADER_LEFT             131
#define IDB_HEADER_RIGHT            132
#define IDB_HEADER_LEFT_200         133  // the header pictures drawn at 200 %
#define IDB_HEADER_RIGHT_200        134

// Controls of IDD_PX_BOOTSTRAP_DIALOG.
#define IDC_STATIC_QUESTION         1001
#define IDC_BUTTON_YES              1002
#define IDC_BUTTON_NO               1003
#define IDC_PROGRESS                1004
#define IDC_STATIC_STATUS           1005
#define IDC_BUTTON_CANCEL           1006
#define IDC_STATIC_LICENSE_TITLE    1007
#define IDC_STATIC_LICENSE_HINT     1008
#define IDC_RADIO_ACCEPT            1009
#define IDC_RADIO_DECLINE           1010
#define IDC_STATIC_HEADER           1011
#define IDC_PICTURE_LEFT            1012
#define IDC_PICTURE_RIGHT           1013
#define IDC_EDIT_LICENSE            1015
