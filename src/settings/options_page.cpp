// The options page (template 1038). For now it shows its controls and
// closes the dialog; the options themselves are not wired up yet.
#include "settings/settings_pages.h"

INT_PTR CALLBACK optionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        setPageStatus(page, "");
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            closeSettingsFromPage(page);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
