// Reading and writing MailBox.txt and MessBox.txt (the callers pass the
// service folder followed by the file name) to and from accountList.
#pragma once
#include <windows.h>

// The status bar of every settings page, where read failures are shown.
constexpr int kStatusLineId = 1006;

// Empties accountList, then fills it from the file. True when the file was
// read (an empty file gives false without a report). Failures are shown in
// the owner's status line (child control kStatusLineId); an owner without
// one, such as the agent window, gets no report.
bool readAccountFile(HWND owner, const char* path);

// Rewrites the whole file from accountList. The new content replaces the old
// file only once it is completely written; on failure the old file stays and
// a message box owned by owner says that the latest changes are not saved.
bool writeAccountFile(HWND owner, const char* path);
