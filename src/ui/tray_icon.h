// The agent's one tray icon record, its texts in Windows-1251. It belongs to the user-interface thread:
// only that thread changes it and hands it to the shell, so that a shell that
// hangs holds up no other thread. A poll cycle thread asks the agent window
// by a posted message instead.
//
// The record never carries a notification: a notification is one call of its
// own, so that no later change of the icon or tooltip shows it again.
#pragma once
#include <windows.h>
#include <shellapi.h>

// Fills the record (icon and tooltip by receivedCount) and adds the icon;
// true when the shell took it.
bool addTrayIcon(HWND agentWindow);

// Adds the icon again from the record as it stands (after the shell restarted,
// or after an add the shell did not take); true when the icon is there.
bool restoreTrayIcon();

// The tests make this many adds fail, as the shell does while it is not ready
// at logon. The program leaves it at 0.
extern int gTrayAddsToFail;

// Whether the shell took version 4 of the icon's messages at the last add:
// then the callback's lParam holds the event in its low word (NIN_SELECT,
// NIN_KEYSELECT, WM_CONTEXTMENU, ...) and wParam the point it refers to;
// otherwise lParam is the mouse message.
bool trayUsesVersion4();

// Sets icon and tooltip (either may be 0 / null to keep it) and modifies the
// icon. The mail icons show receivedCount over them.
void modifyTrayIcon(int iconId, const char* tip);

// Changes the record only; the shell sees it with the next modification.
void updateTrayRecord(int iconId, const char* tip);

// One notification beside the icon; true when the shell took it. The title
// and text are cut to the shell's 63 and 255 characters.
struct TrayNotification {
    const char* title;
    const char* text;
    DWORD flags; // NIIF_*
};
bool showTrayNotification(const TrayNotification& notification);

void removeTrayIcon();

// Called with every request handed to the shell, before it goes, as the
// shell gets it: in UTF-16 (the tests record them). Null in the program.
extern void (*gTrayShellCall)(DWORD message, const NOTIFYICONDATAW& data);

// The tooltip that counts the mails received: "Принято писем - N".
struct ReceivedTip {
    char text[64];
    explicit ReceivedTip(int count);
};

// What the record holds now (for the tests and the blink timer).
struct TrayState {
    int iconId;
    int count; // drawn over the icon; 0 for none
    char tip[128];
    HICON icon;
};
TrayState trayState();
