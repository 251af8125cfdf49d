// The colours of the program's lists (the viewer's mail list and the
// mailbox page's list of mailboxes).
#pragma once
#include <windows.h>

constexpr COLORREF kListBackground = RGB(230, 255, 230);
constexpr COLORREF kListText = RGB(10, 0, 130);
