// Identifiers of resources, commands, timers and window messages shared by the
// windows and threads of the agent. Included by C++ code and by korvel.rc.
#pragma once

// Icons.
#define IDI_AGENT 101
#define IDI_GROUP_COLLAPSED 104
#define IDI_GROUP_EXPANDED 105
#define IDI_DELETE 107
#define IDI_POLLING 108
#define IDI_INSTALL 110
#define IDI_VIEW_COMPACT 1044
#define IDI_VIEW_DETAILED 1045
#define IDI_MAIL 1046
#define IDI_MAIL_BLINK 1047
#define IDI_ATTACHMENT 1049
#define IDI_SETTINGS 1052

// Dialogs: the settings dialog and its three pages, the installer.
#define IDD_MAILBOX_PAGE 1001
#define IDD_SETTINGS 1035
#define IDD_OPTIONS_PAGE 1038
#define IDD_ABOUT_PAGE 1053
#define IDD_INSTALL 1100
#define IDD_INSTALL_DONE 1103

// Settings dialog controls; every page has the status line and "Закрыть"
// (IDCANCEL).
#ifndef IDCANCEL
#define IDCANCEL 2 // as windows.h has it, for code that is built without it
#endif
#define IDC_SETTINGS_TABS 1034
#define IDC_STATUS_LINE 1006

// Mailbox page: controls, and the commands of its context menu.
#define IDC_MAILBOX_DELETE 1002
#define IDC_MAILBOX_ADD 1003
#define IDC_MAILBOX_EDIT 1004
#define IDC_MAILBOX_LIST 1007
#define IDC_MAILBOX_ALIAS 1009
#define IDC_MAILBOX_ADDRESS 1010
#define IDC_MAILBOX_PASSWORD 1011
#define IDC_MAILBOX_SAVE 1013
#define IDC_MAILBOX_GROUP 1024
#define IDC_MAILBOX_CANCEL 1027
#define IDC_MAILBOX_ALIAS_LABEL 1028
#define IDC_MAILBOX_ADDRESS_LABEL 1029
#define IDC_MAILBOX_PASSWORD_LABEL 1030
#define IDM_MAILBOX_EDIT 1018
#define IDM_MAILBOX_DELETE 1019
#define IDM_MAILBOX_ADD 1020
// Ids the Enter key of a settings page presses although no page has such a
// control: Enter in an edit field presses IDC_PAGE_ENTER and is consumed.
#define IDC_PAGE_ENTER 1012
#define IDC_PAGE_ENTER_OTHER 1031

// Options page controls.
#define IDC_OPTIONS_AUTOSTART 1025
#define IDC_OPTIONS_COPY 1033
#define IDC_OPTIONS_CLEAR_ARCHIVE 1039
#define IDC_OPTIONS_INTERVAL_SPIN 1042
#define IDC_OPTIONS_INTERVAL 1043
#define IDC_OPTIONS_BLINK 1055
#define IDC_OPTIONS_BLINK_COUNT 1056
#define IDC_OPTIONS_BLINK_SPIN 1057
#define IDC_OPTIONS_UPDATE 1061

// About page: the blue texts that the links lie over.
#define IDC_ABOUT_SERVICE 1104
#define IDC_ABOUT_AGENT_PAGE 1105
#define IDC_ABOUT_MAKER 1106

// Installation dialog controls.
#define IDC_INSTALL_AUTOSTART 1025
#define IDC_INSTALL_HERE 1058
#define IDC_INSTALL_DESKTOP 1059
#define IDC_INSTALL_GROUP 1060
#define IDC_INSTALL_FOLDER 1101
#define IDC_INSTALL_BROWSE 1102

// Commands of the agent window (WM_COMMAND identifiers).
#define IDM_SETTINGS 1021
#define IDM_VIEW_MAIL 1022
#define IDM_QUIT 1023
#define IDM_POLL_NOW 1037

// Timers of the agent window.
#define IDT_BLINK 1026
#define IDT_POLL 1041
// Retries a poll after the computer woke up until the network answers.
#define IDT_RESUME 1150
// Adds the tray icon again until the shell takes it (at logon it may not be
// ready yet).
#define IDT_TRAY_ADD 1151

// Posted by a poll cycle thread to the agent window at its end; wParam says
// what the cycle brought, lParam the mails received (agent/agent_window.h).
#define WM_POLL_DONE (WM_APP + 1)
// Posted by a poll cycle thread to the agent window with a text for a
// message box (lParam: a copy made by postPollNotice, freed by the window).
#define WM_POLL_NOTICE (WM_APP + 2)
// Posted by the update download's thread to the options page: more of the
// update file has arrived (the numbers are read from the download), and the
// download has ended.
#define WM_UPDATE_PROGRESS (WM_APP + 3)
#define WM_UPDATE_DONE (WM_APP + 4)
// Posted by a mailbox's IDLE connection to the agent window: its server
// announced a new mail.
#define WM_MAIL_ANNOUNCED (WM_APP + 5)
// Posted by the settings dialog to the agent window when it has closed.
#define WM_SETTINGS_CLOSED (WM_APP + 6)

// Tray icon.
#define WM_TRAYICON (WM_USER + 100)
#define TRAY_ICON_ID 16

// Viewer window children.
#define IDC_MAIL_LIST 1008
#define IDC_VIEWER_STATUS 1014
#define IDC_VIEWER_TABS 1961
#define IDC_VIEWER_DELETE 1962
#define IDC_VIEWER_UNDO 1963
#define IDC_VIEWER_GET_MAIL 1964
#define IDC_VIEWER_SETTINGS 1965
#define IDC_VIEWER_SIZE_TOGGLE 1966
