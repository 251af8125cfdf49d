#include "settings/settings_dialog.h"

#include "base/wide_text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "core/settings_file.h"
#include "resources/resource.h"
#include "settings/settings_pages.h"
#include "ui/alert_window.h"
#include "ui/tray_icon.h"
#include "ui/window_state.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <memory>
#include <new>

namespace {

struct PageKind {
    const char* tabText;
    int templateId;
    DLGPROC procedure;
    // Work of the page that the dialog waits for: the tab stays while it
    // runs, and the dialog's closing ends it first (null: none).
    bool (*busy)(HWND page);
    void (*stop)(HWND page);
};

const PageKind kPages[] = {
    {"Почтовые ящики", IDD_MAILBOX_PAGE, mailboxPageProc, nullptr, nullptr},
    {"Опции ", IDD_OPTIONS_PAGE, optionsPageProc, optionsPageBusy, stopOptionsPage},
    {"О программе", IDD_ABOUT_PAGE, aboutPageProc, nullptr, nullptr},
};
constexpr int kPageCount = sizeof kPages / sizeof kPages[0];

// What the dialog keeps while it is open (DWLP_USER).
struct DialogState {
    int pageIndex = -1; // the tab whose page is shown; -1: none
    bool unsavedAccounts = false;
};

DialogState* stateOf(HWND dialog) {
    return windowState<DialogState>(dialog, DWLP_USER);
}

// The kind of the page shown; null when none is.
const PageKind* shownKind(HWND dialog) {
    DialogState* state = stateOf(dialog);
    if (state == nullptr || state->pageIndex < 0 || gAgent.settingsPage == nullptr) {
        return nullptr;
    }
    return &kPages[state->pageIndex];
}

void insertTabs(HWND dialog) {
    HWND tabs = GetDlgItem(dialog, IDC_SETTINGS_TABS);
    for (int i = 0; i < kPageCount; i++) {
        WideText text(kPages[i].tabText);
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(text.get());
        SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

// Replaces the page shown by a new page of the given tab, so that every page
// reads its data afresh whenever it is shown. A page that cannot be created
// leaves the dialog without one.
void showPage(HWND dialog, DialogState& state, int index) {
    HWND old = gAgent.settingsPage;
    gAgent.settingsPage = nullptr;
    state.pageIndex = -1;
    if (old != nullptr) {
        DestroyWindow(old);
    }
    if (index >= 0 && index < kPageCount) {
        HWND page = CreateDialogParamW(gAgent.instance, MAKEINTRESOURCEW(kPages[index].templateId), dialog,
                                       kPages[index].procedure, 0);
        if (page != nullptr && !pageHasState(page)) {
            DestroyWindow(page); // no memory for its state
            page = nullptr;
        }
        if (page != nullptr) {
            // The page takes the tab control's themed background, as the
            // system's own dialogs with pages do; without themes it keeps
            // the dialog colour.
            EnableThemeDialogTexture(page, ETDT_ENABLETAB);
            gAgent.settingsPage = page;
            state.pageIndex = index;
            // Above the tab control, which lies under the whole dialog.
            SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        }
    }
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Without memory for its state the dialog does not come up.
BOOL onInitDialog(HWND dialog) {
    std::unique_ptr<DialogState> owned(new (std::nothrow) DialogState);
    DialogState* state = owned.get();
    if (!owned || !attachWindowState(dialog, DWLP_USER, std::move(owned))) {
        DestroyWindow(dialog);
        return FALSE;
    }
    insertTabs(dialog);
    gAgent.settingsOpen = 1;
    gAgent.settingsDialog = dialog;
    gAgent.settingsChanged = 0;
    showPage(dialog, *state, 0);
    createAlertWindow(dialog);
    return TRUE;
}

void onTabChange(HWND dialog, DialogState& state) {
    int index = static_cast<int>(SendDlgItemMessageA(dialog, IDC_SETTINGS_TABS, TCM_GETCURSEL, 0, 0));
    showPage(dialog, state, index);
}

// A change that calls for it starts a poll at once; the user settings are
// written at every closing.
void onClose(HWND dialog) {
    // Closing ends the page's work first (an update download): nothing of it
    // waits behind the closing's poll.
    const PageKind* kind = shownKind(dialog);
    if (kind != nullptr && kind->stop != nullptr) {
        kind->stop(gAgent.settingsPage);
    }
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
    // The agent reads the mailboxes anew for their IDLE connections.
    if (gAgent.agentWindow != nullptr) {
        PostMessageA(gAgent.agentWindow, WM_SETTINGS_CLOSED, 0, 0);
    }
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
    PaintScope paint(dialog);
}

BOOL onNotify(HWND dialog, DialogState& state, const NMHDR* header) {
    if (header->idFrom != IDC_SETTINGS_TABS) {
        return FALSE;
    }
    if (header->code == TCN_SELCHANGE) {
        onTabChange(dialog, state);
        return TRUE;
    }
    if (header->code == TCN_SELCHANGING) {
        // A page stays while its work runs (the options page's download: its
        // progress and its cancel button are there).
        const PageKind* kind = shownKind(dialog);
        bool stays = kind != nullptr && kind->busy != nullptr && kind->busy(gAgent.settingsPage);
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, stays ? TRUE : FALSE);
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

bool mailboxesUnsaved(HWND page) {
    DialogState* state = stateOf(GetParent(page));
    return state != nullptr && state->unsavedAccounts;
}

void setMailboxesUnsaved(HWND page, bool unsaved) {
    if (DialogState* state = stateOf(GetParent(page))) {
        state->unsavedAccounts = unsaved;
    }
}

void setPageStatus(HWND page, const char* text) {
    setItemText(page, IDC_STATUS_LINE, text);
}

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return onInitDialog(dialog);
    }
    DialogState* state = stateOf(dialog);
    if (state == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_NOTIFY:
        return onNotify(dialog, *state, reinterpret_cast<const NMHDR*>(lParam));
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
    case WM_NCDESTROY:
        detachWindowState<DialogState>(dialog, DWLP_USER);
        return FALSE;
    default:
        return FALSE;
    }
}
