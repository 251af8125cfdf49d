#include "viewer/mail_list_notify.h"

#include "base/win_util.h"
#include "core/program_names.h"
#include "ui/list_view_hit.h"
#include "viewer/mail_columns.h"
#include "viewer/mail_list_view.h"
#include "viewer/mail_sort.h"
#include "viewer/viewer_state.h"

#include <commctrl.h>

namespace {

void redrawList(const Viewer& viewer) {
    InvalidateRect(viewer.listControl(), nullptr, FALSE);
}

void toggleMark(Viewer& viewer, int row) {
    if (viewer.list.rows.toggleMark(viewer.mails(), row)) {
        SendMessageA(viewer.listControl(), LVM_REDRAWITEMS, row, row);
    }
}

void rebuildAfterAction(Viewer& viewer) {
    RECT area;
    GetClientRect(viewer.tabs, &area);
    TabCtrl_AdjustRect(viewer.tabs, FALSE, &area);
    if (!rebuildMailList(viewer, viewer.tabs, area, 0, 0, false)) {
        PostMessageA(viewer.window, WM_CLOSE, 0, 0);
        return;
    }
    SetFocus(viewer.listControl());
}

// A press on the label of row, as the user's click would have selected it
// in the list before the rebuild.
void replayPressOnRow(const Viewer& viewer, int row) {
    HWND list = viewer.listControl();
    RECT label = {};
    label.left = LVIR_LABEL;
    RECT client = {};
    if (list == nullptr ||
        SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&label)) == 0 ||
        !GetClientRect(list, &client)) {
        return;
    }
    POINT middle = {(label.left + label.right) / 2, (label.top + label.bottom) / 2};
    if (PtInRect(&client, middle)) {
        PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(middle.x, middle.y));
    }
}

// Folds or unfolds a group; a click on its sign selects its row afterwards.
void toggleGroup(Viewer& viewer, MailboxGroup& group, bool replayPress) {
    if (group.count <= 0) {
        return;
    }
    group.collapsed = group.collapsed ? 0 : 1;
    int row = group.rowIndex;
    rebuildAfterAction(viewer);
    if (replayPress) {
        replayPressOnRow(viewer, row);
    }
}

void markGroup(Viewer& viewer, MailboxGroup& group) {
    if (viewer.list.rows.markGroup(viewer.mails(), group)) {
        redrawList(viewer);
    }
}

void markAll(Viewer& viewer) {
    gMailListFlags.markAllFlag = gMailListFlags.markAllFlag ? 0 : 1;
    viewer.list.rows.markAll(viewer.mails(), gMailListFlags.markAllFlag);
    redrawList(viewer);
}

// The check box is the row's state image and a group's fold sign its icon,
// wherever the control draws them.
void onClick(Viewer& viewer, const NMITEMACTIVATE& click) {
    int row = click.iItem;
    const MailRows& rows = viewer.list.rows;
    if (row < 0 || rows.empty()) {
        return;
    }
    RowPart part = listRowPartAt(viewer.listControl(), row, click.ptAction);
    MailboxGroup* group = rows.groupAt(viewer.mails(), row);
    if (group != nullptr) {
        if (part == RowPart::Icon) {
            toggleGroup(viewer, *group, true);
        } else if (part == RowPart::CheckBox) {
            markGroup(viewer, *group);
        }
        return;
    }
    if (part == RowPart::CheckBox) {
        toggleMark(viewer, row);
    }
}

void onDoubleClick(Viewer& viewer, const NMITEMACTIVATE& click) {
    int row = click.iItem;
    const MailRows& rows = viewer.list.rows;
    if (row < 0 || rows.empty()) {
        return;
    }
    RowPart part = listRowPartAt(viewer.listControl(), row, click.ptAction);
    if (part == RowPart::CheckBox) {
        onClick(viewer, click);
        return;
    }
    if (rows.grouped() && part == RowPart::Margin) {
        return;
    }
    MailboxGroup* group = rows.groupAt(viewer.mails(), row);
    if (group != nullptr && group->count > 0) {
        toggleGroup(viewer, *group, false);
        return;
    }
    char number[261] = {};
    ListView_GetItemText(viewer.listControl(), row, mailColumns(rows.grouped()).numberColumn, number, sizeof number);
    showMessagef(viewer.listControl(), kAgentCaption, MB_OK, "Выбрано письмо с глобальным номером %s.", number);
}

void onKey(Viewer& viewer, const NMLVKEYDOWN& key) {
    if (viewer.list.rows.empty()) {
        return;
    }
    int row =
        static_cast<int>(SendMessageA(viewer.listControl(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0) {
        return;
    }
    MailboxGroup* group = viewer.list.rows.groupAt(viewer.mails(), row);
    switch (key.wVKey) {
    case VK_RETURN:
        if (group != nullptr) {
            toggleGroup(viewer, *group, false);
        }
        break;
    case VK_SPACE:
        if (group != nullptr) {
            markGroup(viewer, *group);
        } else {
            toggleMark(viewer, row);
        }
        break;
    case 'A':
        if (GetKeyState(VK_CONTROL) < 0) {
            markAll(viewer);
        }
        break;
    }
}

void onColumnClick(Viewer& viewer, int column) {
    if (column == 0) {
        markAll(viewer);
        return;
    }
    if (!viewer.list.rows.empty() && sortByColumn(viewer.mails(), viewer.list.rows.grouped(), column, gMailListFlags)) {
        rebuildAfterAction(viewer);
    }
}

} // namespace

LRESULT onMailListNotify(Viewer& viewer, NMHDR* header, bool& userAction) {
    userAction = false;
    if (header->hwndFrom != viewer.listControl() || header->hwndFrom == nullptr) {
        return 0;
    }
    switch (header->code) {
    case LVN_GETDISPINFOW:
        describeMailCell(viewer, reinterpret_cast<NMLVDISPINFOW*>(header)->item);
        return 0;
    case NM_CLICK:
        userAction = true;
        onClick(viewer, *reinterpret_cast<NMITEMACTIVATE*>(header));
        return 0;
    case NM_DBLCLK:
        userAction = true;
        onDoubleClick(viewer, *reinterpret_cast<NMITEMACTIVATE*>(header));
        return 0;
    case LVN_KEYDOWN:
        userAction = true;
        onKey(viewer, *reinterpret_cast<NMLVKEYDOWN*>(header));
        return 0;
    case LVN_COLUMNCLICK:
        userAction = true;
        onColumnClick(viewer, reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        return 0;
    }
    return 0;
}
