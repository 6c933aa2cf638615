#pragma once
// Resource ids of tessaly.exe.

#define IDI_TESSALY 100
#define IDR_TRAY_MENU 201
#define IDM_TRAY_OPEN 32779
#define IDM_TRAY_EXIT 32780

#define IDS_PRODUCT_NAME 1001
#define IDS_WINDOW_TITLE_SUFFIX 1002
#define IDS_TRAY_OPEN 1003
#define IDS_TRAY_EXIT 1004
