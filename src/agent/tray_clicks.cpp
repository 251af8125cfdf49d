#include "agent/tray_clicks.h"

#include "agent/tray_menu.h"
#include "agent/poll_cycle.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "resources/resource.h"
#include "ui/tray_icon.h"
#include "viewer/viewer_window.h"

#include <windowsx.h>

namespace {

HWND openSettings() {
    HWND settings = gAgent.settingsDialog;
    return gAgent.settingsOpen && settings != nullptr ? settings : nullptr;
}

HWND openViewerWindow() {
    HWND viewer = gAgent.viewerWindow;
    return gAgent.viewerOpen && viewer != nullptr ? viewer : nullptr;
}

void focusMailList(HWND viewer) {
    HWND list = GetDlgItem(viewer, IDC_MAIL_LIST);
    SetFocus(list != nullptr ? list : viewer);
}

// A new viewer comes to the foreground: the user asked for it from the tray,
// and the shell lets the agent take the foreground for that.
void openViewerInFront() {
    HWND viewer = openViewer(nullptr);
    if (viewer != nullptr) {
        SetForegroundWindow(viewer);
        focusMailList(viewer);
    }
}

// A click on the icon: an open window that is shown closes, a minimised one
// comes back, and with neither the viewer opens. Nothing while a poll
// fetches.
void onClick() {
    if (pollRunning()) {
        return;
    }
    if (HWND settings = openSettings()) {
        if (windowMinimised(settings)) {
            bringWindowBack(settings);
        } else {
            SendMessageA(settings, WM_CLOSE, 0, 0);
        }
    } else if (HWND viewer = openViewerWindow()) {
        if (windowMinimised(viewer)) {
            bringWindowBack(viewer);
            focusMailList(viewer);
        } else {
            SendMessageA(viewer, WM_CLOSE, 0, 0);
        }
    } else {
        openViewerInFront();
    }
}

// The keyboard's selection and a click on a notification: the open window
// comes to the front, or the viewer opens; they never close a window (the
// shell sends Enter's selection twice).
void onShow() {
    if (pollRunning()) {
        return;
    }
    HWND open = openSettings();
    if (open == nullptr) {
        open = openViewerWindow();
    }
    if (open != nullptr) {
        bringWindowBack(open);
        if (open == gAgent.viewerWindow.load()) {
            focusMailList(open);
        }
    } else {
        openViewerInFront();
    }
}

// The menu at the point the shell gives (the cursor, or the icon for the
// keyboard's context menu key).
void onContextMenu(HWND window, POINT at) {
    UniqueMenu menu(buildTrayMenu());
    if (!menu) {
        return;
    }
    HWND front = openSettings() != nullptr ? openSettings() : openViewerWindow();
    if (front != nullptr) {
        bringWindowBack(front);
    }
    SetForegroundWindow(window);
    UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    TrackPopupMenuEx(menu.get(), align | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, window, nullptr);
    PostMessageA(window, WM_NULL, 0, 0);
}

void onNoticeClick(HWND window, const TrayEvents& events) {
    UINT command = noticeClickCommand(events);
    if (command == IDM_VIEW_MAIL) {
        onShow();
    } else {
        SendMessageA(window, WM_COMMAND, command, 0);
    }
}

// A shell that did not take version 4 sends the mouse messages themselves.
void onOldStyleMessage(HWND window, UINT mouseMessage) {
    if (mouseMessage == WM_LBUTTONDOWN) {
        onClick();
    } else if (mouseMessage == WM_RBUTTONDOWN) {
        POINT cursor = {};
        GetCursorPos(&cursor);
        onContextMenu(window, cursor);
    }
}

} // namespace

bool windowMinimised(HWND window) {
    return IsIconic(window) || !IsWindowVisible(window);
}

void bringWindowBack(HWND window) {
    SetForegroundWindow(window);
    ShowWindow(window, SW_RESTORE);
    InvalidateRect(window, nullptr, TRUE);
}

void onTrayIconMessage(HWND agentWindow, WPARAM wParam, LPARAM lParam, const TrayEvents& events) {
    UINT event = LOWORD(lParam);
    if (event == NIN_BALLOONUSERCLICK) {
        onNoticeClick(agentWindow, events);
        return;
    }
    if (!trayUsesVersion4()) {
        onOldStyleMessage(agentWindow, event);
        return;
    }
    switch (event) {
    case NIN_SELECT:
        onClick();
        break;
    case NIN_KEYSELECT:
        onShow();
        break;
    case WM_CONTEXTMENU:
        onContextMenu(agentWindow, POINT{GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)});
        break;
    default:
        break;
    }
}
