#include "viewer/viewer_size.h"

#include "ui/window_metrics.h"
#include "viewer/mail_list_view.h"
#include "viewer/viewer_state.h"
#include "viewer/viewer_status_bar.h"

#include <commctrl.h>

namespace {

// The room the tab control's frame and tabs take around the list.
SIZE tabFrame(HWND tabs) {
    constexpr int kProbe = 1000;
    RECT area = {0, 0, kProbe, kProbe};
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    return SIZE{kProbe - (area.right - area.left), kProbe - (area.bottom - area.top)};
}

RECT workArea(HWND window) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return monitor.rcWork;
    }
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// Moves [start, start + length) into [low, high), cutting it where it is
// longer.
void fitSpan(LONG& start, LONG& length, LONG low, LONG high) {
    if (length > high - low) {
        length = high - low;
    }
    if (start + length > high) {
        start = high - length;
    }
    if (start < low) {
        start = low;
    }
}

} // namespace

bool isDefaultViewerRect(const ViewerRect& rect) {
    ViewerRect builtIn;
    return rect.left == builtIn.left && rect.top == builtIn.top && rect.right == builtIn.right &&
           rect.bottom == builtIn.bottom;
}

RECT defaultViewerRect(const Viewer& viewer, const RECT& current) {
    ViewerRect builtIn;
    SIZE frame = tabFrame(viewer.tabs);
    int listWidth = mailListNeededWidth(viewer) + frame.cx;
    int statusWidth = statusBarNeededWidth(viewer);
    RECT client = {0, 0, listWidth > statusWidth ? listWidth : statusWidth, 0};
    AdjustWindowRectEx(&client, WS_OVERLAPPEDWINDOW, FALSE, 0);
    LONG width = client.right - client.left;
    LONG least = scaleForWindow(viewer.window, builtIn.right - builtIn.left);
    width = width > least ? width : least;
    LONG height = scaleForWindow(viewer.window, builtIn.bottom - builtIn.top);
    RECT work = workArea(viewer.window);
    LONG left = current.left;
    LONG top = current.top;
    fitSpan(left, width, work.left, work.right);
    fitSpan(top, height, work.top, work.bottom);
    return RECT{left, top, left + width, top + height};
}
