// Messages for the user from a poll cycle thread. Windows belong to the
// user-interface thread, and that thread may be waiting for the poll thread
// (the mailbox test): the poll thread never calls a window, it posts the
// text to the agent window, which shows it in a message box.
#pragma once
#include <windows.h>

// Posts a copy of text to the agent window; false when it could not be
// posted (the copy is freed again).
bool postPollNotice(const char* text);

// The agent window's side: shows the text of a WM_POLL_NOTICE owned by
// window and frees it.
void showPollNotice(HWND window, LPARAM notice);
