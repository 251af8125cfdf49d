#include "ui/tray_icon.h"

#include "base/text.h"
#include "base/wide_text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "resources/resource.h"
#include "ui/count_icon.h"

namespace {

// With NOTIFYICON_VERSION_4 the shell shows the tooltip only when asked to.
constexpr UINT kRecordFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;

// The picture the record shows, made for its icon, count and size.
struct TrayPicture {
    IconOwner icon;
    int iconId = 0;
    int count = 0;
    int size = 0;
};
TrayPicture picture;
bool version4 = false;

bool showsCount(int iconId) {
    return iconId == IDI_MAIL || iconId == IDI_MAIL_BLINK;
}

// Makes the picture anew when the icon, the count or the size the shell asks
// for has changed; a picture that cannot be made keeps the last one.
void refreshPicture() {
    NOTIFYICONDATAA& tray = gAgent.trayIcon;
    int iconId = gAgent.trayIconId;
    int count = showsCount(iconId) ? gAgent.receivedCount.load() : 0;
    int size = smallIconSize(tray.hWnd);
    if (picture.icon && picture.iconId == iconId && picture.count == count && picture.size == size) {
        return;
    }
    HICON made = makeCountIcon(gAgent.instance, iconId, count, size);
    if (made == nullptr) {
        return;
    }
    picture.icon.reset(made);
    picture.iconId = iconId;
    picture.count = count;
    picture.size = size;
    tray.hIcon = made;
}

void updateRecord(int iconId, const char* tip) {
    if (iconId != 0) {
        gAgent.trayIconId = iconId;
    }
    if (tip != nullptr) {
        copyText(gAgent.trayIcon.szTip, sizeof gAgent.trayIcon.szTip, tip);
    }
}

// The record's texts are Windows-1251; the shell gets them as UTF-16, so that
// they read in Russian whatever the system's code page.
NOTIFYICONDATAW wideRecord(const NOTIFYICONDATAA& data) {
    NOTIFYICONDATAW wide = {};
    wide.cbSize = sizeof wide;
    wide.hWnd = data.hWnd;
    wide.uID = data.uID;
    wide.uFlags = data.uFlags;
    wide.uCallbackMessage = data.uCallbackMessage;
    wide.hIcon = data.hIcon;
    wide.dwState = data.dwState;
    wide.dwStateMask = data.dwStateMask;
    wide.uVersion = data.uVersion;
    wide.dwInfoFlags = data.dwInfoFlags;
    wide.guidItem = data.guidItem;
    wide.hBalloonIcon = data.hBalloonIcon;
    widenText(data.szTip, wide.szTip, ARRAYSIZE(wide.szTip));
    widenText(data.szInfo, wide.szInfo, ARRAYSIZE(wide.szInfo));
    widenText(data.szInfoTitle, wide.szInfoTitle, ARRAYSIZE(wide.szInfoTitle));
    return wide;
}

BOOL callShell(DWORD message, const NOTIFYICONDATAA& data) {
    NOTIFYICONDATAW wide = wideRecord(data);
    if (gTrayShellCall != nullptr) {
        gTrayShellCall(message, wide);
    }
    return Shell_NotifyIconW(message, &wide);
}

// Keyboard selection, the context menu key and notification clicks reach the
// agent only with version 4 of the icon's messages; the shell forgets it with
// the icon, so it is asked for after every add.
void askForVersion4() {
    NOTIFYICONDATAA request = gAgent.trayIcon;
    request.uVersion = NOTIFYICON_VERSION_4;
    version4 = callShell(NIM_SETVERSION, request) != FALSE;
}

} // namespace

int gTrayAddsToFail = 0;
void (*gTrayShellCall)(DWORD message, const NOTIFYICONDATAW& data) = nullptr;

bool addTrayIcon(HWND agentWindow) {
    NOTIFYICONDATAA& tray = gAgent.trayIcon;
    tray = NOTIFYICONDATAA{};
    tray.cbSize = sizeof tray;
    tray.hWnd = agentWindow;
    tray.uID = TRAY_ICON_ID;
    tray.uFlags = kRecordFlags;
    tray.uCallbackMessage = WM_TRAYICON;
    int received = gAgent.receivedCount;
    formatText(tray.szTip, sizeof tray.szTip, "Ранее принято писем - %d", received);
    gAgent.trayIconId = received != 0 ? IDI_MAIL : IDI_AGENT;
    picture.icon.reset();
    return restoreTrayIcon();
}

// An add whose answer timed out may still have been taken by the shell; a
// repeated add of that icon then fails, and the modification shows it is
// there.
bool restoreTrayIcon() {
    NOTIFYICONDATAA& tray = gAgent.trayIcon;
    if (tray.hWnd == nullptr) {
        return false;
    }
    if (gTrayAddsToFail > 0) {
        gTrayAddsToFail--;
        return false;
    }
    refreshPicture();
    bool added = callShell(NIM_ADD, tray) != FALSE;
    if (!added && callShell(NIM_MODIFY, tray) == FALSE) {
        return false;
    }
    askForVersion4();
    return true;
}

bool trayUsesVersion4() {
    return version4;
}

void modifyTrayIcon(int iconId, const char* tip) {
    updateRecord(iconId, tip);
    if (gAgent.trayIcon.hWnd != nullptr) {
        refreshPicture();
        callShell(NIM_MODIFY, gAgent.trayIcon);
    }
}

void updateTrayRecord(int iconId, const char* tip) {
    updateRecord(iconId, tip);
}

// The notification goes in a copy of the record that carries nothing else:
// the record itself never holds NIF_INFO.
bool showTrayNotification(const TrayNotification& notification) {
    const NOTIFYICONDATAA& tray = gAgent.trayIcon;
    if (tray.hWnd == nullptr) {
        return false;
    }
    NOTIFYICONDATAA request = {};
    request.cbSize = sizeof request;
    request.hWnd = tray.hWnd;
    request.uID = tray.uID;
    request.uFlags = NIF_INFO;
    copyText(request.szInfoTitle, sizeof request.szInfoTitle, notification.title);
    copyText(request.szInfo, sizeof request.szInfo, notification.text);
    request.dwInfoFlags = notification.flags;
    return callShell(NIM_MODIFY, request) != FALSE;
}

ReceivedTip::ReceivedTip(int count) {
    formatText(text, sizeof text, "Принято писем - %d", count);
}

void removeTrayIcon() {
    if (gAgent.trayIcon.hWnd != nullptr) {
        callShell(NIM_DELETE, gAgent.trayIcon);
    }
}

TrayState trayState() {
    TrayState s;
    s.iconId = gAgent.trayIconId;
    s.count = picture.iconId == s.iconId ? picture.count : 0;
    copyText(s.tip, sizeof s.tip, gAgent.trayIcon.szTip);
    s.icon = gAgent.trayIcon.hIcon;
    return s;
}
