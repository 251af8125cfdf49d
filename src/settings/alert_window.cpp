#include "settings/alert_window.h"

const char kAlertWindowClass[] = "AlertWin";

LRESULT CALLBACK alertWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}
