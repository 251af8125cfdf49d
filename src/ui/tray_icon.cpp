#include "ui/tray_icon.h"

#include "core/agent_state.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "resources/resource.h"

#include <shellapi.h>

namespace {

constexpr UINT kBalloonTimeoutMs = 10000;

SRWLOCK trayLock = SRWLOCK_INIT;
int currentIconId = IDI_AGENT;

void setIconLocked(int iconId) {
    currentIconId = iconId;
    gAgent.trayIcon.hIcon = LoadIconA(gAgent.instance, MAKEINTRESOURCEA(iconId));
}

void updateTrayRecordLocked(int iconId, const char* tip) {
    if (iconId != 0) {
        setIconLocked(iconId);
    }
    if (tip != nullptr) {
        copyText(gAgent.trayIcon.szTip, sizeof gAgent.trayIcon.szTip, tip);
    }
}

} // namespace

bool addTrayIcon(HWND agentWindow) {
    ExclusiveLock lock(trayLock);
    NOTIFYICONDATAA& tray = gAgent.trayIcon;
    tray = NOTIFYICONDATAA{};
    tray.cbSize = NOTIFYICONDATAA_V2_SIZE;
    tray.hWnd = agentWindow;
    tray.uID = TRAY_ICON_ID;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    tray.uCallbackMessage = WM_TRAYICON;
    int received = gAgent.receivedCount;
    formatText(tray.szTip, sizeof tray.szTip, "Ранее принято писем - %d", received);
    setIconLocked(received != 0 ? IDI_MAIL : IDI_AGENT);
    if (received != 0) {
        copyText(tray.szInfo, sizeof tray.szInfo, tray.szTip);
    }
    tray.uTimeout = kBalloonTimeoutMs;
    return Shell_NotifyIconA(NIM_ADD, &tray) != FALSE;
}

void restoreTrayIcon() {
    ExclusiveLock lock(trayLock);
    if (gAgent.trayIcon.hWnd != nullptr) {
        Shell_NotifyIconA(NIM_ADD, &gAgent.trayIcon);
    }
}

void modifyTrayIcon(int iconId, const char* tip) {
    ExclusiveLock lock(trayLock);
    updateTrayRecordLocked(iconId, tip);
    if (gAgent.trayIcon.hWnd != nullptr) {
        Shell_NotifyIconA(NIM_MODIFY, &gAgent.trayIcon);
    }
}

void updateTrayRecord(int iconId, const char* tip) {
    ExclusiveLock lock(trayLock);
    updateTrayRecordLocked(iconId, tip);
}

void dropTrayBalloon() {
    ExclusiveLock lock(trayLock);
    gAgent.trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
}

void setTrayBalloon(const char* text) {
    ExclusiveLock lock(trayLock);
    copyText(gAgent.trayIcon.szInfo, sizeof gAgent.trayIcon.szInfo, text);
}

ReceivedTip::ReceivedTip(int count) {
    formatText(text, sizeof text, "Принято писем - %d", count);
}

void removeTrayIcon() {
    ExclusiveLock lock(trayLock);
    if (gAgent.trayIcon.hWnd != nullptr) {
        Shell_NotifyIconA(NIM_DELETE, &gAgent.trayIcon);
    }
}

TrayState trayState() {
    ExclusiveLock lock(trayLock);
    TrayState s;
    s.iconId = currentIconId;
    copyText(s.tip, sizeof s.tip, gAgent.trayIcon.szTip);
    copyText(s.balloon, sizeof s.balloon, gAgent.trayIcon.szInfo);
    s.balloonFlag = (gAgent.trayIcon.uFlags & NIF_INFO) != 0;
    return s;
}
