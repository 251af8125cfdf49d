// The settings dialog (template 1035): a modeless dialog whose tab control
// shows one page at a time (mailboxes, options, about). While it exists no
// timed poll starts; closing it after a change starts one at once.
#pragma once
#include <windows.h>

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
