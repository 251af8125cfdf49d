#include "ui/tray_icon.h"

#include "core/agent_state.h"
#include "base/text.h"
#include "resources/resource.h"

#include <shellapi.h>

namespace {

constexpr UINT kBalloonTimeoutMs = 10000;

void setIcon(int iconId) {
    gAgent.trayIconId = iconId;
    gAgent.trayIcon.hIcon = LoadIconA(gAgent.instance, MAKEINTRESOURCEA(iconId));
}

void updateRecord(int iconId, const char* tip) {
    if (iconId != 0) {
        setIcon(iconId);
    }
    if (tip != nullptr) {
        copyText(gAgent.trayIcon.szTip, sizeof gAgent.trayIcon.szTip, tip);
    }
}

} // namespace

int gTrayAddsToFail = 0;

bool addTrayIcon(HWND agentWindow) {
    NOTIFYICONDATAA& tray = gAgent.trayIcon;
    tray = NOTIFYICONDATAA{};
    tray.cbSize = NOTIFYICONDATAA_V2_SIZE;
    tray.hWnd = agentWindow;
    tray.uID = TRAY_ICON_ID;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    tray.uCallbackMessage = WM_TRAYICON;
    int received = gAgent.receivedCount;
    formatText(tray.szTip, sizeof tray.szTip, "Ранее принято писем - %d", received);
    setIcon(received != 0 ? IDI_MAIL : IDI_AGENT);
    if (received != 0) {
        copyText(tray.szInfo, sizeof tray.szInfo, tray.szTip);
    }
    tray.uTimeout = kBalloonTimeoutMs;
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
    return Shell_NotifyIconA(NIM_ADD, &tray) != FALSE || Shell_NotifyIconA(NIM_MODIFY, &tray) != FALSE;
}

void modifyTrayIcon(int iconId, const char* tip) {
    updateRecord(iconId, tip);
    if (gAgent.trayIcon.hWnd != nullptr) {
        Shell_NotifyIconA(NIM_MODIFY, &gAgent.trayIcon);
    }
}

void updateTrayRecord(int iconId, const char* tip) {
    updateRecord(iconId, tip);
}

void dropTrayBalloon() {
    gAgent.trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
}

void setTrayBalloon(const char* text) {
    copyText(gAgent.trayIcon.szInfo, sizeof gAgent.trayIcon.szInfo, text);
}

ReceivedTip::ReceivedTip(int count) {
    formatText(text, sizeof text, "Принято писем - %d", count);
}

void removeTrayIcon() {
    if (gAgent.trayIcon.hWnd != nullptr) {
        Shell_NotifyIconA(NIM_DELETE, &gAgent.trayIcon);
    }
}

TrayState trayState() {
    TrayState s;
    s.iconId = gAgent.trayIconId;
    copyText(s.tip, sizeof s.tip, gAgent.trayIcon.szTip);
    copyText(s.balloon, sizeof s.balloon, gAgent.trayIcon.szInfo);
    s.balloonFlag = (gAgent.trayIcon.uFlags & NIF_INFO) != 0;
    return s;
}
