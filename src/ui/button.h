// The borderless click areas of class "Кнопка" (viewer status bar, About
// page): the window text in blue (reddish when disabled), centred, on a
// transparent background. A click is the release of the left button.
//
// A link button opens its web address with the shell. Any other button
// tells its parent: WM_COMMAND with its control id and BN_CLICKED (a button
// without an id ignores the click).
#pragma once
#include <windows.h>

extern const char kButtonClass[]; // "Кнопка"

LRESULT CALLBACK buttonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates an empty button over area (pixels of parent's client area) with the
// control id; null when it could not be made. The class name is Russian, so
// the window is made through the W function.
HWND createButtonWindow(DWORD extendedStyle, const RECT& area, HWND parent, int id);

// Creates a transparent, empty link over area (pixels of parent's client
// area) that opens address; null when it could not be created.
HWND createLinkButton(HWND parent, const RECT& area, const char* address);
