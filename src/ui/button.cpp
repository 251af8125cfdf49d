#include "ui/button.h"

#include "base/file_names.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "ui/window_state.h"

#include <shellapi.h>

#include <cstring>
#include <memory>
#include <new>

const char kButtonClass[] = "Кнопка";

namespace {

constexpr COLORREF kEnabledText = RGB(0, 50, 255);
constexpr COLORREF kDisabledText = RGB(235, 140, 130);
constexpr int kTextCapacity = 261;
constexpr size_t kAddressCapacity = 260;

// What a link opens; the link's window owns it (GWLP_USERDATA). The other
// buttons have none.
struct Link {
    char address[kAddressCapacity] = {};
};

const Link* linkOf(HWND window) {
    return windowState<Link>(window, GWLP_USERDATA);
}

// No font is ever set on these windows: the device context's own font draws.
void onPaint(HWND window) {
    PaintScope paint(window);
    if (paint.dc() == nullptr) {
        return;
    }
    RECT area;
    GetClientRect(window, &area);
    wchar_t text[kTextCapacity];
    int length = GetWindowTextW(window, text, kTextCapacity);
    if (length > 0) {
        SavedDcState restored(paint.dc());
        SetTextColor(paint.dc(), IsWindowEnabled(window) ? kEnabledText : kDisabledText);
        SetBkMode(paint.dc(), TRANSPARENT);
        DrawTextW(paint.dc(), text, length, &area, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    }
}

void onClick(HWND window) {
    if (const Link* link = linkOf(window)) {
        // A link the shell cannot open does nothing: there is nowhere to say so.
        shellOpen(nullptr, 0, link->address, nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    int id = GetDlgCtrlID(window);
    HWND parent = GetParent(window);
    if (id != 0 && parent != nullptr) {
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(window));
    }
}

} // namespace

HWND createButtonWindow(DWORD extendedStyle, const RECT& area, HWND parent, int id) {
    return CreateWindowExW(extendedStyle, WideText(kButtonClass).get(), L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                           area.left, area.top, area.right - area.left, area.bottom - area.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), gAgent.instance, nullptr);
}

LRESULT CALLBACK buttonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_LBUTTONUP:
        onClick(window);
        return 0;
    case WM_NCDESTROY:
        detachWindowState<Link>(window, GWLP_USERDATA);
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND createLinkButton(HWND parent, const RECT& area, const char* address) {
    std::unique_ptr<Link> link(new (std::nothrow) Link);
    if (!link || copyText(link->address, sizeof link->address, address) != strlen(address)) {
        return nullptr;
    }
    UniqueWindow window(createButtonWindow(WS_EX_TRANSPARENT, area, parent, 0));
    if (window.get() == nullptr || !attachWindowState(window.get(), GWLP_USERDATA, std::move(link))) {
        return nullptr;
    }
    return window.release();
}
