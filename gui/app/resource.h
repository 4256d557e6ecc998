// Resources of Corvel.exe (Corvel.rc); the dialog templates are in the dialogs' own script.
#pragma once

#define IDS_OLEINIT_FAILED 100
#define IDR_MAINFRAME 129
#define IDI_CONNECTED 130
#define IDI_DISCONNECTED 145

// Tray menu commands (popup 0 of IDR_MAINFRAME).
#define ID_TRAY_SETTINGS 32776
#define ID_APP_ABOUT 32778
#define ID_APP_QUIT 32780
