#include "viewer/mail_list_view.h"

#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/service_paths.h"
#include "resources/resource.h"
#include "store/mail_date.h"
#include "store/mail_line.h"
#include "store/mail_order.h"
#include "ui/list_view_hit.h"
#include "viewer/viewer_state.h"
#include "core/program_names.h"
#include "ui/list_colours.h"

#include <commctrl.h>

#include <vector>

int compactDateFlag = 0;
int compactSenderFlag = 0;
int markAllFlag = 0;

namespace {

// Image list positions of the icons.
enum ListImage {
    kImageAttachment,
    kImageCollapsed,
    kImageExpanded,
    kImageDelete,
    kImageMail,
    kImageSettings,
    kImageView
};

constexpr int kDetailedNumberColumn = 6;
constexpr int kCompactNumberColumn = 4;

// One row of the list: a group's header row (record -1) or a mail.
struct ListRow {
    int group;
    int record;
};

std::vector<ListRow> rows;
// Whether a group's header row shows a check: all its mails marked when it
// is expanded, any when it is collapsed.
std::vector<char> headerChecked;
bool detailedRows = false;
bool emptyRows = false;

bool detailed() {
    return gViewer.viewStyle != 0;
}

void checkState(LVITEMA& item, bool checked) {
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    item.stateMask = LVIS_STATEIMAGEMASK;
}

// The texts, icon and check of one cell, asked for by the control.
void describeCell(LVITEMA& item) {
    MailList& list = currentMailList();
    char* out = (item.mask & LVIF_TEXT) != 0 && item.cchTextMax > 0 ? item.pszText : nullptr;
    size_t capacity = out != nullptr ? static_cast<size_t>(item.cchTextMax) : 0;
    if (out != nullptr) {
        out[0] = '\0';
    }
    if ((item.mask & LVIF_IMAGE) != 0) {
        item.iImage = -1;
    }
    if (emptyRows) {
        int textColumn = detailedRows ? 0 : 1;
        if (out != nullptr && item.iItem == 0 && item.iSubItem == textColumn) {
            copyText(out, capacity, gViewer.currentTab == 0 ? "Нет новых" : "Архив пуст");
        }
        if ((item.mask & LVIF_STATE) != 0) {
            item.state = 0;
            item.stateMask = LVIS_STATEIMAGEMASK;
        }
        return;
    }
    if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= rows.size()) {
        return;
    }
    const ListRow& row = rows[static_cast<size_t>(item.iItem)];
    if (row.record < 0) {
        const MailboxGroup& group = list.groups[row.group];
        if ((item.mask & LVIF_STATE) != 0) {
            checkState(item, headerChecked[static_cast<size_t>(row.group)] != 0);
        }
        if (item.iSubItem == 0) {
            if ((item.mask & LVIF_IMAGE) != 0) {
                item.iImage = group.collapsed ? kImageCollapsed : kImageExpanded;
            }
            if (out != nullptr) {
                copyText(out, capacity, group.pseudonym);
            }
        } else if (item.iSubItem == 1 && out != nullptr) {
            formatText(out, capacity, "Писем в ящике - %d", group.count);
        }
        return;
    }
    MailEntry& mail = list.records[row.record];
    if ((item.mask & LVIF_STATE) != 0) {
        checkState(item, mail.deletion != 0);
    }
    if (out == nullptr) {
        return;
    }
    const char* text = "";
    if (detailedRows) {
        switch (item.iSubItem) {
        case 1:
            text = mail.sender;
            break;
        case 2:
            text = entryShownDate(mail, list.dateBias);
            break;
        case 3:
            text = mail.attachment ? "+" : "";
            break;
        case 4:
            text = mail.size;
            break;
        case 5:
            text = mail.subject;
            break;
        case 6:
            text = mail.number;
            break;
        }
    } else {
        switch (item.iSubItem) {
        case 1:
            text = mail.sender;
            break;
        case 2:
            text = entryShownDate(mail, list.dateBias);
            break;
        case 3:
            text = mail.subject;
            break;
        case 4:
            text = mail.number;
            break;
        }
    }
    copyText(out, capacity, text);
}

void addIcon(HIMAGELIST images, int id) {
    HICON icon = static_cast<HICON>(LoadImageA(gAgent.instance, MAKEINTRESOURCEA(id), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (icon != nullptr) {
        ImageList_AddIcon(images, icon);
        DestroyIcon(icon);
    }
}

HICON statusIcon(int id) {
    return static_cast<HICON>(LoadImageA(gAgent.instance, MAKEINTRESOURCEA(id), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

void setPart(int part, int iconId, const char* label) {
    SendMessageA(gViewer.status, SB_SETICON, part,
                 reinterpret_cast<LPARAM>(iconId != 0 ? statusIcon(iconId) : nullptr));
    SendMessageA(gViewer.status, SB_SETTEXTA, part, reinterpret_cast<LPARAM>(label));
}

bool deletionFilePresent(bool& known) {
    ServicePath path(kDeletionFile);
    UniqueHandle file(CreateFileA(path.text, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        known = true;
        return true;
    }
    DWORD error = GetLastError();
    known = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return false;
}

void labelStatusBar() {
    if (gViewer.status == nullptr) {
        return;
    }
    setPart(0, IDI_DELETE, "Удалить (Del)");
    bool known = false;
    bool pending = deletionFilePresent(known);
    if (known) {
        setUndoAvailable(pending);
    }
    setPart(2, IDI_MAIL, "Получить почту (Ctrl+P");
    setPart(3, IDI_SETTINGS, "Настройки (Ctrl+N)");
    if (detailed()) {
        setPart(4, IDI_VIEW_COMPACT, "Минимизировать (Ctrl+Space)");
    } else {
        setPart(4, IDI_VIEW_DETAILED, "Показать подробно (Ctrl+Space)");
    }
}

bool insertColumn(int index, const char* header, int format, int width, int image) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<char*>(header);
    column.iSubItem = index;
    if (image >= 0) {
        column.mask |= LVCF_IMAGE;
        column.iImage = image;
    }
    return SendMessageA(gViewer.list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column)) >= 0;
}

void insertColumns(int width) {
    if (detailed()) {
        int k = width / 7;
        insertColumn(0, "Ящик", LVCFMT_CENTER, k, kImageCollapsed) &&
            insertColumn(1, "Отправитель", LVCFMT_LEFT, k + 30, -1) &&
            insertColumn(2, "Дата и время", LVCFMT_LEFT, k + 15, -1) &&
            insertColumn(3, "", LVCFMT_CENTER, (k + 15) / 3, kImageAttachment) &&
            insertColumn(4, "Размер", LVCFMT_CENTER, k / 2 + 10, -1) &&
            insertColumn(5, "Тема", LVCFMT_LEFT, 4 * k, -1) && insertColumn(6, "", LVCFMT_LEFT, 0, -1);
    } else {
        int f = width / 5;
        insertColumn(0, "", LVCFMT_IMAGE, 35, kImageCollapsed) && insertColumn(1, "От кого", LVCFMT_LEFT, f + 20, -1) &&
            insertColumn(2, "Когда", LVCFMT_CENTER, f - 10, -1) && insertColumn(3, "Что", LVCFMT_LEFT, 4 * f, -1) &&
            insertColumn(4, "", LVCFMT_LEFT, 0, -1);
    }
}

// Each group's mails as one range of the array.
template <typename Visit>
void forEachGroupRange(const MailList& list, Visit visit) {
    for (int g = 0; g < list.groupCount; g++) {
        const MailboxGroup& group = list.groups[g];
        if (group.count > 0 && group.firstIndex >= 0 && group.firstIndex + group.count <= list.count) {
            visit(list.records + group.firstIndex, group.count);
        }
    }
}

// Brings the array into the order of the view style: for the detailed view
// by mailbox, each mailbox's mails by date; for the compact view by date.
void sortForView(MailList& list) {
    if (detailed()) {
        std::vector<int> order(static_cast<size_t>(list.count));
        std::vector<int> collapsed;
        for (int g = 0; g < list.groupCount; g++) {
            collapsed.push_back(list.groups[g].collapsed);
        }
        int groups = arrangeMailRecords(list.records, list.count, order.data(), groupDateAscending != 0);
        if (groups == list.groupCount) {
            buildMailGroups(list.records, list.count, list.groups, list.groupCount);
            for (int g = 0; g < list.groupCount; g++) {
                list.groups[g].collapsed = collapsed[static_cast<size_t>(g)];
            }
        }
    } else {
        sortMailRecords(list.records, list.count, MailKey::Date, compactDateFlag != 0);
    }
}

void fillDetailedRows(MailList& list) {
    headerChecked.assign(static_cast<size_t>(list.groupCount), 0);
    for (int g = 0; g < list.groupCount; g++) {
        MailboxGroup& group = list.groups[g];
        group.rowIndex = static_cast<int>(rows.size());
        rows.push_back(ListRow{g, -1});
        if (group.count <= 0 || group.firstIndex < 0 || group.firstIndex + group.count > list.count) {
            continue;
        }
        int marked = 0;
        for (int i = group.firstIndex; i < group.firstIndex + group.count; i++) {
            marked += list.records[i].deletion != 0 ? 1 : 0;
            if (!group.collapsed) {
                rows.push_back(ListRow{g, i});
            }
        }
        group.allMarked = marked == group.count ? 1 : 0;
        headerChecked[static_cast<size_t>(g)] = group.collapsed ? marked > 0 : group.allMarked != 0;
    }
}

void fillCompactRows(const MailList& list) {
    headerChecked.clear();
    for (int i = 0; i < list.count; i++) {
        // A placeholder stands for a mailbox without mail, not for a mail.
        if (!isPlaceholderRecord(list.records[i])) {
            rows.push_back(ListRow{-1, i});
        }
    }
}

int rowCount() {
    return emptyRows ? 1 : static_cast<int>(rows.size());
}

} // namespace

void destroyMailList() {
    if (gViewer.list != nullptr) {
        DestroyWindow(gViewer.list);
        gViewer.list = nullptr;
    }
    if (gViewer.images != nullptr) {
        ImageList_Destroy(gViewer.images);
        gViewer.images = nullptr;
    }
    rows.clear();
    headerChecked.clear();
}

bool rebuildMailList(HWND parent, const RECT& area, int clickX, int clickY, bool sort) {
    MailList& list = currentMailList();
    destroyMailList();

    int iconSize = GetSystemMetrics(SM_CXSMICON);
    gViewer.images = ImageList_Create(iconSize, GetSystemMetrics(SM_CYSMICON), ILC_COLOR32 | ILC_MASK, 8, 1);
    for (int id : {IDI_ATTACHMENT, IDI_GROUP_COLLAPSED, IDI_GROUP_EXPANDED, IDI_DELETE, IDI_MAIL, IDI_SETTINGS}) {
        addIcon(gViewer.images, id);
    }
    addIcon(gViewer.images, detailed() ? IDI_VIEW_COMPACT : IDI_VIEW_DETAILED);

    gViewer.list =
        CreateWindowExA(0, WC_LISTVIEWA, "SysListView32",
                        WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA,
                        area.left, area.top, area.right - area.left, area.bottom - area.top - gViewer.statusHeight,
                        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIL_LIST)), gAgent.instance, nullptr);
    if (gViewer.list == nullptr) {
        SystemError failure(GetLastError());
        showMessagef(nullptr, kAgentCaption, MB_OK, "Затрудняюсь отобразить окно просмотра почты!\r\nОшибка %u: %s",
                     failure.code, failure.text);
        return false;
    }
    labelStatusBar();

    bool empty = list.records == nullptr || list.count <= 0;
    DWORD extended = LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_INFOTIP;
    if (!empty) {
        extended |= LVS_EX_SUBITEMIMAGES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
    }
    SendMessageA(gViewer.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extended);
    SendMessageA(gViewer.list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(gViewer.images));
    SendMessageA(gViewer.list, LVM_SETBKCOLOR, 0, kListBackground);
    SendMessageA(gViewer.list, LVM_SETTEXTBKCOLOR, 0, kListBackground);
    SendMessageA(gViewer.list, LVM_SETTEXTCOLOR, 0, kListText);
    // The check boxes come from the rows' records, not from the control.
    SendMessageA(gViewer.list, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
    insertColumns(area.right - area.left);

    detailedRows = detailed();
    emptyRows = empty;
    if (!empty) {
        if (sort) {
            sortForView(list);
        }
        if (detailedRows) {
            fillDetailedRows(list);
        } else {
            fillCompactRows(list);
        }
    }
    SendMessageA(gViewer.list, LVM_SETITEMCOUNT, static_cast<WPARAM>(rowCount()), 0);
    if (rowCount() > 0) {
        LVITEMA state = {};
        state.state = LVIS_FOCUSED | LVIS_SELECTED;
        state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        SendMessageA(gViewer.list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    }
    UpdateWindow(parent);
    if (clickX != 0 && clickY != 0) {
        PostMessageA(gViewer.list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(clickX, clickY));
    }
    return true;
}

namespace {

// The row's record, found by the mail number in its hidden column; null for
// group rows and numbers that match no record.
MailEntry* rowRecord(int row) {
    MailList& list = currentMailList();
    if (emptyRows || row < 0 || row >= rowCount() || list.records == nullptr) {
        return nullptr;
    }
    char number[261] = {};
    LVITEMA item = {};
    item.iSubItem = detailedRows ? kDetailedNumberColumn : kCompactNumberColumn;
    item.pszText = number;
    item.cchTextMax = sizeof number;
    SendMessageA(gViewer.list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    if (number[0] == '\0') {
        return nullptr;
    }
    for (int i = 0; i < list.count; i++) {
        if (strcmp(list.records[i].number, number) == 0) {
            return &list.records[i];
        }
    }
    return nullptr;
}

// The group whose header row is row, or null.
MailboxGroup* rowGroup(int row) {
    if (!detailedRows || emptyRows || row < 0 || static_cast<size_t>(row) >= rows.size() ||
        rows[static_cast<size_t>(row)].record >= 0) {
        return nullptr;
    }
    return &currentMailList().groups[rows[static_cast<size_t>(row)].group];
}

void redrawList() {
    InvalidateRect(gViewer.list, nullptr, FALSE);
}

void toggleMark(int row) {
    MailEntry* record = rowRecord(row);
    if (record != nullptr) {
        record->deletion = record->deletion ? 0 : 1;
        SendMessageA(gViewer.list, LVM_REDRAWITEMS, row, row);
    }
}

void rebuildAfterAction() {
    RECT area;
    GetClientRect(gViewer.tabs, &area);
    TabCtrl_AdjustRect(gViewer.tabs, FALSE, &area);
    if (!rebuildMailList(gViewer.tabs, area, 0, 0, false)) {
        PostMessageA(gViewer.window, WM_CLOSE, 0, 0);
        return;
    }
    SetFocus(gViewer.list);
}

// A press on the label of row, as the user's click would have selected it
// in the list before the rebuild.
void replayPressOnRow(int row) {
    RECT label = {};
    label.left = LVIR_LABEL;
    RECT client = {};
    if (gViewer.list == nullptr ||
        SendMessageA(gViewer.list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&label)) == 0 ||
        !GetClientRect(gViewer.list, &client)) {
        return;
    }
    POINT middle = {(label.left + label.right) / 2, (label.top + label.bottom) / 2};
    if (PtInRect(&client, middle)) {
        PostMessageA(gViewer.list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(middle.x, middle.y));
    }
}

// Folds or unfolds a group; a click on its sign selects its row afterwards.
void toggleGroup(MailboxGroup& group, bool replayPress) {
    if (group.count <= 0) {
        return;
    }
    group.collapsed = group.collapsed ? 0 : 1;
    int row = group.rowIndex;
    rebuildAfterAction();
    if (replayPress) {
        replayPressOnRow(row);
    }
}

void markGroup(MailboxGroup& group) {
    if (group.count <= 0) {
        return;
    }
    MailList& list = currentMailList();
    group.allMarked = group.allMarked ? 0 : 1;
    for (int i = group.firstIndex; i >= 0 && i < group.firstIndex + group.count && i < list.count; i++) {
        list.records[i].deletion = group.allMarked;
    }
    headerChecked[static_cast<size_t>(&group - list.groups)] = static_cast<char>(group.allMarked);
    redrawList();
}

void markAll() {
    MailList& list = currentMailList();
    markAllFlag = markAllFlag ? 0 : 1;
    for (int i = 0; i < list.count && list.records != nullptr; i++) {
        list.records[i].deletion = markAllFlag;
    }
    for (int g = 0; g < list.groupCount; g++) {
        list.groups[g].allMarked = markAllFlag;
    }
    headerChecked.assign(headerChecked.size(), static_cast<char>(markAllFlag));
    redrawList();
}

void showNumber(const char* number) {
    showMessagef(nullptr, kAgentCaption, MB_OK, "Выбрано письмо с глобальным номером %s.", number);
}

// The check box is the row's state image and a group's fold sign its icon,
// wherever the control draws them.
void onClick(const NMITEMACTIVATE& click) {
    int row = click.iItem;
    if (row < 0 || emptyRows) {
        return;
    }
    RowPart part = listRowPartAt(gViewer.list, row, click.ptAction);
    MailboxGroup* group = rowGroup(row);
    if (detailedRows && group != nullptr) {
        if (part == RowPart::Icon) {
            toggleGroup(*group, true);
        } else if (part == RowPart::CheckBox) {
            markGroup(*group);
        }
        return;
    }
    if (part == RowPart::CheckBox) {
        toggleMark(row);
    }
}

void onDoubleClick(const NMITEMACTIVATE& click) {
    int row = click.iItem;
    if (row < 0 || emptyRows) {
        return;
    }
    RowPart part = listRowPartAt(gViewer.list, row, click.ptAction);
    if (part == RowPart::CheckBox) {
        onClick(click);
        return;
    }
    MailboxGroup* group = rowGroup(row);
    if (detailedRows && part == RowPart::Margin) {
        return;
    }
    if (group != nullptr && group->count > 0) {
        toggleGroup(*group, false);
        return;
    }
    char number[261] = {};
    ListView_GetItemText(gViewer.list, row, detailedRows ? kDetailedNumberColumn : kCompactNumberColumn, number,
                         sizeof number);
    showNumber(number);
}

void onKey(const NMLVKEYDOWN& key) {
    if (emptyRows) {
        return;
    }
    int row = static_cast<int>(SendMessageA(gViewer.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0) {
        return;
    }
    MailboxGroup* group = rowGroup(row);
    switch (key.wVKey) {
    case VK_RETURN:
        if (group != nullptr) {
            toggleGroup(*group, false);
        }
        break;
    case VK_SPACE:
        if (group != nullptr) {
            markGroup(*group);
        } else {
            toggleMark(row);
        }
        break;
    case 'A':
        if (GetKeyState(VK_CONTROL) < 0) {
            markAll();
        }
        break;
    }
}

void onColumnClick(int column) {
    MailList& list = currentMailList();
    if (column == 0) {
        markAll();
        return;
    }
    if (emptyRows) {
        return;
    }
    if (detailedRows) {
        if (column == 2) {
            groupDateAscending = groupDateAscending ? 0 : 1;
            forEachGroupRange(list, [](MailEntry* first, int count) {
                sortMailRecords(first, count, MailKey::Date, groupDateAscending != 0);
            });
        } else if (column == 1) {
            forEachGroupRange(
                list, [](MailEntry* first, int count) { sortMailRecords(first, count, MailKey::Sender, false); });
        } else {
            return;
        }
    } else {
        if (column == 1) {
            compactSenderFlag = compactSenderFlag ? 0 : 1;
            if (compactSenderFlag) {
                sortMailRecords(list.records, list.count, MailKey::Address, false);
                forEachGroupRange(
                    list, [](MailEntry* first, int count) { sortMailRecords(first, count, MailKey::Date, false); });
            } else {
                sortMailRecords(list.records, list.count, MailKey::Sender, false);
            }
        } else if (column == 2) {
            compactDateFlag = compactDateFlag ? 0 : 1;
            sortMailRecords(list.records, list.count, MailKey::Date, compactDateFlag == 0);
        } else {
            return;
        }
    }
    rebuildAfterAction();
}

} // namespace

LRESULT onMailListNotify(NMHDR* header, bool& userAction) {
    userAction = false;
    if (header->hwndFrom != gViewer.list || gViewer.list == nullptr) {
        return 0;
    }
    switch (header->code) {
    case LVN_GETDISPINFOA:
        describeCell(reinterpret_cast<NMLVDISPINFOA*>(header)->item);
        return 0;
    case NM_CLICK:
        userAction = true;
        onClick(*reinterpret_cast<NMITEMACTIVATE*>(header));
        return 0;
    case NM_DBLCLK:
        userAction = true;
        onDoubleClick(*reinterpret_cast<NMITEMACTIVATE*>(header));
        return 0;
    case LVN_KEYDOWN:
        userAction = true;
        onKey(*reinterpret_cast<NMLVKEYDOWN*>(header));
        return 0;
    case LVN_COLUMNCLICK:
        userAction = true;
        onColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        return 0;
    }
    return 0;
}
