// The mailbox page (template 1001): the mailboxes of MailBox.txt in a list
// with check boxes, and an editing group that adds or changes one mailbox.
// A mailbox is stored only after the poll thread has tested it against its
// server.
#include "settings/settings_pages.h"

#include "base/text.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/poll_starter.h"
#include "core/service_paths.h"
#include "resources/resource.h"
#include "settings/mailbox_text.h"
#include "store/account_file.h"
#include "store/account_list.h"
#include "ui/alert_window.h"
#include "ui/list_view_hit.h"
#include "ui/paint_wait.h"
#include "core/program_names.h"
#include "ui/list_colours.h"

#include <commctrl.h>

#include <cstring>

namespace {

constexpr int kFieldCapacity = 258; // at most 257 characters from an edit
constexpr DWORD kFailedTestNoticeMs = 3000;
constexpr int kStatusCapacity = 128;

constexpr char kNoneSelected[] = "Почтовый ящик не выбран";
constexpr char kNoInternet[] = "Нет соединения с Интернет!";

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

// The page's state; one page exists at a time.
struct PageState {
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
PageState state;

// accountList holds changes that MailBox.txt lacks (its rewrite failed):
// a new page shows the list in memory instead of the file, so that the next
// rewrite that succeeds still stores them.
bool unsavedAccounts = false;

HWND control(HWND page, int id) {
    return GetDlgItem(page, id);
}

HWND listOf(HWND page) {
    return control(page, IDC_MAILBOX_LIST);
}

void enable(HWND page, int id, bool on) {
    EnableWindow(control(page, id), on ? TRUE : FALSE);
}

template <size_t N>
void enableAll(HWND page, const int (&ids)[N], bool on) {
    for (int id : ids) {
        enable(page, id, on);
    }
}

template <size_t N>
void showAll(HWND page, const int (&ids)[N], bool on) {
    for (int id : ids) {
        ShowWindow(control(page, id), on ? SW_SHOW : SW_HIDE);
    }
}

void enableRowButtons(HWND page, bool on) {
    enable(page, IDC_MAILBOX_DELETE, on);
    enable(page, IDC_MAILBOX_EDIT, on);
}

void enableInputs(HWND page, bool on) {
    enableAll(page, kEditingInputs, on);
}

void showSelectedStatus(HWND page, int index) {
    char text[kStatusCapacity];
    selectedMailboxText(text, sizeof text, index);
    setPageStatus(page, text);
}

int listSelection(HWND page) {
    return static_cast<int>(SendMessageA(listOf(page), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// selectedAccount from the list, told in the status line.
void takeSelection(HWND page) {
    state.selectedAccount = listSelection(page);
    if (state.selectedAccount >= 0) {
        showSelectedStatus(page, state.selectedAccount);
    } else {
        setPageStatus(page, kNoneSelected);
    }
}

// takeSelection, with Delete and Edit usable exactly when a row is selected.
void takeSelectionWithButtons(HWND page) {
    takeSelection(page);
    enableRowButtons(page, state.selectedAccount >= 0);
}

bool selectedRowValid() {
    return state.selectedAccount >= 0 && state.selectedAccount < accountList.count();
}

void setListHeight(HWND page, int height) {
    SetWindowPos(listOf(page), nullptr, 0, 0, state.listWidth, height, SWP_NOMOVE | SWP_NOZORDER);
}

void showListMode(HWND page) {
    showAll(page, kEditingGroup, false);
    setListHeight(page, state.fullListHeight);
    enable(page, IDC_MAILBOX_LIST, true);
    showAll(page, kListButtons, true);
}

void showEditingMode(HWND page) {
    showAll(page, kListButtons, false);
    enable(page, IDC_MAILBOX_LIST, false);
    setListHeight(page, state.shortListHeight);
    showAll(page, kEditingGroup, true);
}

// Page pixels of a control's rectangle.
RECT rectOnPage(HWND page, int id) {
    RECT r = {};
    GetWindowRect(control(page, id), &r);
    MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void setUpList(HWND page) {
    HWND list = listOf(page);
    DWORD styles = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP;
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    SendMessageA(list, LVM_SETBKCOLOR, 0, kListBackground);
    SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, kListBackground);
    SendMessageA(list, LVM_SETTEXTCOLOR, 0, kListText);
    RECT client = {};
    GetClientRect(list, &client);
    // Seven blanks leave room for the check box.
    const char* titles[] = {"       Псевдоним", "Почтовый адрес"};
    for (int i = 0; i < 2; i++) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = (client.right - client.left) / 2;
        column.pszText = const_cast<char*>(titles[i]);
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

void measureList(HWND page) {
    RECT list = rectOnPage(page, IDC_MAILBOX_LIST);
    RECT group = rectOnPage(page, IDC_MAILBOX_GROUP);
    state.listWidth = list.right - list.left;
    state.fullListHeight = list.bottom - list.top;
    state.shortListHeight = group.top - list.top - 2;
}

void fillList(HWND page) {
    HWND list = listOf(page);
    state.filling = true;
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    bool inserted = true;
    for (int i = 0; i < accountList.count(); i++) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = accountList[i].alias;
        if (SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) < 0) {
            setPageStatus(page, "Ошибка при отображении почтовых ящиков!");
            inserted = false;
            break;
        }
        ListView_SetCheckState(list, i, accountList[i].state == 'A');
    }
    for (int i = 0; inserted && i < accountList.count(); i++) {
        LVITEMA item = {};
        item.iSubItem = 1;
        item.pszText = accountList[i].identity;
        SendMessageA(list, LVM_SETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
    }
    state.filling = false;
}

// Rewrites MailBox.txt from accountList; a failure is shown in a message box.
bool saveAccounts(HWND page) {
    ServicePath path(kMailBoxFile);
    AccountFileError error;
    bool written = writeAccountFile(path.text, error);
    if (!written) {
        showAccountWriteError(page, error);
    }
    unsavedAccounts = !written;
    return written;
}

BOOL onInitDialog(HWND page) {
    setUpList(page);
    state = PageState();
    enable(page, IDC_MAILBOX_LIST, true);
    enable(page, IDC_MAILBOX_ADD, true);
    enable(page, IDCANCEL, true);
    showAll(page, kEditingGroup, false);
    setPageStatus(page, "");
    if (unsavedAccounts) {
        fillList(page);
    } else {
        ServicePath path(kMailBoxFile);
        AccountFileError error;
        if (readAccountFile(path.text, error)) {
            fillList(page);
        }
        showAccountReadError(page, error);
    }
    enableRowButtons(page, accountList.count() > 0);
    measureList(page);
    return TRUE;
}

// A field of the editing group, trailing blanks removed and shown removed.
void readTrimmedField(HWND page, int id, char* out, size_t capacity) {
    char text[kFieldCapacity] = {};
    GetDlgItemTextA(page, id, text, sizeof text);
    trimTrailingBlanks(text);
    SetDlgItemTextA(page, id, text);
    copyText(out, capacity, text);
}

void startEditingGroup(HWND page, const char* caption) {
    showEditingMode(page);
    SetDlgItemTextA(page, IDC_MAILBOX_GROUP, caption);
    enableInputs(page, true);
}

void onAdd(HWND page) {
    startEditingGroup(page, "Параметры нового ящика");
    setPageStatus(page, "Добавление нового ящика");
    SetDlgItemTextA(page, IDC_MAILBOX_ALIAS, "");
    SetDlgItemTextA(page, IDC_MAILBOX_ADDRESS, "");
    SetDlgItemTextA(page, IDC_MAILBOX_PASSWORD, "");
    SendDlgItemMessageA(page, IDC_MAILBOX_PASSWORD, EM_SETPASSWORDCHAR, 0, 0);
    state.editingExisting = 0;
    SetFocus(control(page, IDC_MAILBOX_ALIAS));
}

void onEdit(HWND page) {
    if (!selectedRowValid()) {
        return;
    }
    startEditingGroup(page, "Редактирование ящика");
    showSelectedStatus(page, state.selectedAccount);
    state.editEntry = accountList[state.selectedAccount];
    SetDlgItemTextA(page, IDC_MAILBOX_ALIAS, state.editEntry.alias);
    SetDlgItemTextA(page, IDC_MAILBOX_ADDRESS, state.editEntry.identity);
    SetDlgItemTextA(page, IDC_MAILBOX_PASSWORD, state.editEntry.password);
    SendDlgItemMessageA(page, IDC_MAILBOX_PASSWORD, EM_SETPASSWORDCHAR, '*', 0);
    SetFocus(control(page, IDC_MAILBOX_ALIAS));
    state.editingExisting = 1;
}

void onDelete(HWND page) {
    if (accountList.count() < 1 || !selectedRowValid()) {
        return;
    }
    int answer =
        showMessage(page, "Удалить ящик из списка?", kAgentCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer == IDYES) {
        state.deletingRow = 1;
        if (SendMessageA(listOf(page), LVM_DELETEITEM, state.selectedAccount, 0)) {
            accountList.remove(state.selectedAccount);
            saveAccounts(page);
            setPageStatus(page, "Почтовый ящик удалён из списка.");
        } else {
            setPageStatus(page, "Ошибка при удалении почтового ящика из списка!");
        }
        if (accountList.count() < 1) {
            enableRowButtons(page, false);
        }
        state.deletingRow = 0;
    }
    RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    takeSelection(page);
    SetFocus(listOf(page));
}

// The test's answer, once the poll thread has ended: the server found, or
// why there is none.
void onTestFailed(HWND page) {
    enableInputs(page, true);
    setPageStatus(page, gAgent.testParams);
    showNotice(gAgent.testParams, 1, kFailedTestNoticeMs);
}

void onTestPassed(HWND page) {
    setPageStatus(page, "Тестирование прошло успешно.");
    showNotice("Успешное тестирование.", 0);
    readTrimmedField(page, IDC_MAILBOX_ALIAS, state.editEntry.alias, sizeof state.editEntry.alias);
    copyText(state.editEntry.extra, sizeof state.editEntry.extra, gAgent.testParams);
    showListMode(page);
    enable(page, IDC_MAILBOX_ADD, true);
    enableRowButtons(page, true);
    enable(page, IDCANCEL, true);
    bool stored = true;
    if (state.editingExisting) {
        if (selectedRowValid()) {
            // The row keeps its state: a paused mailbox stays paused.
            state.editEntry.state = accountList[state.selectedAccount].state;
            accountList[state.selectedAccount] = state.editEntry;
        }
    } else {
        state.editEntry.state = 'A';
        stored = accountList.append(state.editEntry);
    }
    fillList(page);
    if (!stored) {
        setPageStatus(page, "Система не выделила память под буфер");
    } else if (saveAccounts(page)) {
        setPageStatus(page, "Изменения сохранены");
        SetFocus(listOf(page));
        gAgent.settingsChanged = 1;
    }
    state.selectedAccount = listSelection(page);
    SetFocus(listOf(page));
}

void onSave(HWND page) {
    setPageStatus(page, "");
    AccountEntry& entry = state.editEntry;
    char alias[kFieldCapacity] = {};
    GetDlgItemTextA(page, IDC_MAILBOX_ALIAS, alias, sizeof alias);
    copyText(entry.alias, sizeof entry.alias, alias);
    readTrimmedField(page, IDC_MAILBOX_ADDRESS, entry.identity, sizeof entry.identity);
    if (strlen(entry.identity) < static_cast<size_t>(kMinAddressLength)) {
        setPageStatus(page, "Ошибка. Неверный почтовый адрес!");
        return;
    }
    readTrimmedField(page, IDC_MAILBOX_PASSWORD, entry.password, sizeof entry.password);
    if (entry.password[0] == '\0') {
        setPageStatus(page, "Ошибка. Не введён пароль!");
        return;
    }
    enableInputs(page, false);
    UpdateWindow(page);

    entry.extra[0] = '\0';
    formatText(gAgent.testParams, sizeof gAgent.testParams, "%s;%s", entry.identity, entry.password);
    gAgent.pollMode = 0;
    gAgent.testFlag = 1;
    // Two cycles at once would share the poll state: none starts while one
    // fetches.
    UniqueHandle thread = gAgent.pollThread.load() == nullptr ? startPoll() : UniqueHandle();
    if (!thread) {
        gAgent.testParams[0] = '\0';
        setPageStatus(page, "Ошибка. Тестирование не проводилось!");
        enableInputs(page, true);
        return;
    }
    setPageStatus(page, "Тестирование почтового ящика. Минуточку...");
    showAlert("Тестирование. Минуточку...", 0);
    // A test may take minutes (a time-out for each host guessed): the page
    // stays painted meanwhile, its inputs disabled.
    waitKeepingPainted(thread.get(), INFINITE);
    hideAlert();
    if (!IsWindow(page)) {
        // Closed from outside during the wait (the agent shut down).
        return;
    }
    if (gAgent.internetOk == 0) {
        showNotice(kNoInternet, 1);
        enableInputs(page, true);
        setPageStatus(page, kNoInternet);
    } else if (gAgent.testFlag == 0) {
        onTestFailed(page);
    } else {
        onTestPassed(page);
    }
    // The address and password went in here: they stay no longer than needed.
    SecureZeroMemory(gAgent.testParams, sizeof gAgent.testParams);
}

void onCancel(HWND page) {
    showListMode(page);
    enable(page, IDC_MAILBOX_ADD, true);
    enable(page, IDCANCEL, true);
    enableRowButtons(page, accountList.count() > 0);
    takeSelectionWithButtons(page);
    SetFocus(listOf(page));
}

void onContextMenu(HWND page) {
    takeSelectionWithButtons(page);
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) {
        return;
    }
    UINT rowItem = MF_STRING | (state.selectedAccount >= 0 ? MF_ENABLED : MF_GRAYED);
    AppendMenuA(menu, rowItem, IDM_MAILBOX_EDIT, "Править");
    AppendMenuA(menu, rowItem, IDM_MAILBOX_DELETE, "Удалить");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_MAILBOX_ADD, "Добавить");
    POINT cursor = {};
    GetCursorPos(&cursor);
    // The menu closes properly only when its owner's window is in front.
    SetForegroundWindow(GetAncestor(page, GA_ROOT));
    TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor.x + 5, cursor.y + 5, page, nullptr);
    DestroyMenu(menu);
}

// A click or double click on no row: nothing is selected.
void onNoRowClicked(HWND page) {
    state.selectedAccount = -1;
    setPageStatus(page, kNoneSelected);
    enableRowButtons(page, false);
}

void onDoubleClick(HWND page, const NMITEMACTIVATE* click) {
    if (click->iItem < 0) {
        onNoRowClicked(page);
        return;
    }
    state.selectedAccount = click->iItem;
    // A double click on the check box (or left of it) only ticks it twice.
    RowPart part = listRowPartAt(click->hdr.hwndFrom, click->iItem, click->ptAction);
    if (part != RowPart::CheckBox && part != RowPart::Margin) {
        showSelectedStatus(page, click->iItem);
        SetDlgItemTextA(page, IDC_MAILBOX_GROUP, "Редактирование ящика");
        PostMessageA(page, WM_COMMAND, IDM_MAILBOX_EDIT, 0);
    }
}

void onClick(HWND page, const NMITEMACTIVATE* click) {
    if (click->iItem < 0) {
        onNoRowClicked(page);
        return;
    }
    state.selectedAccount = click->iItem;
    // A click on the check box changes the row's state through the list's
    // own change notice (followCheckBox).
    if (listRowPartAt(click->hdr.hwndFrom, click->iItem, click->ptAction) != RowPart::CheckBox) {
        showSelectedStatus(page, click->iItem);
        enableRowButtons(page, true);
    }
}

// The list ticks and clears check boxes by itself, on a click or the space
// bar; the page keeps the row's state and MailBox.txt in step with it.
void followCheckBox(HWND page, const NMLISTVIEW* change) {
    if ((change->uChanged & LVIF_STATE) == 0 || ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) == 0 ||
        change->iItem < 0 || change->iItem >= accountList.count()) {
        return;
    }
    bool checked = (change->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
    AccountEntry& entry = accountList[change->iItem];
    char next = stateForCheckBox(entry.state, checked);
    if (next == entry.state) {
        return;
    }
    // Only a mailbox that becomes active calls for a poll.
    if (next == 'A') {
        gAgent.settingsChanged = 1;
    }
    entry.state = next;
    saveAccounts(page);
}

void onItemChanged(HWND page, const NMLISTVIEW* change) {
    if (state.filling || state.deletingRow) {
        return;
    }
    followCheckBox(page, change);
    state.selectedAccount = listSelection(page);
    if (state.selectedAccount >= 0) {
        showSelectedStatus(page, state.selectedAccount);
        enableRowButtons(page, true);
    } else {
        enableRowButtons(page, false);
    }
}

void onListKey(HWND page, const NMLVKEYDOWN* key) {
    if (key->wVKey == VK_DELETE) {
        SendMessageA(page, WM_COMMAND, IDM_MAILBOX_DELETE, 0);
    } else if (key->wVKey == VK_INSERT) {
        SendMessageA(page, WM_COMMAND, IDM_MAILBOX_ADD, 0);
    }
}

BOOL onNotify(HWND page, const NMHDR* header) {
    if (header->idFrom != IDC_MAILBOX_LIST) {
        return FALSE;
    }
    switch (header->code) {
    case LVN_KEYDOWN:
        onListKey(page, reinterpret_cast<const NMLVKEYDOWN*>(header));
        return TRUE;
    case LVN_ITEMCHANGED:
        onItemChanged(page, reinterpret_cast<const NMLISTVIEW*>(header));
        return TRUE;
    case NM_RCLICK:
        onContextMenu(page);
        return TRUE;
    case NM_DBLCLK:
        onDoubleClick(page, reinterpret_cast<const NMITEMACTIVATE*>(header));
        return TRUE;
    case NM_CLICK:
        onClick(page, reinterpret_cast<const NMITEMACTIVATE*>(header));
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL onCommand(HWND page, WORD id) {
    switch (id) {
    case IDC_MAILBOX_ADD:
    case IDM_MAILBOX_ADD:
        onAdd(page);
        return TRUE;
    case IDC_MAILBOX_EDIT:
    case IDM_MAILBOX_EDIT:
        onEdit(page);
        return TRUE;
    case IDC_MAILBOX_DELETE:
    case IDM_MAILBOX_DELETE:
        onDelete(page);
        return TRUE;
    case IDC_MAILBOX_SAVE:
        onSave(page);
        return TRUE;
    case IDC_MAILBOX_CANCEL:
        onCancel(page);
        return TRUE;
    case IDCANCEL:
        closeSettingsFromPage(page);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void forgetUnsavedMailboxes() {
    unsavedAccounts = false;
}

INT_PTR CALLBACK mailboxPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(page);
    case WM_COMMAND:
        return onCommand(page, LOWORD(wParam));
    case WM_NOTIFY:
        return onNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    default:
        return FALSE;
    }
}
