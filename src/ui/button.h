// The borderless click areas of class "Кнопка" (viewer status bar, About page).
#pragma once
#include <windows.h>

extern const char kButtonClass[]; // "Кнопка"

LRESULT CALLBACK buttonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
