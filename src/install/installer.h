// The installation dialog, shown where the executable finds no account list.
#pragma once
#include <windows.h>

// Dialog procedure of the installation dialog (template IDD_INSTALL, modal,
// no owner), started with the InstallKind as its parameter. Installing ends
// it, reports the completion and starts the installed agent.
INT_PTR CALLBACK installDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
