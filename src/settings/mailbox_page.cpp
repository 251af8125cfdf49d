// The mailbox page (template 1001): the mailboxes of MailBox.txt in a list
// with check boxes, and an editing group that adds or changes one mailbox.
// A mailbox is stored only after the poll thread has tested it against its
// server.
#include "settings/mailbox_page.h"

#include "base/wide_text.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/program_names.h"
#include "core/service_paths.h"
#include "resources/resource.h"
#include "settings/mailbox_test.h"
#include "settings/mailbox_text.h"
#include "settings/settings_pages.h"
#include "store/account_file.h"
#include "store/tls_logins.h"
#include "ui/alert_window.h"
#include "ui/list_view_hit.h"

#include <commctrl.h>

#include <cstring>

namespace {

constexpr int kFieldCapacity = 258; // at most 257 characters from an edit

constexpr char kNoneSelected[] = "Почтовый ящик не выбран";
constexpr char kNoInternet[] = "Нет соединения с Интернет!";

// Rewrites MailBox.txt from accountList; a failure is shown in a message box,
// and the list in memory is then the one the page shows until the dialog
// closes.
bool saveAccounts(const MailboxPage& page) {
    ServicePath path(kMailBoxFile);
    AccountFileError error;
    bool written = writeAccountFile(path.text, error);
    if (!written) {
        showAccountWriteError(page.window, error);
    }
    setMailboxesUnsaved(page.window, !written);
    return written;
}

// The page's rectangle of one of its controls.
RECT controlRect(HWND page, int id) {
    RECT r = {};
    GetWindowRect(GetDlgItem(page, id), &r);
    MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The template's buttons and editing group reach into the status line below
// them: the buttons are lifted and the group's frame shortened so that they
// end just above it, whatever pixels the dialog's font makes of the units.
void keepClearOfStatusLine(HWND page) {
    RECT gap = {0, 0, 0, 1};
    MapDialogRect(page, &gap);
    LONG limit = controlRect(page, IDC_STATUS_LINE).top - gap.bottom;
    for (int id : {IDC_MAILBOX_ADD, IDC_MAILBOX_DELETE, IDC_MAILBOX_EDIT, IDCANCEL, IDC_MAILBOX_SAVE,
                   IDC_MAILBOX_CANCEL, IDC_MAILBOX_GROUP}) {
        RECT r = controlRect(page, id);
        if (r.bottom <= limit) {
            continue;
        }
        LONG top = id == IDC_MAILBOX_GROUP ? r.top : r.top - (r.bottom - limit);
        SetWindowPos(GetDlgItem(page, id), nullptr, r.left, top, r.right - r.left, limit - top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

BOOL onInitDialog(HWND window) {
    MailboxPage* page = createPageState<MailboxPage>(window);
    if (page == nullptr) {
        return FALSE;
    }
    page->window = window;
    keepClearOfStatusLine(window);
    setUpMailboxList(*page);
    enableControl(*page, IDC_MAILBOX_LIST, true);
    enableControl(*page, IDC_MAILBOX_ADD, true);
    enableControl(*page, IDCANCEL, true);
    showListMode(*page);
    setPageStatus(window, "");
    if (mailboxesUnsaved(window)) {
        fillMailboxList(*page);
    } else {
        ServicePath path(kMailBoxFile);
        AccountFileError error;
        if (readAccountFile(path.text, error)) {
            fillMailboxList(*page);
        }
        showAccountReadError(window, error);
    }
    enableRowButtons(*page, accountList.count() > 0);
    return TRUE;
}

// A field of the editing group, trailing blanks removed and shown removed.
void readTrimmedField(const MailboxPage& page, int id, char* out, size_t capacity) {
    char text[kFieldCapacity] = {};
    itemText(page.window, id, text, sizeof text);
    trimTrailingBlanks(text);
    setItemText(page.window, id, text);
    copyText(out, capacity, text);
}

void startEditingGroup(MailboxPage& page, const char* caption) {
    showEditingMode(page);
    setItemText(page.window, IDC_MAILBOX_GROUP, caption);
    enableEditingInputs(page, true);
}

void onAdd(MailboxPage& page) {
    startEditingGroup(page, "Параметры нового ящика");
    setPageStatus(page.window, "Добавление нового ящика");
    setItemText(page.window, IDC_MAILBOX_ALIAS, "");
    setItemText(page.window, IDC_MAILBOX_ADDRESS, "");
    setItemText(page.window, IDC_MAILBOX_PASSWORD, "");
    SendDlgItemMessageA(page.window, IDC_MAILBOX_PASSWORD, EM_SETPASSWORDCHAR, 0, 0);
    page.editingExisting = 0;
    SetFocus(GetDlgItem(page.window, IDC_MAILBOX_ALIAS));
}

void onEdit(MailboxPage& page) {
    if (!selectedRowValid(page)) {
        return;
    }
    startEditingGroup(page, "Редактирование ящика");
    showSelectedStatus(page, page.selectedAccount);
    page.editEntry = accountList[page.selectedAccount];
    setItemText(page.window, IDC_MAILBOX_ALIAS, page.editEntry.alias);
    setItemText(page.window, IDC_MAILBOX_ADDRESS, page.editEntry.identity);
    setItemText(page.window, IDC_MAILBOX_PASSWORD, page.editEntry.password);
    SendDlgItemMessageA(page.window, IDC_MAILBOX_PASSWORD, EM_SETPASSWORDCHAR, '*', 0);
    SetFocus(GetDlgItem(page.window, IDC_MAILBOX_ALIAS));
    page.editingExisting = 1;
}

void onDelete(MailboxPage& page) {
    if (accountList.count() < 1 || !selectedRowValid(page)) {
        return;
    }
    int answer =
        showMessage(page.window, "Удалить ящик из списка?", kAgentCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer == IDYES) {
        page.deletingRow = 1;
        if (SendMessageA(mailboxList(page), LVM_DELETEITEM, page.selectedAccount, 0)) {
            accountList.remove(page.selectedAccount);
            saveAccounts(page);
            setPageStatus(page.window, "Почтовый ящик удалён из списка.");
        } else {
            setPageStatus(page.window, "Ошибка при удалении почтового ящика из списка!");
        }
        if (accountList.count() < 1) {
            enableRowButtons(page, false);
        }
        page.deletingRow = 0;
    }
    RedrawWindow(page.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    takeSelection(page);
    SetFocus(mailboxList(page));
}

// The tested mailbox goes into accountList and MailBox.txt: a new one
// active, an edited one with the state it had.
void storeTestedMailbox(MailboxPage& page, const char* server) {
    readTrimmedField(page, IDC_MAILBOX_ALIAS, page.editEntry.alias, sizeof page.editEntry.alias);
    copyText(page.editEntry.extra, sizeof page.editEntry.extra, server);
    showListMode(page);
    enableControl(page, IDC_MAILBOX_ADD, true);
    enableRowButtons(page, true);
    enableControl(page, IDCANCEL, true);
    bool stored = true;
    if (page.editingExisting) {
        if (selectedRowValid(page)) {
            // The row keeps its state: a paused mailbox stays paused.
            page.editEntry.state = accountList[page.selectedAccount].state;
            accountList[page.selectedAccount] = page.editEntry;
        }
    } else {
        page.editEntry.state = 'A';
        stored = accountList.append(page.editEntry);
    }
    fillMailboxList(page);
    if (!stored) {
        setPageStatus(page.window, "Система не выделила память под буфер");
    } else if (saveAccounts(page)) {
        setPageStatus(page.window, "Изменения сохранены");
        SetFocus(mailboxList(page));
        gAgent.settingsChanged = 1;
    }
    page.selectedAccount = listSelection(page);
    SetFocus(mailboxList(page));
}

// The address and password as typed, checked before any test; the status
// line says what is wrong.
bool readMailboxFields(MailboxPage& page) {
    AccountEntry& entry = page.editEntry;
    char alias[kFieldCapacity] = {};
    itemText(page.window, IDC_MAILBOX_ALIAS, alias, sizeof alias);
    copyText(entry.alias, sizeof entry.alias, alias);
    readTrimmedField(page, IDC_MAILBOX_ADDRESS, entry.identity, sizeof entry.identity);
    if (strlen(entry.identity) < static_cast<size_t>(kMinAddressLength)) {
        setPageStatus(page.window, "Ошибка. Неверный почтовый адрес!");
        return false;
    }
    readTrimmedField(page, IDC_MAILBOX_PASSWORD, entry.password, sizeof entry.password);
    if (entry.password[0] == '\0') {
        setPageStatus(page.window, "Ошибка. Не введён пароль!");
        return false;
    }
    return true;
}

// A server without TLS would get the password in the clear, readable by
// anyone on the way: the user decides before the test sends it. Agreeing
// also clears the record of an earlier login over TLS, after which
// receptions refuse the clear text.
bool userAcceptsClearText(MailboxPage& page, const char* answer) {
    char server[kFieldCapacity] = {};
    const char* semicolon = strchr(answer, ';');
    copyTextN(server, sizeof server, answer, semicolon != nullptr ? static_cast<size_t>(semicolon - answer) : 0);
    HWND window = page.window;
    int choice = showMessagef(window, kAgentCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2,
                              "Сервер %s не поддерживает защищенное соединение (TLS). Пароль ящика будет "
                              "передаваться по сети открытым текстом, и его смогут перехватить.\r\n"
                              "Сохранить ящик?",
                              server);
    if (!IsWindow(window)) {
        return false; // closed from outside while the question was up
    }
    if (choice != IDYES) {
        setPageStatus(window, "Почтовый ящик не сохранён.");
        return false;
    }
    if (!forgetTlsLogin(page.editEntry.identity, server)) {
        char status[128];
        formatText(status, sizeof status, "Ошибка. Затрудняюсь изменить файл %s", kTlsLoginsFile);
        setPageStatus(window, status);
        return false;
    }
    return true;
}

// An edited mailbox whose address stays hands its line's server to the test,
// which goes straight to it when its port is an IMAP one.
void serverToTest(const MailboxPage& page, char* server, size_t capacity) {
    server[0] = '\0';
    if (page.editingExisting && selectedRowValid(page) &&
        _stricmp(accountList[page.selectedAccount].identity, page.editEntry.identity) == 0) {
        copyText(server, capacity, accountList[page.selectedAccount].extra);
    }
}

// "Сохранить": the mailbox is tested and, when the test passes, stored.
void onSave(MailboxPage& page) {
    setPageStatus(page.window, "");
    if (!readMailboxFields(page)) {
        return;
    }
    enableEditingInputs(page, false);
    UpdateWindow(page.window);
    char server[sizeof page.editEntry.extra];
    serverToTest(page, server, sizeof server);
    page.editEntry.extra[0] = '\0';
    HWND window = page.window;
    char answer[kTestParamsCapacity];
    const AccountEntry& entry = page.editEntry;
    MailboxTestEnd end = testMailbox(window, entry.identity, entry.password, server, false, answer, sizeof answer);
    if (end == MailboxTestEnd::WantsClearText) {
        if (!userAcceptsClearText(page, answer)) {
            // Nothing sent, nothing stored: the typed mailbox stays for
            // another try (unless the page went meanwhile).
            if (IsWindow(window)) {
                enableEditingInputs(page, true);
            }
            return;
        }
        end = testMailbox(window, entry.identity, entry.password, server, true, answer, sizeof answer);
    }
    switch (end) {
    case MailboxTestEnd::PageGone:
        return; // closed from outside during the test (the agent ended)
    case MailboxTestEnd::NotStarted:
        setPageStatus(window, "Ошибка. Тестирование не проводилось!");
        enableEditingInputs(page, true);
        return;
    case MailboxTestEnd::NoInternet:
        showNotice(kNoInternet, 1);
        enableEditingInputs(page, true);
        setPageStatus(window, kNoInternet);
        return;
    case MailboxTestEnd::Failed:
        enableEditingInputs(page, true);
        setPageStatus(window, answer);
        // Why a test failed stays up half as long again as a short notice.
        showNotice(answer, 1, gNoticePauseMs + gNoticePauseMs / 2);
        return;
    case MailboxTestEnd::WantsClearText: // the agreed test never asks again
        enableEditingInputs(page, true);
        return;
    case MailboxTestEnd::Passed:
        setPageStatus(window, "Тестирование прошло успешно.");
        showNotice("Успешное тестирование.", 0);
        storeTestedMailbox(page, answer);
        return;
    }
}

void onCancel(MailboxPage& page) {
    showListMode(page);
    enableControl(page, IDC_MAILBOX_ADD, true);
    enableControl(page, IDCANCEL, true);
    enableRowButtons(page, accountList.count() > 0);
    takeSelectionWithButtons(page);
    SetFocus(mailboxList(page));
}

void onContextMenu(MailboxPage& page) {
    takeSelectionWithButtons(page);
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) {
        return;
    }
    UINT rowItem = MF_STRING | (page.selectedAccount >= 0 ? MF_ENABLED : MF_GRAYED);
    AppendMenuW(menu.get(), rowItem, IDM_MAILBOX_EDIT, WideText("Править").get());
    AppendMenuW(menu.get(), rowItem, IDM_MAILBOX_DELETE, WideText("Удалить").get());
    AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, IDM_MAILBOX_ADD, WideText("Добавить").get());
    POINT cursor = {};
    GetCursorPos(&cursor);
    // The menu closes properly only when its owner's window is in front.
    SetForegroundWindow(GetAncestor(page.window, GA_ROOT));
    TrackPopupMenuEx(menu.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor.x + 5, cursor.y + 5, page.window,
                     nullptr);
}

// A click or double click on no row: nothing is selected.
void onNoRowClicked(MailboxPage& page) {
    page.selectedAccount = -1;
    setPageStatus(page.window, kNoneSelected);
    enableRowButtons(page, false);
}

void onDoubleClick(MailboxPage& page, const NMITEMACTIVATE* click) {
    if (click->iItem < 0) {
        onNoRowClicked(page);
        return;
    }
    page.selectedAccount = click->iItem;
    // A double click on the check box (or left of it) only ticks it twice.
    RowPart part = listRowPartAt(click->hdr.hwndFrom, click->iItem, click->ptAction);
    if (part != RowPart::CheckBox && part != RowPart::Margin) {
        showSelectedStatus(page, click->iItem);
        setItemText(page.window, IDC_MAILBOX_GROUP, "Редактирование ящика");
        PostMessageA(page.window, WM_COMMAND, IDM_MAILBOX_EDIT, 0);
    }
}

void onClick(MailboxPage& page, const NMITEMACTIVATE* click) {
    if (click->iItem < 0) {
        onNoRowClicked(page);
        return;
    }
    page.selectedAccount = click->iItem;
    // A click on the check box changes the row's state through the list's
    // own change notice (followCheckBox).
    if (listRowPartAt(click->hdr.hwndFrom, click->iItem, click->ptAction) != RowPart::CheckBox) {
        showSelectedStatus(page, click->iItem);
        enableRowButtons(page, true);
    }
}

// The list ticks and clears check boxes by itself, on a click or the space
// bar; the page keeps the row's state and MailBox.txt in step with it.
void followCheckBox(MailboxPage& page, const NMLISTVIEW* change) {
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

void onItemChanged(MailboxPage& page, const NMLISTVIEW* change) {
    if (page.filling || page.deletingRow) {
        return;
    }
    followCheckBox(page, change);
    page.selectedAccount = listSelection(page);
    if (page.selectedAccount >= 0) {
        showSelectedStatus(page, page.selectedAccount);
        enableRowButtons(page, true);
    } else {
        enableRowButtons(page, false);
    }
}

void onListKey(const MailboxPage& page, const NMLVKEYDOWN* key) {
    if (key->wVKey == VK_DELETE) {
        SendMessageA(page.window, WM_COMMAND, IDM_MAILBOX_DELETE, 0);
    } else if (key->wVKey == VK_INSERT) {
        SendMessageA(page.window, WM_COMMAND, IDM_MAILBOX_ADD, 0);
    }
}

BOOL onNotify(MailboxPage& page, const NMHDR* header) {
    HandlerScope<MailboxPage> running(page);
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

BOOL onCommand(MailboxPage& page, WORD id) {
    HandlerScope<MailboxPage> running(page);
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
        closeSettingsFromPage(page.window);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK mailboxPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return onInitDialog(window);
    }
    MailboxPage* page = pageState<MailboxPage>(window);
    if (page == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_COMMAND:
        return onCommand(*page, LOWORD(wParam));
    case WM_NOTIFY:
        return onNotify(*page, reinterpret_cast<const NMHDR*>(lParam));
    case WM_NCDESTROY:
        releaseWindowState<MailboxPage>(window, DWLP_USER);
        return FALSE;
    default:
        return FALSE;
    }
}
