// Resource ids of QVUTchkdl.dll: the confirmation and progress dialogs, their controls and the
// two pictures they show.
#pragma once

#define IDD_SETUP_CONFIRM 1000
#define IDD_SETUP_PROGRESS 1001

#define IDB_SETUP_RIGHT 1001  // 87 x 39, top right
#define IDB_SETUP_LEFT 1002   // 111 x 37, top left
// The same pictures at 200 % (make_art.py draws them), for display scales above 100 %.
#define IDB_SETUP_LEFT_200 1003   // 222 x 74
#define IDB_SETUP_RIGHT_200 1004  // 174 x 78

#define IDC_SETUP_INSTALL_NOW 1000
#define IDC_SETUP_CANCEL_CLOSE 1001
#define IDC_SETUP_PROGRESS 1002
#define IDC_SETUP_STATUS 1003
#define IDC_SETUP_BODY 1004
#define IDC_SETUP_HEADING 1005

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
