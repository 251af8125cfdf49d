// The hidden agent window: owner of the tray icon and the agent's timers,
// opener of the viewer and the settings dialog, starter of poll cycles.
#pragma once
#include <windows.h>

extern const char kAgentWindowClass[]; // "Lumetra_Agent_Class"
extern const char kAgentWindowTitle[]; // "MAIn Window"

LRESULT CALLBACK agentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Only the agent window's thread hands the tray record to the shell; the
// start-up and the poll cycle thread ask it by these posted messages.
// Add the icon (posted once by the start-up).
constexpr UINT WM_TRAY_ADD = WM_APP + 40;
// A reception cycle starts fetching: the polling icon.
constexpr UINT WM_POLL_FETCHING = WM_APP + 41;
// What a cycle's WM_POLL_DONE carries in wParam (lParam: the mails the tray
// counts as received).
constexpr WPARAM kPollBroughtMail = 1;
constexpr WPARAM kPollNewVersion = 2;

// The tray menu for the agent's present state (the caller destroys it).
HMENU buildTrayMenu();
