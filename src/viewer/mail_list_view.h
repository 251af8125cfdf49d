// The mail list control: a report-style list view inside the tab control
// that shows the mails of the tab shown, grouped by mailbox (detailed view,
// seven columns) or flat (compact view, five columns), with a check box per
// row for the deletion mark. The control holds no data of its own (owner
// data): it asks for each row's texts, icon and check state as it paints,
// and the rows (viewer/mail_rows.h) answer.
#pragma once
#include <windows.h>
#include <commctrl.h>

struct Viewer;

// Destroys any list and builds it anew into area (client pixels of parent,
// the tab control) from the current array; the status bar's icons and labels
// are set too. sort arranges the array for the view style first. When clickX
// and clickY are both non-zero a left-button press is replayed there
// afterwards. False, after a message box, when the list cannot be created.
bool rebuildMailList(Viewer& viewer, HWND parent, const RECT& area, int clickX, int clickY, bool sort);

// Fits the columns to a list width, in the view's proportions, when the
// width differs from the one they were last fitted to.
void fitMailColumns(Viewer& viewer, int width);

// The list width at which both views show every date whole.
int mailListNeededWidth(const Viewer& viewer);

// Destroys the list (its image list goes with it).
void destroyMailList(Viewer& viewer);

// Fills in what the control asks of one cell: text, icon and check.
void describeMailCell(Viewer& viewer, LVITEMW& item);
