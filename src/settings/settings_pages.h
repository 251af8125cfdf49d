// The pages of the settings dialog: child dialogs that the dialog creates
// afresh whenever their tab is chosen.
#pragma once
#include <windows.h>

INT_PTR CALLBACK mailboxPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK optionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The mailbox page keeps the mailboxes of a failed rewrite of MailBox.txt in
// memory while the dialog is open; a new dialog starts from the file again.
void forgetUnsavedMailboxes();

// "Закрыть" of every page: closes the settings dialog.
void closeSettingsFromPage(HWND page);

// A page's status line.
void setPageStatus(HWND page, const char* text);
