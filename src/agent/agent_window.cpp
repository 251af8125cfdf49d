#include "agent/agent_window.h"

#include "agent/agent_state.h"
#include "agent/event_log.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "resources/resource.h"
#include "settings/alert_window.h"
#include "viewer/button.h"
#include "viewer/viewer_window.h"

#include <shellapi.h>

const char kAgentWindowClass[] = "Lumetra_Agent_Class";
const char kAgentWindowTitle[] = "MAIn Window";

namespace {

constexpr DWORD kShutdownPollWaitMs = 10000;
constexpr UINT kBalloonTimeoutMs = 10000;

void setTrayIcon(int iconId) {
    gAgent.trayIcon.hIcon = LoadIconA(gAgent.instance, MAKEINTRESOURCEA(iconId));
}

// Every dialog of the process shows the agent icon: the icon is set on the
// system dialog class through a short-lived window of that class.
void setDialogClassIcon() {
    HWND probe = CreateWindowExA(0, MAKEINTATOM(32770), "", 0, 0, 0, 0, 0, nullptr, nullptr, gAgent.instance,
                                 nullptr);
    gAgent.classIcon = LoadIconA(gAgent.instance, MAKEINTRESOURCEA(IDI_AGENT));
    if (probe != nullptr) {
        SetClassLongPtrA(probe, GCLP_HICON, reinterpret_cast<LONG_PTR>(gAgent.classIcon));
        DestroyWindow(probe);
    }
}

void readAutoStart() {
    gAgent.autoStart = 0;
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Brastel\\Korvel\\", 0, KEY_READ, key.out()) != ERROR_SUCCESS) {
        return;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), "AutoStart", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof value) {
        gAgent.autoStart = value;
    }
}

LRESULT onCreate(HWND window) {
    gAgent.agentWindow = window;
    setDialogClassIcon();
    readAutoStart();
    gAgent.blinkCount = 0;
    gAgent.telegramCount = 0;
    gAgent.highestMailNumber = 0;
    return 0;
}

bool pollRunning() {
    return gAgent.pollThread.load() != nullptr;
}

void addMenuItem(HMENU menu, UINT id, const char* text, bool enabled) {
    AppendMenuA(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), id, text);
}

void showTrayMenu(HWND window) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    bool polling = pollRunning();
    bool settingsOpen = gAgent.settingsOpen != 0;
    bool viewerOpen = gAgent.viewerOpen != 0;
    if (polling) {
        addMenuItem(menu, IDM_POLL_NOW, "Опрос почты. Ждите...", false);
    } else {
        addMenuItem(menu, IDM_POLL_NOW, "Получить почту", !settingsOpen);
    }
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    HWND front = nullptr;
    if (settingsOpen) {
        addMenuItem(menu, IDM_VIEW_MAIL, "Новые письма", true);
        addMenuItem(menu, IDM_SETTINGS, "Настройки", false);
        front = gAgent.settingsDialog;
    } else if (viewerOpen) {
        addMenuItem(menu, IDM_VIEW_MAIL, "Новые письма", false);
        addMenuItem(menu, IDM_SETTINGS, "Настройки", true);
        front = gAgent.viewerWindow;
    } else {
        addMenuItem(menu, IDM_VIEW_MAIL, "Новые письма", !polling);
        addMenuItem(menu, IDM_SETTINGS, "Настройки", !polling);
    }
    addMenuItem(menu, IDM_QUIT, "Отключить Агента", true);
    if (front != nullptr) {
        SetForegroundWindow(front);
        ShowWindow(front, SW_RESTORE);
        InvalidateRect(front, nullptr, TRUE);
    }
    POINT cursor = {};
    GetCursorPos(&cursor);
    SetForegroundWindow(window);
    TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor.x - 5, cursor.y - 10, window,
                     nullptr);
    PostMessageA(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

LRESULT onTrayIcon(HWND window, LPARAM mouseMessage) {
    if (mouseMessage == WM_RBUTTONDOWN) {
        showTrayMenu(window);
    }
    return 0;
}

LRESULT onCommand(HWND window, WORD id) {
    switch (id) {
    case IDM_QUIT:
        DestroyWindow(window);
        break;
    default:
        break;
    }
    return 0;
}

void deleteServiceFile(const char* name) {
    char path[kPathCapacity + 32];
    formatText(path, sizeof path, "%s%s", gAgent.serviceFolder, name);
    DeleteFileA(path);
}

LRESULT onDestroy(HWND window) {
    if (gAgent.settingsOpen && gAgent.settingsDialog.load() != nullptr) {
        SendMessageA(gAgent.settingsDialog, WM_CLOSE, 0, 0);
    }
    if (gAgent.viewerOpen && gAgent.viewerWindow.load() != nullptr) {
        SendMessageA(gAgent.viewerWindow, WM_CLOSE, 0, 0);
    }
    HANDLE poll = gAgent.pollThread.load();
    if (poll != nullptr) {
        WaitForSingleObject(poll, kShutdownPollWaitMs);
    }
    if (gAgent.classIcon != nullptr) {
        DestroyIcon(gAgent.classIcon);
        gAgent.classIcon = nullptr;
    }
    deleteServiceFile("MailTmp.txt");
    closeEventLog("Агент завершил работу\r\n");
    KillTimer(window, IDT_POLL);
    KillTimer(window, IDT_BLINK);
    Shell_NotifyIconA(NIM_DELETE, &gAgent.trayIcon);
    if (gAgent.taskAllocator != nullptr) {
        gAgent.taskAllocator->Release();
        gAgent.taskAllocator = nullptr;
    }
    CoUninitialize();
    UnregisterClassA(kAgentWindowClass, gAgent.instance);
    UnregisterClassA(kViewerWindowClass, gAgent.instance);
    UnregisterClassA(kButtonClass, gAgent.instance);
    UnregisterClassA(kAlertWindowClass, gAgent.instance);
    PostQuitMessage(0);
    return 0;
}

} // namespace

LRESULT CALLBACK agentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return onCreate(window);
    case WM_COMMAND:
        return onCommand(window, LOWORD(wParam));
    case WM_TRAYICON:
        return onTrayIcon(window, lParam);
    case WM_DESTROY:
        return onDestroy(window);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

DWORD WINAPI trayIconThread(void*) {
    NOTIFYICONDATAA& tray = gAgent.trayIcon;
    tray = NOTIFYICONDATAA{};
    tray.cbSize = NOTIFYICONDATAA_V2_SIZE;
    tray.hWnd = gAgent.agentWindow;
    tray.uID = TRAY_ICON_ID;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    tray.uCallbackMessage = WM_TRAYICON;
    int received = gAgent.receivedCount;
    formatText(tray.szTip, sizeof tray.szTip, "Ранее принято писем - %d", received);
    setTrayIcon(received != 0 ? IDI_MAIL : IDI_AGENT);
    if (received != 0) {
        copyText(tray.szInfo, sizeof tray.szInfo, tray.szTip);
    }
    tray.uTimeout = kBalloonTimeoutMs;
    return Shell_NotifyIconA(NIM_ADD, &tray) ? 1 : 0;
}
