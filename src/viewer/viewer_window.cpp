#include "viewer/viewer_window.h"

#include "core/agent_state.h"
#include "core/settings_file.h"
#include "ui/tray_icon.h"
#include "resources/resource.h"
#include "ui/alert_window.h"

const char kViewerWindowClass[] = "Lumetra_Class";

namespace {

LRESULT onCreate(HWND window) {
    KillTimer(gAgent.agentWindow, IDT_BLINK);
    createAlertWindow(window);
    return 0;
}

void onDestroy(HWND window) {
    dropTrayBalloon();
    modifyTrayIcon(IDI_AGENT, ReceivedTip(0).text);
    RECT r;
    if (GetWindowRect(window, &r)) {
        saveViewerRect(ViewerRect{r.left, r.top, r.right, r.bottom}, gAgent.settings.winStyle, "WinPos");
    }
    if (gAgent.alertWindow != nullptr && GetParent(gAgent.alertWindow) == window) {
        gAgent.alertWindow = nullptr;
    }
    gAgent.telegramCount = 0;
    gAgent.runNewMailCount = 0;
    gAgent.newTelegramCount = 0;
    gAgent.receivedCount = 0;
    gAgent.viewerOpen = 0;
    gAgent.viewerWindow = nullptr;
}

} // namespace

HWND viewerButton(HWND viewer, ViewerButton which) {
    if (viewer == nullptr) {
        return nullptr;
    }
    switch (which) {
    case ViewerButton::Delete:
        return GetDlgItem(viewer, IDC_VIEWER_DELETE);
    case ViewerButton::Undo:
        return GetDlgItem(viewer, IDC_VIEWER_UNDO);
    case ViewerButton::GetMail:
        return GetDlgItem(viewer, IDC_VIEWER_GET_MAIL);
    case ViewerButton::Settings:
        return GetDlgItem(viewer, IDC_VIEWER_SETTINGS);
    case ViewerButton::SizeToggle:
        return GetDlgItem(viewer, IDC_VIEWER_SIZE_TOGGLE);
    }
    return nullptr;
}

HWND openViewer(HWND owner) {
    ViewerRect r = readViewerRect("WinPos");
    HWND window =
        CreateWindowExA(0, kViewerWindowClass, "Просмотр писем и телеграмм", WS_OVERLAPPEDWINDOW | WS_VISIBLE, r.left,
                        r.top, r.right - r.left, r.bottom - r.top, owner, nullptr, gAgent.instance, nullptr);
    if (window == nullptr) {
        gAgent.viewerOpen = 0;
        return nullptr;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    gAgent.viewerWindow = window;
    gAgent.viewerOpen = 1;
    return window;
}

// The viewer's contents (tabs, mail list, status bar) are not built yet: the
// window is a frame that keeps its place, hides when minimised and resets the
// tray when it closes.
LRESULT CALLBACK viewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return onCreate(window);
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) {
            ShowWindow(window, SW_HIDE);
        }
        return 0;
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
