// Reading and writing MailBox.txt and MessBox.txt (the callers pass the
// service folder followed by the file name) to and from accountList.
//
// Both functions are called on the poll thread as well as on the settings
// page's thread, so they never touch a window: a failure comes back as its
// text, and the thread that owns the window shows it.
#pragma once
#include <windows.h>

// What went wrong, in the words the user is shown; empty when nothing is to
// be reported.
struct AccountFileError {
    char text[1024] = {};
    bool any() const { return text[0] != '\0'; }
};

// Empties accountList, then fills it from the file. True when the file was
// read; an empty file gives false without a report.
bool readAccountFile(const char* path, AccountFileError& error);

// Rewrites the whole file from accountList. The new content replaces the old
// file only once it is completely written; on failure the old file stays and
// the report says that the latest changes are not saved.
bool writeAccountFile(const char* path, AccountFileError& error);

// For the thread that owns the window: a read report goes into the page's
// status line (control IDC_STATUS_LINE; a window without one shows nothing),
// a write report into a message box owned by owner.
void showAccountReadError(HWND page, const AccountFileError& error);
void showAccountWriteError(HWND owner, const AccountFileError& error);
