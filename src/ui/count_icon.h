// The tray icon's picture: the agent's icons at the size the shell shows
// them, with the number of new mails drawn over the mail icons.
#pragma once
#include <windows.h>

#include <cstddef>

// The small icon size at the DPI of the window (the system's DPI where
// Windows cannot tell a window's own): the size the notification area asks
// for.
int smallIconSize(HWND window);

// The text drawn for a count: the number, "99+" above 99.
void formatIconCount(int count, char* text, size_t capacity);

// A new icon, which the caller destroys: the icon resource iconId at size x
// size pixels with count drawn in its lower right corner (nothing drawn for
// 0 or less). Null when the icon could not be made.
HICON makeCountIcon(HINSTANCE instance, int iconId, int count, int size);
