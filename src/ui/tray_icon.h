// The agent's one tray icon record. It belongs to the user-interface thread:
// only that thread changes it and hands it to the shell, so that a shell that
// hangs holds up no other thread. A poll cycle thread asks the agent window
// by a posted message instead.
#pragma once
#include <windows.h>

// Fills the record (icon, tooltip and balloon by receivedCount) and adds the
// icon; true when the shell took it.
bool addTrayIcon(HWND agentWindow);

// Adds the icon again from the record as it stands (after the shell restarted,
// or after an add the shell did not take); true when the icon is there.
bool restoreTrayIcon();

// The tests make this many adds fail, as the shell does while it is not ready
// at logon. The program leaves it at 0.
extern int gTrayAddsToFail;

// Sets icon and tooltip (either may be 0 / null to keep it) and modifies the
// icon with the record's flags.
void modifyTrayIcon(int iconId, const char* tip);

// Changes the record only; the shell sees it with the next modification.
void updateTrayRecord(int iconId, const char* tip);

// From now on modifications carry no balloon.
void dropTrayBalloon();

// The balloon text shown with the next modification that carries a balloon.
void setTrayBalloon(const char* text);

void removeTrayIcon();

// The tooltip that counts the mails received: "Принято писем - N".
struct ReceivedTip {
    char text[64];
    explicit ReceivedTip(int count);
};

// What the record holds now (for the tests and the blink timer).
struct TrayState {
    int iconId;
    char tip[128];
    char balloon[256];
    bool balloonFlag;
};
TrayState trayState();
