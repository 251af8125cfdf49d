// The pages of the settings dialog: child dialogs that the dialog creates
// afresh whenever their tab is chosen. Each page keeps its state on itself
// (DWLP_USER) from WM_INITDIALOG to WM_NCDESTROY.
#pragma once
#include <windows.h>

#include "ui/window_state.h"

#include <memory>
#include <new>

INT_PTR CALLBACK mailboxPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK optionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The options page downloads an update: it stays while the download runs.
bool optionsPageBusy(HWND page);
// The dialog closes: the options page's download ends first.
void stopOptionsPage(HWND page);

// The mailbox list in memory holds changes that MailBox.txt lacks (its
// rewrite failed): a page shown again while the dialog is open takes the
// list in memory instead of the file; a new dialog starts from the file.
bool mailboxesUnsaved(HWND page);
void setMailboxesUnsaved(HWND page, bool unsaved);

// "Закрыть" of every page: closes the settings dialog.
void closeSettingsFromPage(HWND page);

// A page's status line.
void setPageStatus(HWND page, const char* text);

// WM_INITDIALOG of a page: its state, new, kept on the page; null without
// memory for it (the dialog then destroys the page, see pageHasState).
template <typename T>
T* createPageState(HWND page) {
    std::unique_ptr<T> state(new (std::nothrow) T);
    T* kept = state.get();
    if (!state || !attachWindowState(page, DWLP_USER, std::move(state))) {
        return nullptr;
    }
    return kept;
}

inline bool pageHasState(HWND page) {
    return GetWindowLongPtrA(page, DWLP_USER) != 0;
}

template <typename T>
T* pageState(HWND page) {
    return windowState<T>(page, DWLP_USER);
}

// WM_NCDESTROY of a page: its state goes.
template <typename T>
void freePageState(HWND page) {
    detachWindowState<T>(page, DWLP_USER);
}
