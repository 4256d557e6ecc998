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

// Settings dialog and its menu bar.
#define IDD_VPN_CONNECT 142
#define IDR_SETTINGS_MENU 150
#define IDC_SETTINGS_TAB 1040
#define IDC_SETTINGS_SAVE 1084

// Connection-setting page (tabs 1 to 20).
#define IDD_PAGE_VPN_SETTING 143
#define IDC_SET_GROUP 1096
#define IDC_SET_NAME_LABEL 1097
#define IDC_SET_NAME 1051
#define IDC_SET_PSK_LABEL 1098
#define IDC_SET_PSK 1052
#define IDC_SET_PSK_AGAIN_LABEL 1099
#define IDC_SET_PSK_AGAIN 1053
#define IDC_SET_SERVER_KIND_LABEL 1100
#define IDC_SET_SERVER_ADDRESS_MODE 1042
#define IDC_SET_SERVER_HOST_MODE 1044
#define IDC_SET_SERVER_LABEL 1082
#define IDC_SET_SERVER_ADDRESS 1055
#define IDC_SET_SERVER_HOST 1058
#define IDC_SET_AUTH_LABEL 1101
#define IDC_SET_AUTH 1056
#define IDC_SET_INTERNET_LABEL 1104
#define IDC_SET_USE_VPN_GATEWAY 1084
#define IDC_SET_USER_LABEL 1102
#define IDC_SET_USER 1113
#define IDC_SET_PASSWORD_LABEL 1103
#define IDC_SET_PASSWORD 1114

// Connection page (tab 0); its 20 radio buttons and state labels are in ConnectionPageLogic.h.
#define IDD_PAGE_VPN_CONNECT 105
#define IDC_CONN_GROUP 1106
#define IDC_CONN_BUTTON 1076
