// The mailbox page's list of mailboxes and the page's two modes.
#include "settings/mailbox_page.h"

#include "base/wide_text.h"
#include "resources/resource.h"
#include "settings/mailbox_text.h"
#include "settings/settings_pages.h"
#include "ui/list_colours.h"

#include <commctrl.h>

namespace {

constexpr int kStatusCapacity = 128;
constexpr char kNoneSelected[] = "Почтовый ящик не выбран";

// The editing group, shown in editing mode only.
const int kEditingGroup[] = {
    IDC_MAILBOX_GROUP,          IDC_MAILBOX_ALIAS_LABEL, IDC_MAILBOX_ADDRESS_LABEL,
    IDC_MAILBOX_PASSWORD_LABEL, IDC_MAILBOX_ALIAS,       IDC_MAILBOX_ADDRESS,
    IDC_MAILBOX_PASSWORD,       IDC_MAILBOX_SAVE,        IDC_MAILBOX_CANCEL,
};
// The buttons of list mode.
const int kListButtons[] = {IDC_MAILBOX_ADD, IDC_MAILBOX_DELETE, IDC_MAILBOX_EDIT, IDCANCEL};
// What a running test disables.
const int kEditingInputs[] = {
    IDC_MAILBOX_ALIAS, IDC_MAILBOX_ADDRESS, IDC_MAILBOX_PASSWORD, IDC_MAILBOX_SAVE, IDC_MAILBOX_CANCEL,
};

template <size_t N>
void showAll(const MailboxPage& page, const int (&ids)[N], bool on) {
    for (int id : ids) {
        ShowWindow(GetDlgItem(page.window, id), on ? SW_SHOW : SW_HIDE);
    }
}

void setListHeight(const MailboxPage& page, int height) {
    SetWindowPos(mailboxList(page), nullptr, 0, 0, page.listWidth, height, SWP_NOMOVE | SWP_NOZORDER);
}

// Page pixels of a control's rectangle.
RECT rectOnPage(const MailboxPage& page, int id) {
    RECT r = {};
    GetWindowRect(GetDlgItem(page.window, id), &r);
    MapWindowPoints(HWND_DESKTOP, page.window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void addColumns(HWND list) {
    RECT client = {};
    GetClientRect(list, &client);
    // Seven blanks leave room for the check box.
    const char* titles[] = {"       Псевдоним", "Почтовый адрес"};
    for (int i = 0; i < 2; i++) {
        WideText title(titles[i]);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = (client.right - client.left) / 2;
        column.pszText = const_cast<wchar_t*>(title.get());
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

} // namespace

HWND mailboxList(const MailboxPage& page) {
    return GetDlgItem(page.window, IDC_MAILBOX_LIST);
}

void enableControl(const MailboxPage& page, int id, bool on) {
    EnableWindow(GetDlgItem(page.window, id), on ? TRUE : FALSE);
}

void enableRowButtons(const MailboxPage& page, bool on) {
    enableControl(page, IDC_MAILBOX_DELETE, on);
    enableControl(page, IDC_MAILBOX_EDIT, on);
}

void enableEditingInputs(const MailboxPage& page, bool on) {
    for (int id : kEditingInputs) {
        enableControl(page, id, on);
    }
}

void showSelectedStatus(const MailboxPage& page, int index) {
    char text[kStatusCapacity];
    selectedMailboxText(text, sizeof text, index);
    setPageStatus(page.window, text);
}

int listSelection(const MailboxPage& page) {
    return static_cast<int>(SendMessageA(mailboxList(page), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void takeSelection(MailboxPage& page) {
    page.selectedAccount = listSelection(page);
    if (page.selectedAccount >= 0) {
        showSelectedStatus(page, page.selectedAccount);
    } else {
        setPageStatus(page.window, kNoneSelected);
    }
}

void takeSelectionWithButtons(MailboxPage& page) {
    takeSelection(page);
    enableRowButtons(page, page.selectedAccount >= 0);
}

bool selectedRowValid(const MailboxPage& page) {
    return page.selectedAccount >= 0 && page.selectedAccount < accountList.count();
}

void setUpMailboxList(MailboxPage& page) {
    HWND list = mailboxList(page);
    DWORD styles = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    SendMessageA(list, LVM_SETBKCOLOR, 0, kListBackground);
    SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, kListBackground);
    SendMessageA(list, LVM_SETTEXTCOLOR, 0, kListText);
    addColumns(list);
    RECT listRect = rectOnPage(page, IDC_MAILBOX_LIST);
    RECT group = rectOnPage(page, IDC_MAILBOX_GROUP);
    page.listWidth = listRect.right - listRect.left;
    page.fullListHeight = listRect.bottom - listRect.top;
    page.shortListHeight = group.top - listRect.top - 2;
}

void fillMailboxList(MailboxPage& page) {
    HWND list = mailboxList(page);
    page.filling = true;
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    bool inserted = true;
    for (int i = 0; i < accountList.count(); i++) {
        WideText alias(accountList[i].alias);
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(alias.get());
        if (SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0) {
            setPageStatus(page.window, "Ошибка при отображении почтовых ящиков!");
            inserted = false;
            break;
        }
        ListView_SetCheckState(list, i, accountList[i].state == 'A');
    }
    for (int i = 0; inserted && i < accountList.count(); i++) {
        WideText identity(accountList[i].identity);
        LVITEMW item = {};
        item.iSubItem = 1;
        item.pszText = const_cast<wchar_t*>(identity.get());
        SendMessageW(list, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
    }
    page.filling = false;
}

void showListMode(MailboxPage& page) {
    showAll(page, kEditingGroup, false);
    setListHeight(page, page.fullListHeight);
    enableControl(page, IDC_MAILBOX_LIST, true);
    showAll(page, kListButtons, true);
}

void showEditingMode(MailboxPage& page) {
    showAll(page, kListButtons, false);
    enableControl(page, IDC_MAILBOX_LIST, false);
    setListHeight(page, page.shortListHeight);
    showAll(page, kEditingGroup, true);
}
