// Resource IDs of corvelc.exe: its two dialogs and their controls.
#pragma once

#define IDD_CLI_XAUTH 101
#define IDD_CLI_VPN_CONNECTING 102

// Credentials dialog.
#define IDC_XAUTH_USER 1000
#define IDC_XAUTH_PASSWORD 1001
#define IDC_XAUTH_NAME 1002
#define IDC_XAUTH_USER_LABEL 1005
#define IDC_XAUTH_PASSWORD_LABEL 1006
#define IDC_XAUTH_CONNECT_LABEL 1007
#define IDC_XAUTH_SAVE 1055

// Connecting dialog.
#define IDC_CONNECTING_PROGRESS 1001
#define IDC_CONNECTING_NAME 1077
#define IDC_CONNECTING_MESSAGE 1079
#define IDC_CONNECTING_TARGET_LABEL 1080
