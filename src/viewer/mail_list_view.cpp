#include "viewer/mail_list_view.h"

#include "base/wide_text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/program_names.h"
#include "resources/resource.h"
#include "store/mail_date.h"
#include "ui/list_colours.h"
#include "ui/window_metrics.h"
#include "viewer/mail_columns.h"
#include "viewer/mail_sort.h"
#include "viewer/viewer_state.h"
#include "viewer/viewer_status_bar.h"

#include <cstdio>
#include <vector>

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

// The room a cell gives its text beyond the text itself.
constexpr int kCellPadding = 12;

// The width of the widest date the list can show, with a cell's margins, in
// the list's font: a date near the end of each month (the day with two
// digits) and the text shown for a date that cannot be converted.
int dateCellWidth(HWND list) {
    constexpr long long kFirstOf2026 = 1767225600; // 2026-01-01 00:00:00 UTC
    constexpr long long kMonth = 2629800;          // a twelfth of a year
    constexpr long long kDays27 = 27 * 86400LL;
    ControlFont font(list);
    int widest = textWidth(list, font.get(), kUnknownMailDate);
    for (int month = 0; month < 12; month++) {
        char text[64];
        snprintf(text, sizeof text, "%lld", kFirstOf2026 + month * kMonth + kDays27);
        if (showMailDate(text, text, sizeof text, 0)) {
            int width = textWidth(list, font.get(), text);
            widest = width > widest ? width : widest;
        }
    }
    return widest + scaleForWindow(list, kCellPadding);
}

// Inserts the view's columns left to right, up to the first one the control
// refuses.
void insertColumns(HWND list, bool detailed, int width) {
    const MailColumnTable& table = mailColumns(detailed);
    int dpi = windowDpi(list);
    int dateWidth = dateCellWidth(list);
    for (int index = 0; index < table.count; index++) {
        const MailColumn& entry = table.columns[index];
        WideText header(entry.header);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.cx = mailColumnWidth(table, index, width, dpi);
        column.fmt = columnFormat(mailColumnAlign(table, index, column.cx, dateWidth));
        column.pszText = const_cast<wchar_t*>(header.get());
        column.iSubItem = index;
        if (entry.image != HeaderImage::None) {
            column.mask |= LVCF_IMAGE;
            column.iImage = entry.image == HeaderImage::Group ? kImageCollapsed : kImageAttachment;
        }
        if (SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) < 0) {
            return;
        }
    }
}

constexpr UINT_PTR kFirstColumnSubclassId = 1;

// The first column holds the check boxes and the fold signs, where the user
// looks for them at the row's start: its header cannot be dragged, and no
// other header can be dropped before it.
LRESULT CALLBACK keepFirstColumnProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    switch (message) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHEADERW*>(lParam);
        if (header->hdr.hwndFrom != ListView_GetHeader(list)) {
            break;
        }
        if (header->hdr.code == HDN_BEGINDRAG && header->iItem == 0) {
            return TRUE;
        }
        if (header->hdr.code == HDN_ENDDRAG && header->pitem != nullptr && (header->pitem->mask & HDI_ORDER) != 0 &&
            header->pitem->iOrder == 0) {
            return TRUE;
        }
        break;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(list, keepFirstColumnProc, id);
        break;
    }
    return DefSubclassProc(list, message, wParam, lParam);
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
    SetWindowSubclass(list, keepFirstColumnProc, kFirstColumnSubclassId, 0);
    labelStatusBar(viewer);
    MailList& mails = viewer.mails();
    dressList(list, images, mails.records == nullptr || mails.count <= 0);
    insertColumns(list, viewer.detailed(), area.right - area.left);
    viewer.list.fittedWidth = area.right - area.left;
    fillRows(viewer, sort);
    UpdateWindow(parent);
    if (clickX != 0 && clickY != 0) {
        PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(clickX, clickY));
    }
    return true;
}

void describeMailCell(Viewer& viewer, LVITEMW& item) {
    MailList& mails = viewer.mails();
    const MailRows& rows = viewer.list.rows;
    if ((item.mask & LVIF_TEXT) != 0 && item.cchTextMax > 0 && item.pszText != nullptr) {
        // The rows' texts are Windows-1251: one byte for each UTF-16 unit.
        std::vector<char> text(static_cast<size_t>(item.cchTextMax));
        rows.cellText(mails, item.iItem, item.iSubItem, text.data(), text.size());
        widenText(text.data(), item.pszText, static_cast<size_t>(item.cchTextMax));
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

void fitMailColumns(Viewer& viewer, int width) {
    HWND list = viewer.listControl();
    if (list == nullptr || width == viewer.list.fittedWidth) {
        return;
    }
    viewer.list.fittedWidth = width;
    const MailColumnTable& table = mailColumns(viewer.detailed());
    int dpi = windowDpi(list);
    int dateWidth = dateCellWidth(list);
    for (int index = 0; index < table.count; index++) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT;
        if (!SendMessageW(list, LVM_GETCOLUMNW, index, reinterpret_cast<LPARAM>(&column))) {
            return; // the columns the control refused end here
        }
        // The format keeps its other flags (the header's image).
        column.mask = LVCF_FMT | LVCF_WIDTH;
        column.cx = mailColumnWidth(table, index, width, dpi);
        column.fmt =
            (column.fmt & ~LVCFMT_JUSTIFYMASK) | columnFormat(mailColumnAlign(table, index, column.cx, dateWidth));
        SendMessageW(list, LVM_SETCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
    }
}

int mailListNeededWidth(const Viewer& viewer) {
    HWND list = viewer.listControl();
    if (list == nullptr) {
        return 0;
    }
    int dpi = windowDpi(list);
    int dateWidth = dateCellWidth(list);
    int grouped = listWidthForDates(mailColumns(true), dateWidth, dpi);
    int flat = listWidthForDates(mailColumns(false), dateWidth, dpi);
    return grouped > flat ? grouped : flat;
}
