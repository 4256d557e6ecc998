// Resource IDs of the framework's tests.
#pragma once

#define IDD_TEST_PLAIN 101
#define IDD_TEST_JAPANESE 102
#define IDD_TEST_VISIBLE 103

#define IDC_TEST_EDIT 1001
#define IDC_TEST_EDIT2 1002
#define IDC_TEST_R1 1010
#define IDC_TEST_PUSH 1011
#define IDC_TEST_R2 1012
#define IDC_TEST_R3 1013
#define IDC_TEST_STOP 1014
#define IDC_TEST_R4 1015
#define IDC_TEST_CHECK 1016
#define IDC_TEST_COMBO 1017
#define IDC_TEST_IP 1018

#define IDS_TEST_JAPANESE 200
#define IDR_TEST_FRAME 300
#define ID_TEST_ITEM 32776
