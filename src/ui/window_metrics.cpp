#include "ui/window_metrics.h"

#include "base/wide_text.h"

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

// GetDpiForWindow exists from Windows 10 version 1607 on; it is looked up
// once, at the first call.
GetDpiForWindowFunction dpiForWindowFunction() {
    static const GetDpiForWindowFunction function = [] {
        HMODULE user = GetModuleHandleA("user32.dll");
        FARPROC found = user != nullptr ? GetProcAddress(user, "GetDpiForWindow") : nullptr;
        return reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(found));
    }();
    return function;
}

int systemDpi() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return kStandardDpi;
    }
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kStandardDpi;
}

} // namespace

int windowDpi(HWND window) {
    GetDpiForWindowFunction function = dpiForWindowFunction();
    if (function != nullptr && window != nullptr) {
        UINT dpi = function(window);
        if (dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    return systemDpi();
}

int scaleForWindow(HWND window, int pixels) {
    return scaleForDpi(pixels, windowDpi(window));
}

int textWidth(HWND window, HFONT font, const char* text) {
    HDC dc = GetDC(window);
    if (dc == nullptr) {
        return 0;
    }
    HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    SIZE size = {};
    WideText wide(text);
    if (!GetTextExtentPoint32W(dc, wide.get(), lstrlenW(wide.get()), &size)) {
        size.cx = 0;
    }
    if (previous != nullptr && previous != HGDI_ERROR) {
        SelectObject(dc, previous);
    }
    ReleaseDC(window, dc);
    return size.cx;
}

ControlFont::ControlFont(HWND control) {
    font_ = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    if (font_ != nullptr) {
        return;
    }
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        made_ = CreateFontIndirectA(&metrics.lfStatusFont);
    }
    font_ = made_;
}

ControlFont::~ControlFont() {
    if (made_ != nullptr) {
        DeleteObject(made_);
    }
}
