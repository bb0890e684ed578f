/* Resource ids shared by the resource script and the user-interface code. */
#ifndef KORVANE_UI_RES_RESOURCE_H
#define KORVANE_UI_RES_RESOURCE_H

#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDD_MAIN_DIALOG         102
#define IDR_MAINFRAME           128

#define IDC_PATH_EDIT           1001
#define IDC_BROWSE_BUTTON       1002
#define IDC_PROGRESS            1003
#define IDC_RESULT_EDIT         1004

/* System-menu command: a multiple of 16 below the SC_ range. */
#define IDM_ABOUTBOX            0x0010

#endif
