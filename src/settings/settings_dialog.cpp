#include "settings/settings_dialog.h"

#include "core/agent_state.h"
#include "core/settings_file.h"
#include "ui/tray_icon.h"
#include "base/text.h"
#include "resources/resource.h"
#include "ui/alert_window.h"

#include <commctrl.h>

namespace {

void insertTabs(HWND dialog) {
    HWND tabs = GetDlgItem(dialog, IDC_SETTINGS_TABS);
    const char* names[] = {"Почтовые ящики", "Опции ", "О программе"};
    for (int i = 0; i < 3; i++) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(names[i]);
        SendMessageA(tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
}

BOOL onInitDialog(HWND dialog) {
    insertTabs(dialog);
    gAgent.settingsOpen = 1;
    gAgent.settingsDialog = dialog;
    createAlertWindow(dialog);
    return TRUE;
}

void onClose(HWND dialog) {
    if (gAgent.alertWindow != nullptr && GetParent(gAgent.alertWindow) == dialog) {
        DestroyWindow(gAgent.alertWindow);
        gAgent.alertWindow = nullptr;
    }
    saveUserSettings();
    DestroyWindow(dialog);
}

void onDestroy() {
    gAgent.settingsOpen = 0;
    gAgent.settingsDialog = nullptr;
    gAgent.settingsPage = nullptr;
    bool news = gAgent.runNewMailCount != 0 || gAgent.newTelegramCount != 0;
    modifyTrayIcon(news ? IDI_MAIL : IDI_AGENT, ReceivedTip(gAgent.runNewMailCount).text);
}

// Minimised, the dialog leaves the screen; the tray icon brings it back.
void onSize(HWND dialog, WPARAM kind) {
    if (kind == SIZE_MINIMIZED) {
        ShowWindow(dialog, SW_HIDE);
        modifyTrayIcon(0, "Окно настроек активно");
    }
}

} // namespace

// The pages of the dialog are not built yet: it shows its tabs and saves the
// user settings when it closes.
INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            onClose(dialog);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        onClose(dialog);
        return TRUE;
    case WM_SIZE:
        onSize(dialog, wParam);
        return FALSE;
    case WM_DESTROY:
        onDestroy();
        return TRUE;
    default:
        return FALSE;
    }
}
