#include "ui/alert_window.h"

#include "base/wide_text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "ui/paint_wait.h"
#include "ui/window_metrics.h"

#include <cctype>

const char kAlertWindowClass[] = "AlertWin";

namespace {

// Sizes at 96 DPI, scaled to the window's DPI.
constexpr int kAlertWidth = 350;
constexpr int kAlertHeight = 40;
constexpr int kFontHeight = 18;
constexpr int kFontWidth = 8;
constexpr int kCornerSize = 15;
constexpr int kTextCapacity = 260;
constexpr COLORREF kTextColour = RGB(240, 255, 240);
constexpr COLORREF kNormalColour = RGB(10, 80, 255);
constexpr COLORREF kErrorColour = RGB(255, 32, 32);
constexpr COLORREF kSuccessColour = RGB(60, 200, 60);
constexpr char kTestSucceeded[] = "Успешное тестирование.";

// Compares ignoring the case of Latin letters only.
bool equalIgnoringLatinCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; a++, b++) {
        unsigned char x = static_cast<unsigned char>(*a);
        unsigned char y = static_cast<unsigned char>(*b);
        if (x < 128 && y < 128) {
            x = static_cast<unsigned char>(tolower(x));
            y = static_cast<unsigned char>(tolower(y));
        }
        if (x != y) {
            return false;
        }
    }
    return *a == *b;
}

void onPaint(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    PaintScope paint(window);
    if (paint.dc() == nullptr) {
        return;
    }
    HDC dc = paint.dc();
    wchar_t text[kTextCapacity] = {};
    GetWindowTextW(window, text, kTextCapacity);
    char narrow[kTextCapacity];
    narrowText(text, narrow, sizeof narrow);
    COLORREF background = alertBackground(narrow, gAgent.alertIsError, gAgent.pollMode);

    int dpi = windowDpi(window);
    GdiObject<HFONT> font(CreateFontA(scaleForDpi(kFontHeight, dpi), scaleForDpi(kFontWidth, dpi), 0, 0, FW_NORMAL, 0,
                                      0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Times New Roman"));
    GdiObject<HBRUSH> brush(CreateSolidBrush(background));
    SelectedObject withFont(dc, font.get());
    SelectedObject withBrush(dc, brush.get());
    SetTextColor(dc, kTextColour);
    SetBkColor(dc, background);
    int corner = scaleForDpi(kCornerSize, dpi);
    RoundRect(dc, client.left, client.top, client.right, client.bottom, corner, corner);
    DrawTextW(dc, text, -1, &client, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
}

} // namespace

COLORREF alertBackground(const char* text, int isError, int pollMode) {
    COLORREF colour = kNormalColour;
    if (isError) {
        colour = kErrorColour;
    }
    if (pollMode == 0 && equalIgnoringLatinCase(text, kTestSucceeded)) {
        colour = kSuccessColour;
    }
    return colour;
}

LRESULT CALLBACK alertWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_LBUTTONUP:
        ShowWindow(window, SW_HIDE);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND createAlertWindow(HWND parent) {
    RECT client;
    GetClientRect(parent, &client);
    int width = scaleForWindow(parent, kAlertWidth);
    int height = scaleForWindow(parent, kAlertHeight);
    int x = (client.left + client.right - width) / 2;
    int y = (client.top + client.bottom - height) / 2;
    HWND alert = CreateWindowExW(WS_EX_TOPMOST, WideText(kAlertWindowClass).get(), WideText("Минуточку...").get(),
                                 WS_CHILD, x, y, width, height, parent, nullptr, gAgent.instance, nullptr);
    gAgent.alertWindow = alert;
    return alert;
}

void showAlert(const char* text, int isError) {
    HWND alert = gAgent.alertWindow;
    if (alert == nullptr) {
        return;
    }
    setWindowText(alert, text);
    gAgent.alertIsError = isError;
    // Over the middle of its window, which may have been resized since the
    // alert was made, and over whatever it shows: a page created after the
    // alert lies above it until then.
    RECT own = {};
    RECT client = {};
    GetWindowRect(alert, &own);
    GetClientRect(GetParent(alert), &client);
    int x = (client.left + client.right - (own.right - own.left)) / 2;
    int y = (client.top + client.bottom - (own.bottom - own.top)) / 2;
    SetWindowPos(alert, HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    InvalidateRect(alert, nullptr, TRUE);
    UpdateWindow(alert);
}

DWORD gNoticePauseMs = kNoticePauseMs;

bool showNoticeUntil(const char* text, int isError, HANDLE object, DWORD timeoutMs) {
    showAlert(text, isError);
    bool signalled = waitKeepingPainted(object, timeoutMs);
    hideAlert();
    return signalled;
}

void showNotice(const char* text, int isError, DWORD durationMs) {
    showNoticeUntil(text, isError, nullptr, durationMs);
}

void hideAlert() {
    if (gAgent.alertWindow != nullptr) {
        ShowWindow(gAgent.alertWindow, SW_HIDE);
    }
}
