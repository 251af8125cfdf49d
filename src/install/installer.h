// The installation dialog, shown where the executable finds no account list.
#pragma once
#include <windows.h>

INT_PTR CALLBACK installDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
