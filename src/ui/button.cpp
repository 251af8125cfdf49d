#include "ui/button.h"

#include "core/agent_state.h"

#include <shellapi.h>

const char kButtonClass[] = "Кнопка";

namespace {

constexpr COLORREF kEnabledText = RGB(0, 50, 255);
constexpr COLORREF kDisabledText = RGB(235, 140, 130);
constexpr int kTextCapacity = 261;
// The About page has three links; a page is destroyed before the next one is
// created.
constexpr int kLinkCapacity = 3;

struct Link {
    HWND window;
    const char* address;
};
Link links[kLinkCapacity] = {};

Link* findLink(HWND window) {
    for (Link& link : links) {
        if (window != nullptr && link.window == window) {
            return &link;
        }
    }
    return nullptr;
}

// No font is ever set on these windows: the device context's own font draws.
void onPaint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (dc == nullptr) {
        return;
    }
    RECT area;
    GetClientRect(window, &area);
    char text[kTextCapacity];
    int length = GetWindowTextA(window, text, sizeof text);
    if (length > 0) {
        COLORREF oldColour = SetTextColor(dc, IsWindowEnabled(window) ? kEnabledText : kDisabledText);
        int oldMode = SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, text, length, &area, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
        SetBkMode(dc, oldMode);
        SetTextColor(dc, oldColour);
    }
    EndPaint(window, &ps);
}

void onClick(HWND window) {
    if (const Link* link = findLink(window)) {
        // A link the shell cannot open does nothing: there is nowhere to say so.
        ShellExecuteA(nullptr, "open", link->address, nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    int id = GetDlgCtrlID(window);
    HWND parent = GetParent(window);
    if (id != 0 && parent != nullptr) {
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(window));
    }
}

} // namespace

LRESULT CALLBACK buttonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_LBUTTONUP:
        onClick(window);
        return 0;
    case WM_NCDESTROY:
        if (Link* link = findLink(window)) {
            *link = Link{};
        }
        return DefWindowProcA(window, message, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND createLinkButton(HWND parent, const RECT& area, const char* address) {
    Link* free = nullptr;
    for (Link& link : links) {
        if (link.window == nullptr) {
            free = &link;
            break;
        }
    }
    if (free == nullptr) {
        return nullptr;
    }
    HWND window =
        CreateWindowExA(WS_EX_TRANSPARENT, kButtonClass, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, area.left, area.top,
                        area.right - area.left, area.bottom - area.top, parent, nullptr, gAgent.instance, nullptr);
    if (window != nullptr) {
        *free = Link{window, address};
    }
    return window;
}
