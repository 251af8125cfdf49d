// What the user does with the tray icon: a click, the keyboard's selection,
// the context menu, a click on a notification.
#pragma once
#include <windows.h>

#include "agent/tray_events.h"

// A WM_TRAYICON message of the agent window.
void onTrayIconMessage(HWND agentWindow, WPARAM wParam, LPARAM lParam, const TrayEvents& events);

// Shown, or gone to the tray by minimising.
bool windowMinimised(HWND window);

// To the foreground, restored and repainted.
void bringWindowBack(HWND window);
