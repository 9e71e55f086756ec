#pragma once
// The resources of the Win32 wizard, shared by the resource script and the
// code (the script's preprocessor reads only the #defines). The controls the
// pages' logic names keep their numbers in the templates.

#define RV4410_MANIFEST_ID 1

// Dialog templates.
#define IDD_SPLASH 100
#define IDD_SETUP 102
#define IDD_WAITING 104
#define IDD_TRANSFER 105
#define IDD_COMMS 106

// The pictures and the application icon.
#define IDB_SETUP 109
#define IDB_TRANSFER 110
#define IDB_WAITING 116
#define IDI_APPLICATION_ICON 117
#define IDB_SPLASH 119

// Controls of ours, beside the ones the logic names.
#define IDC_SPLASH_PICTURE 1028
#define IDC_SPLASH_LINE1 1029
#define IDC_SPLASH_LINE2 1030
#define IDC_PAGE_PICTURE 1040
#define IDC_WAITING_TEXT 1017
#define IDC_WAITING_HINT 1018
#define IDC_SETUP_GROUP 1041
#define IDC_SETUP_CONFIG_LABEL 1042
#define IDC_COMMS_PORT_GROUP 1043
#define IDC_COMMS_RATE_GROUP 1044
// Beside each port button: what the system calls the port.
#define IDC_COMMS_PORT_NAME_FIRST 1051
// Below the ports: the other ports the system has.
#define IDC_COMMS_OTHER_PORTS 1055
#define IDC_LOG_WINDOW 1012
#define IDC_PROGRESS 1016
