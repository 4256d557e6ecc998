// Dialog templates and control IDs of the tray program's dialogs (Dialogs.rc).
#pragma once

// Start-up wait dialog.
#define IDD_VPN_INIT 156
#define IDC_INIT_MESSAGE 1117

// Disconnecting dialog.
#define IDD_VPN_DISCONNECTING 149
#define IDC_DISCONNECTING_MESSAGE 1092

// Version box.
#define IDD_VERINFO 135
#define IDC_VER_PRODUCT_NAME 1015
#define IDC_VER_DESCRIPTION 1016
#define IDC_VER_VERSION 1067
#define IDC_VER_TRADEMARK 1068
