// The hidden agent window: owner of the tray icon and the agent's timers,
// opener of the viewer and the settings dialog, starter of poll cycles.
#pragma once
#include <windows.h>

extern const char kAgentWindowClass[]; // "Lumetra_Agent_Class"
extern const char kAgentWindowTitle[]; // "MAIn Window"

LRESULT CALLBACK agentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Adds the tray icon once at start-up; runs on a thread of its own.
DWORD WINAPI trayIconThread(void* unused);

// The tray menu for the agent's present state (the caller destroys it).
HMENU buildTrayMenu();
