#include "settings/settings_dialog.h"

#include "core/agent_state.h"
#include "core/settings_file.h"
#include "resources/resource.h"
#include "settings/program_update.h"
#include "settings/settings_pages.h"
#include "ui/alert_window.h"
#include "ui/paint_wait.h"
#include "ui/tray_icon.h"

#include <commctrl.h>

namespace {

struct PageKind {
    const char* tabText;
    int templateId;
    DLGPROC procedure;
};

const PageKind kPages[] = {
    {"Почтовые ящики", IDD_MAILBOX_PAGE, mailboxPageProc},
    {"Опции ", IDD_OPTIONS_PAGE, optionsPageProc},
    {"О программе", IDD_ABOUT_PAGE, aboutPageProc},
};
constexpr int kPageCount = sizeof kPages / sizeof kPages[0];

void insertTabs(HWND dialog) {
    HWND tabs = GetDlgItem(dialog, IDC_SETTINGS_TABS);
    for (int i = 0; i < kPageCount; i++) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(kPages[i].tabText);
        SendMessageA(tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
}

// Replaces the page shown by a new page of the given tab, so that every page
// reads its data afresh whenever it is shown. A page that cannot be created
// leaves the dialog without one.
void showPage(HWND dialog, int index) {
    HWND old = gAgent.settingsPage;
    gAgent.settingsPage = nullptr;
    if (old != nullptr) {
        DestroyWindow(old);
    }
    if (index >= 0 && index < kPageCount) {
        HWND page = CreateDialogParamA(gAgent.instance, MAKEINTRESOURCEA(kPages[index].templateId), dialog,
                                       kPages[index].procedure, 0);
        if (page != nullptr) {
            gAgent.settingsPage = page;
            // Above the tab control, which lies under the whole dialog.
            SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        }
    }
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

BOOL onInitDialog(HWND dialog) {
    insertTabs(dialog);
    gAgent.settingsOpen = 1;
    gAgent.settingsDialog = dialog;
    gAgent.settingsChanged = 0;
    forgetUnsavedMailboxes();
    showPage(dialog, 0);
    createAlertWindow(dialog);
    return TRUE;
}

void onTabChange(HWND dialog) {
    int index = static_cast<int>(SendDlgItemMessageA(dialog, IDC_SETTINGS_TABS, TCM_GETCURSEL, 0, 0));
    showPage(dialog, index);
}

// A change that calls for it starts a poll at once; the user settings are
// written at every closing.
void onClose(HWND dialog) {
    // Closing cancels an update download first: nothing of it waits behind
    // the closing's poll.
    stopUpdate();
    if (gAgent.settingsChanged) {
        // Starts a reception cycle, restarts the poll timer and returns after
        // the agent window's wait for the connection check.
        if (gAgent.agentWindow != nullptr) {
            SendMessageA(gAgent.agentWindow, WM_COMMAND, IDM_POLL_NOW, 0);
        }
        if (gAgent.internetOk) {
            showNotice("Идёт приём почты. Минуточку...", 0);
        } else {
            showNotice("Нет соединения с Интернет!", 1);
        }
        gAgent.settingsChanged = 0;
    }
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

// The tab control and the page cover the dialog: nothing of its own to
// draw. Its update region is validated by the paint cycle alone, so that the
// children keep theirs and paint themselves.
void onPaint(HWND dialog) {
    PAINTSTRUCT ps;
    if (BeginPaint(dialog, &ps) != nullptr) {
        EndPaint(dialog, &ps);
    }
}

BOOL onNotify(HWND dialog, const NMHDR* header) {
    if (header->idFrom != IDC_SETTINGS_TABS) {
        return FALSE;
    }
    if (header->code == TCN_SELCHANGE) {
        onTabChange(dialog);
        return TRUE;
    }
    if (header->code == TCN_SELCHANGING) {
        // The options page stays while it downloads an update: its progress
        // and its cancel button are there.
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, updateRunning() ? TRUE : FALSE);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void closeSettingsFromPage(HWND page) {
    HWND dialog = GetParent(page);
    if (dialog != nullptr) {
        SendMessageA(dialog, WM_CLOSE, 0, 0);
    }
}

void setPageStatus(HWND page, const char* text) {
    SetDlgItemTextA(page, IDC_STATUS_LINE, text);
}

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_NOTIFY:
        return onNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
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
    case WM_PAINT:
        onPaint(dialog);
        return TRUE;
    case WM_DESTROY:
        onDestroy();
        return TRUE;
    default:
        return FALSE;
    }
}
