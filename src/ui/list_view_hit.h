// Which part of a row of a report-style list view a point lies on, as the
// control itself lays the row out: the check box (the item's state image),
// the item's icon, or the margin left of them. The scaling, the column order
// and the horizontal scroll all move these parts, so clicks are placed by
// asking the control, never by fixed pixel ranges.
#pragma once
#include <windows.h>

enum class RowPart {
    None,     // not on that row
    Margin,   // in the first column, left of the icon and not on the check box
    CheckBox, // the item's state image
    Icon,     // the item's icon in the first column
    Other,    // the label or another column
};

// The part of row that point (client coordinates of list) lies on.
RowPart listRowPartAt(HWND list, int row, POINT point);
