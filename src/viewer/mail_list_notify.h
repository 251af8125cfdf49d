// What the mail list does on the user's clicks, keys and column clicks, and
// on the control's requests for row data. The list's notifications reach the
// viewer through the tab control.
#pragma once
#include <windows.h>

struct Viewer;

// A notification of the list. userAction tells whether it came from the user
// (clicks, keys, column clicks), after which the viewer drops the pending
// input; the list's requests for row data do not.
LRESULT onMailListNotify(Viewer& viewer, NMHDR* header, bool& userAction);
