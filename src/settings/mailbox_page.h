// The pieces of the mailbox page that its files share: the page's state,
// kept on the page (DWLP_USER) from WM_INITDIALOG to WM_NCDESTROY, and the
// list with the page's two modes (mailbox_list.cpp).
#pragma once
#include <windows.h>

#include "store/account_list.h"
#include "ui/window_state.h"

struct MailboxPage {
    HWND window = nullptr;
    // A message box or a test may outlast the page (the agent ends meanwhile).
    HandlerCount handlers;
    int selectedAccount = -1;
    AccountEntry editEntry = {};
    int editingExisting = 0;
    int deletingRow = 0;
    // The page fills the list itself: its check box changes are no user's.
    bool filling = false;
    int fullListHeight = 0;
    int shortListHeight = 0; // ends 2 pixels above the editing group
    int listWidth = 0;
};

HWND mailboxList(const MailboxPage& page);
void enableControl(const MailboxPage& page, int id, bool on);
// Delete and Edit.
void enableRowButtons(const MailboxPage& page, bool on);
// The editing group's edits, Save and Cancel.
void enableEditingInputs(const MailboxPage& page, bool on);

// "Выбран %d-й почтовый ящик" for the row at index (from 0).
void showSelectedStatus(const MailboxPage& page, int index);
// The list's selected row, -1 when none.
int listSelection(const MailboxPage& page);
// selectedAccount from the list, told in the status line.
void takeSelection(MailboxPage& page);
// takeSelection, with Delete and Edit usable exactly when a row is selected.
void takeSelectionWithButtons(MailboxPage& page);
// selectedAccount names an entry of accountList.
bool selectedRowValid(const MailboxPage& page);

// The list's look and columns, and its heights in the two modes.
void setUpMailboxList(MailboxPage& page);
// The rows from accountList.
void fillMailboxList(MailboxPage& page);

// List mode: the list at full height with Add, Delete, Edit and Close;
// editing mode: the list shortened and disabled, the editing group shown.
void showListMode(MailboxPage& page);
void showEditingMode(MailboxPage& page);
