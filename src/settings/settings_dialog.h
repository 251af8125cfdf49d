// The settings dialog (template 1035): a modeless dialog with the tabs of the
// mailbox, options and about pages.
#pragma once
#include <windows.h>

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
