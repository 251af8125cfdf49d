#include "viewer/mail_list_view.h"

#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/program_names.h"
#include "resources/resource.h"
#include "ui/list_colours.h"
#include "viewer/mail_columns.h"
#include "viewer/mail_sort.h"
#include "viewer/viewer_state.h"
#include "viewer/viewer_status_bar.h"

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

void addIcon(HIMAGELIST images, int id) {
    IconOwner icon(static_cast<HICON>(LoadImageA(gAgent.instance, MAKEINTRESOURCEA(id), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    if (icon.get() != nullptr) {
        ImageList_AddIcon(images, icon.get());
    }
}

HIMAGELIST createImages(bool detailed) {
    HIMAGELIST images =
        ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), ILC_COLOR32 | ILC_MASK, 8, 1);
    if (images == nullptr) {
        return nullptr;
    }
    for (int id : {IDI_ATTACHMENT, IDI_GROUP_COLLAPSED, IDI_GROUP_EXPANDED, IDI_DELETE, IDI_MAIL, IDI_SETTINGS}) {
        addIcon(images, id);
    }
    addIcon(images, detailed ? IDI_VIEW_COMPACT : IDI_VIEW_DETAILED);
    return images;
}

int columnFormat(ColumnAlign align) {
    switch (align) {
    case ColumnAlign::Left:
        return LVCFMT_LEFT;
    case ColumnAlign::Centre:
        return LVCFMT_CENTER;
    case ColumnAlign::ImageOnly:
        return LVCFMT_IMAGE;
    }
    return LVCFMT_LEFT;
}

// Inserts the view's columns left to right, up to the first one the control
// refuses.
void insertColumns(HWND list, bool detailed, int width) {
    const MailColumnTable& table = mailColumns(detailed);
    int unit = width / table.unitDivisor;
    for (int index = 0; index < table.count; index++) {
        const MailColumn& entry = table.columns[index];
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = columnFormat(entry.align);
        column.cx = entry.width(unit);
        column.pszText = const_cast<char*>(entry.header);
        column.iSubItem = index;
        if (entry.image != HeaderImage::None) {
            column.mask |= LVCF_IMAGE;
            column.iImage = entry.image == HeaderImage::Group ? kImageCollapsed : kImageAttachment;
        }
        if (SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column)) < 0) {
            return;
        }
    }
}

HWND createListControl(const Viewer& viewer, HWND parent, const RECT& area) {
    return CreateWindowExA(0, WC_LISTVIEWA, "SysListView32",
                           WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA,
                           area.left, area.top, area.right - area.left, area.bottom - area.top - viewer.statusHeight,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIL_LIST)), gAgent.instance,
                           nullptr);
}

// Extended styles, images and colours; the image list goes to the control,
// which destroys it with itself.
void dressList(HWND list, ImageListOwner& images, bool empty) {
    DWORD extended = LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_INFOTIP;
    if (!empty) {
        extended |= LVS_EX_SUBITEMIMAGES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
    }
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extended);
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images.get()));
    if (images.get() != nullptr &&
        SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0) == reinterpret_cast<LRESULT>(images.get())) {
        images.release();
    }
    SendMessageA(list, LVM_SETBKCOLOR, 0, kListBackground);
    SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, kListBackground);
    SendMessageA(list, LVM_SETTEXTCOLOR, 0, kListText);
    // The check boxes come from the rows' records, not from the control.
    SendMessageA(list, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
}

// The rows are laid out, the control told their number and row 0 selected.
void fillRows(Viewer& viewer, bool sort) {
    MailList& mails = viewer.mails();
    if (sort) {
        sortForView(mails, viewer.detailed(), gMailListFlags);
    }
    viewer.list.rows.build(mails, viewer.detailed(), viewer.currentTab == 0 ? "Нет новых" : "Архив пуст");
    HWND list = viewer.listControl();
    int count = viewer.list.rows.count();
    SendMessageA(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(count), 0);
    if (count > 0) {
        LVITEMA state = {};
        state.state = LVIS_FOCUSED | LVIS_SELECTED;
        state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    }
}

} // namespace

void destroyMailList(Viewer& viewer) {
    viewer.list.control.reset();
    viewer.list.rows.clear();
}

bool rebuildMailList(Viewer& viewer, HWND parent, const RECT& area, int clickX, int clickY, bool sort) {
    destroyMailList(viewer);
    ImageListOwner images(createImages(viewer.detailed()));
    viewer.list.control.reset(createListControl(viewer, parent, area));
    HWND list = viewer.listControl();
    if (list == nullptr) {
        SystemError failure(GetLastError());
        showMessagef(parent, kAgentCaption, MB_OK, "Затрудняюсь отобразить окно просмотра почты!\r\nОшибка %u: %s",
                     failure.code, failure.text);
        return false;
    }
    labelStatusBar(viewer);
    MailList& mails = viewer.mails();
    dressList(list, images, mails.records == nullptr || mails.count <= 0);
    insertColumns(list, viewer.detailed(), area.right - area.left);
    fillRows(viewer, sort);
    UpdateWindow(parent);
    if (clickX != 0 && clickY != 0) {
        PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(clickX, clickY));
    }
    return true;
}

void describeMailCell(Viewer& viewer, LVITEMA& item) {
    MailList& mails = viewer.mails();
    const MailRows& rows = viewer.list.rows;
    if ((item.mask & LVIF_TEXT) != 0 && item.cchTextMax > 0 && item.pszText != nullptr) {
        rows.cellText(mails, item.iItem, item.iSubItem, item.pszText, static_cast<size_t>(item.cchTextMax));
    }
    if ((item.mask & LVIF_IMAGE) != 0) {
        const MailboxGroup* group = item.iSubItem == 0 ? rows.groupAt(mails, item.iItem) : nullptr;
        item.iImage = group == nullptr ? -1 : group->collapsed ? kImageCollapsed : kImageExpanded;
    }
    if ((item.mask & LVIF_STATE) != 0) {
        RowCheck check = rows.checkAt(mails, item.iItem);
        item.state = check == RowCheck::None ? 0 : INDEXTOSTATEIMAGEMASK(check == RowCheck::Ticked ? 2 : 1);
        item.stateMask = LVIS_STATEIMAGEMASK;
    }
}
