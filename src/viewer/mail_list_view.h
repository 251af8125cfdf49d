// The mail list of the viewer: a report-style list control inside the tab
// control that shows the mails of the tab shown, grouped by mailbox (detailed
// view, seven columns) or flat (compact view, five columns), with a check box
// per row for the deletion mark. The control holds no data of its own (owner
// data): it asks for each row's texts, icon and check state as it paints, so a
// rebuild costs one pass over the array however many mails there are.
#pragma once
#include <windows.h>

// Sorting and marking flags, shared by both tabs and both views.
extern int compactDateFlag;
extern int compactSenderFlag;
extern int markAllFlag;

// Destroys any list and builds it anew into area (client pixels of parent,
// the tab control) from the current array; the status bar's icons and labels
// are set too. sort arranges the array for the view style first. When clickX
// and clickY are both non-zero a left-button press is replayed there
// afterwards. False, after a message box, when the list cannot be created.
bool rebuildMailList(HWND parent, const RECT& area, int clickX, int clickY, bool sort);

// Destroys the list and its image list.
void destroyMailList();

// A notification of the list (routed to the viewer from the tab control).
// userAction tells whether it came from the user (clicks, keys, column
// clicks), after which the viewer drops the pending input; the list's
// requests for row data are not.
LRESULT onMailListNotify(NMHDR* header, bool& userAction);
