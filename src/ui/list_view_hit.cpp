#include "ui/list_view_hit.h"

#include <commctrl.h>

RowPart listRowPartAt(HWND list, int row, POINT point) {
    if (row < 0) {
        return RowPart::None;
    }
    LVHITTESTINFO hit = {};
    hit.pt = point;
    SendMessageA(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (hit.iItem != row) {
        return RowPart::None;
    }
    if (hit.iSubItem != 0) {
        return RowPart::Other;
    }
    // With full-row selection a point on neither part of the item reports
    // all three LVHT_ONITEM bits; only the state image bit alone is the box.
    if ((hit.flags & LVHT_ONITEM) == LVHT_ONITEMSTATEICON) {
        return RowPart::CheckBox;
    }
    // The first column's icon; subitem 0 names the item itself.
    RECT icon = {};
    icon.top = 0;
    icon.left = LVIR_ICON;
    if (SendMessageA(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&icon)) != 0) {
        if (PtInRect(&icon, point)) {
            return RowPart::Icon;
        }
        if (point.x < icon.left) {
            return RowPart::Margin;
        }
    }
    return RowPart::Other;
}
