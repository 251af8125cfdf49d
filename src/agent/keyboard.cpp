#include "agent/keyboard.h"

#include "core/agent_state.h"
#include "agent/key_table.h"
#include "viewer/viewer_window.h"

#include <commctrl.h>

namespace {

constexpr DWORD kPressShowMs = 100;

int controlId(HWND control) {
    return control != nullptr ? GetDlgCtrlID(control) : 0;
}

// The focused control when it belongs to the settings page.
HWND focusOnPage(HWND page) {
    HWND focus = GetFocus();
    return focus != nullptr && page != nullptr && IsChild(page, focus) ? focus : nullptr;
}

bool isShown(HWND page, int id) {
    HWND control = GetDlgItem(page, id);
    return control != nullptr && IsWindowVisible(control);
}

KeyContext gatherContext() {
    KeyContext c;
    HWND settings = gAgent.settingsDialog;
    c.settingsOpen = gAgent.settingsOpen != 0 && settings != nullptr && IsWindow(settings);
    HWND focus = GetFocus();
    c.settingsFocused = c.settingsOpen && focus != nullptr && GetAncestor(focus, GA_ROOT) == settings;
    HWND page = gAgent.settingsPage;
    if (c.settingsOpen && page != nullptr) {
        c.focusedControl = controlId(focusOnPage(page));
        c.escapeControlVisible = isShown(page, kEscapeControl);
        c.saveVisible = isShown(page, IDC_MAILBOX_SAVE);
    }
    HWND viewer = gAgent.viewerWindow;
    c.viewerUsable = viewer != nullptr && IsWindow(viewer) && !IsIconic(viewer);
    c.ctrlPressed = GetKeyState(VK_CONTROL) < 0;
    c.shiftPressed = GetKeyState(VK_SHIFT) < 0;
    if (c.viewerUsable) {
        HWND undo = viewerButton(viewer, ViewerButton::Undo);
        c.undoEnabled = undo != nullptr && IsWindowEnabled(undo);
    }
    return c;
}

// Shows the button pressed for a moment, then clicks it.
void pressButton(int id) {
    HWND button = GetDlgItem(gAgent.settingsPage, id);
    if (button == nullptr) {
        return;
    }
    SendMessageA(button, BM_SETSTATE, TRUE, 0);
    Sleep(kPressShowMs);
    SendMessageA(button, BM_SETSTATE, FALSE, 0);
    PostMessageA(button, BM_CLICK, 0, 0);
}

bool isPushButton(HWND control) {
    if (control == nullptr) {
        return false;
    }
    char className[16];
    if (GetClassNameA(control, className, sizeof className) == 0 || lstrcmpiA(className, "Button") != 0) {
        return false;
    }
    LONG_PTR type = GetWindowLongPtrA(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// Gives the default-button look to the push button that takes the focus.
// Only push buttons change style: a check box given BS_PUSHBUTTON would turn
// into one.
void moveDefaultLook(HWND previous, HWND next) {
    if (keepsDefaultButtonLook(controlId(next))) {
        return;
    }
    if (previous != nullptr && previous != next && isPushButton(previous)) {
        SendMessageA(previous, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }
    if (isPushButton(next)) {
        SendMessageA(next, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    }
}

// Tab and Shift+Tab walk the page's tab stops and, past its first or last,
// the row of tabs, as in any dialog with pages.
void moveTabStop(bool backward) {
    HWND page = gAgent.settingsPage;
    if (page == nullptr) {
        return;
    }
    HWND tabs = GetDlgItem(gAgent.settingsDialog, IDC_SETTINGS_TABS);
    HWND previous = focusOnPage(page);
    // The tab stop before the first one is the last: the search goes round.
    HWND first = GetNextDlgTabItem(page, nullptr, FALSE);
    HWND last = first != nullptr ? GetNextDlgTabItem(page, first, TRUE) : nullptr;
    HWND next = nullptr;
    if (previous == nullptr) {
        next = backward ? last : first; // from the tabs into the page
    } else if (tabs != nullptr && previous == (backward ? first : last)) {
        next = tabs;
    } else {
        next = GetNextDlgTabItem(page, previous, backward ? TRUE : FALSE);
    }
    if (next == nullptr) {
        return;
    }
    SetFocus(next);
    moveDefaultLook(previous, next);
}

// Ctrl+Tab and Ctrl+Shift+Tab change pages as a click on a tab does: the
// dialog is asked first (a page may have to stay while its work runs).
void switchPage(int step) {
    HWND dialog = gAgent.settingsDialog;
    HWND tabs = GetDlgItem(dialog, IDC_SETTINGS_TABS);
    int count = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
    if (tabs == nullptr || count <= 1) {
        return;
    }
    int current = static_cast<int>(SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
    NMHDR header = {tabs, static_cast<UINT_PTR>(IDC_SETTINGS_TABS), static_cast<UINT>(TCN_SELCHANGING)};
    if (SendMessageA(dialog, WM_NOTIFY, IDC_SETTINGS_TABS, reinterpret_cast<LPARAM>(&header)) != 0) {
        return;
    }
    SendMessageA(tabs, TCM_SETCURSEL, static_cast<WPARAM>((current + step + count) % count), 0);
    header.code = static_cast<UINT>(TCN_SELCHANGE);
    SendMessageA(dialog, WM_NOTIFY, IDC_SETTINGS_TABS, reinterpret_cast<LPARAM>(&header));
    HWND first = gAgent.settingsPage != nullptr ? GetNextDlgTabItem(gAgent.settingsPage, nullptr, FALSE) : nullptr;
    SetFocus(first != nullptr ? first : tabs);
}

} // namespace

int handleKey(WPARAM key) {
    KeyAction action = decideKey(static_cast<int>(key), gatherContext());
    switch (action.kind) {
    case KeyActionKind::NextTabStop:
    case KeyActionKind::PreviousTabStop:
        moveTabStop(action.kind == KeyActionKind::PreviousTabStop);
        break;
    case KeyActionKind::NextPage:
    case KeyActionKind::PreviousPage:
        switchPage(action.kind == KeyActionKind::NextPage ? 1 : -1);
        break;
    case KeyActionKind::PressButton:
        pressButton(action.control);
        break;
    case KeyActionKind::CloseViewer:
        PostMessageA(gAgent.viewerWindow, WM_CLOSE, 0, 0);
        break;
    case KeyActionKind::ClickViewer: {
        HWND button = viewerButton(gAgent.viewerWindow, action.button);
        if (button != nullptr) {
            PostMessageA(button, WM_LBUTTONUP, 0, 0);
        }
        break;
    }
    case KeyActionKind::None:
        break;
    }
    return action.consumed ? 1 : 0;
}
