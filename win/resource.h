#pragma once

// Ids of the window's resources (win/scoutcam_ui.rc) and of its commands.

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_SCOUTCAM_DIALOG 102
#define IDD_SUBNET_SECT 412
#define IDD_WAIT 633
#define IDD_SET_ADDR 693
#define IDD_SERIAL 696

// Menu, icon and image.
#define IDR_MENU_CONFIG 694
#define IDR_MAINFRAME 128
#define IDB_LOGO 130

// Main window.
#define IDC_DEVICE_LIST 1000
#define IDC_EXACT_SEARCH 1002
#define IDC_AUTO_SEARCH 1003
#define IDC_COUNT 1008
#define IDC_LOGO 1009
#define IDC_TOTAL_LABEL 1140

// About box.
#define IDC_LINK 1005
#define IDC_VERSION 1006
#define IDC_BUILD 1007

// Edit Network Address, Serial Code, Network Segment, wait window.
#define IDC_IP 1033
#define IDC_MASK 1035
#define IDC_GATEWAY 1036
#define IDC_PASSWORD 1068
#define IDC_BEGIN_IP 1040
#define IDC_END_IP 1041
#define IDC_SERIAL_CODE 1455
#define IDC_WAIT_TEXT 1140

// Commands of the device menu and the system menu's about item.
#define ID_BROWSE_WEB_PAGE 32771
#define ID_EDIT_NETWORK_ADDRESS 32993
#define ID_RESTORE_PASSWORD 32994
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
