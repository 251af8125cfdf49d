// The notice window of class "AlertWin": short messages over a window.
#pragma once
#include <windows.h>

extern const char kAlertWindowClass[];  // "AlertWin"

LRESULT CALLBACK alertWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
