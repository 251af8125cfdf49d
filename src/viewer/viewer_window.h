// The viewer window: new and archived mails in two tabs.
#pragma once
#include <windows.h>

#include "viewer/viewer_button.h"

extern const char kViewerWindowClass[]; // "Lumetra_Class"

LRESULT CALLBACK viewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates and shows the viewer at its remembered place. On failure the user
// is told (a message box owned by owner) and null comes back.
HWND openViewer(HWND owner);

// One of the five status-bar buttons of a viewer window, or NULL.
HWND viewerButton(HWND viewer, ViewerButton which);
