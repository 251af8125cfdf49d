// The notifications beside the tray icon, one for each event: the mails
// received before the start, the first start after the installation, the
// mail a poll brought, a newly announced program version. A click on a
// notification does what that notification offers.
#pragma once
#include <windows.h>

enum class TrayNotice {
    None,
    EarlierMail,     // "Ранее принято писем - N" at start
    FirstStart,      // where the icon is, the mailboxes already there
    FirstStartEmpty, // where the icon is, and an offer to add a mailbox
    NewMail,
    NewVersion,
};

// The agent window's part of it, on the window's state.
struct TrayEvents {
    // The start's notices wait for the shell to take the icon.
    bool startPending = false;
    TrayNotice lastShown = TrayNotice::None;
};

// The icon is there: the start's notices, once.
void announceStart(TrayEvents& events);

// A poll cycle ended: new mail (when it brought some and the viewer is
// closed) and a newly announced version, each in a notification of its own.
void announcePollEnd(TrayEvents& events, bool broughtMail, bool newVersion);

// The command a click on the last notification stands for: the settings for
// the offer to add a mailbox, the viewer otherwise.
UINT noticeClickCommand(const TrayEvents& events);
