#include "viewer/viewer_window.h"
#include "base/file_names.h"

#include "base/win_handles.h"

#include "base/wide_text.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/program_names.h"
#include "core/service_paths.h"
#include "core/settings_file.h"
#include "resources/resource.h"
#include "store/fresh_mail.h"
#include "store/mail_lists.h"
#include "ui/alert_window.h"
#include "ui/tray_icon.h"
#include "viewer/mail_deletion.h"
#include "viewer/mail_list_notify.h"
#include "viewer/mail_list_view.h"
#include "viewer/viewer_size.h"
#include "viewer/viewer_state.h"
#include "viewer/viewer_status_bar.h"

#include <commctrl.h>

#include <cstring>
#include <memory>

const char kViewerWindowClass[] = "Lumetra_Class";

namespace {

constexpr UINT_PTR kTabsSubclassId = 1;

// The list of a tab control never hears its own children's notifications:
// they go on to the viewer. The list asks for its texts in UTF-16.
LRESULT CALLBACK tabsSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                  DWORD_PTR data) {
    const Viewer* viewer = reinterpret_cast<const Viewer*>(data);
    switch (message) {
    case WM_NOTIFY:
        if (viewer->listControl() != nullptr && reinterpret_cast<NMHDR*>(lParam)->hwndFrom == viewer->listControl()) {
            return SendMessageW(GetParent(window), WM_NOTIFY, wParam, lParam);
        }
        break;
    case WM_NOTIFYFORMAT:
        if (lParam == NF_QUERY) {
            return NFR_UNICODE;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, tabsSubclassProc, id);
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// Handed to the window's creation: whether a failure was already shown to
// the user there, so that openViewer does not show a second message.
// Also whether the window was made at the built-in default rectangle, which
// it then widens to what its labels and dates need.
struct ViewerCreation {
    bool failureShown = false;
    bool defaultRect = false;
};

RECT listArea(const Viewer& viewer) {
    RECT area;
    GetClientRect(viewer.window, &area);
    TabCtrl_AdjustRect(viewer.tabs, FALSE, &area);
    return area;
}

// Removes the pending input of the thread in the message range.
void dropPendingInput(UINT first, UINT last) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, first, last, PM_REMOVE)) {
    }
}

bool createTabs(Viewer& viewer, const RECT& client) {
    viewer.tabs = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, client.right,
                                  client.bottom, viewer.window, nullptr, gAgent.instance, nullptr);
    if (viewer.tabs == nullptr) {
        return false;
    }
    SetWindowSubclass(viewer.tabs, tabsSubclassProc, kTabsSubclassId, reinterpret_cast<DWORD_PTR>(&viewer));
    // The stock GUI font keeps its 96-DPI size; the system's message font
    // is made for the display's scaling.
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        viewer.tabFont.reset(CreateFontIndirectA(&metrics.lfMessageFont));
    }
    HGDIOBJ font = viewer.tabFont ? viewer.tabFont.get() : GetStockObject(DEFAULT_GUI_FONT);
    SendMessageA(viewer.tabs, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const char* names[] = {"Новые", "История"};
    for (int i = 0; i < 2; i++) {
        WideText name(names[i]);
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(name.get());
        SendMessageW(viewer.tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    return true;
}

// Brings the fresh mails into the files and loads both lists.
void loadForOpening() {
    mergeFreshMail();
    if (!loadMailLists()) {
        NewMailDim.count = 0;
    }
    gAgent.receivedCount = NewMailDim.count;
    gAgent.telegramCount = 0;
}

LRESULT onCreate(Viewer& viewer, const CREATESTRUCTW& create) {
    auto* creation = static_cast<ViewerCreation*>(create.lpCreateParams);
    KillTimer(gAgent.agentWindow, IDT_BLINK);
    viewer.viewStyle = gAgent.settings.winStyle != 0 ? 1 : 0;
    viewer.newTabViewStyle = viewer.viewStyle;
    viewer.historyTabViewStyle = viewer.viewStyle;

    RECT client;
    GetClientRect(viewer.window, &client);
    if (!createTabs(viewer, client)) {
        return -1; // openViewer reports the failure
    }
    createAlertWindow(viewer.window);
    if (!createStatusBar(viewer, client)) {
        showMessage(viewer.window, "Затрудняюсь отобразить окно просмотра новых поступлений!");
        if (creation != nullptr) {
            creation->failureShown = true;
        }
        return -1;
    }
    viewer.currentTab = 0;
    loadForOpening();
    if (!rebuildMailList(viewer, viewer.tabs, listArea(viewer), 0, 0, false)) {
        if (creation != nullptr) {
            creation->failureShown = true; // the rebuild showed its own message
        }
        return -1;
    }
    if (creation != nullptr && creation->defaultRect) {
        RECT now;
        GetWindowRect(viewer.window, &now);
        RECT wanted = defaultViewerRect(viewer, now);
        MoveWindow(viewer.window, wanted.left, wanted.top, wanted.right - wanted.left, wanted.bottom - wanted.top,
                   FALSE);
    }
    showReceivedInTray();
    SetFocus(viewer.listControl());
    dropPendingInput(WM_MOUSEFIRST, WM_MOUSELAST);
    return 0;
}

void onPaint(Viewer& viewer) {
    // The window draws nothing itself: a paint lays its children out anew.
    PaintScope paint(viewer.window);
    RECT client;
    GetClientRect(viewer.window, &client);
    layoutStatusBar(viewer, client);
    if (viewer.tabs != nullptr) {
        int s = viewer.statusHeight;
        MoveWindow(viewer.tabs, 0, 0, client.right - client.left, client.bottom - client.top - s, TRUE);
        RECT area = listArea(viewer);
        if (viewer.listControl() != nullptr) {
            MoveWindow(viewer.listControl(), area.left, area.top, area.right - area.left, area.bottom - area.top - s,
                       TRUE);
            fitMailColumns(viewer, area.right - area.left);
        }
    }
}

// A change of tab, also the poll's refresh request (sent as from
// IDC_VIEWER_TABS), which brings the fresh mails in first.
void onTabChange(Viewer& viewer, const NMHDR& header) {
    viewer.currentTab = static_cast<int>(SendMessageA(viewer.tabs, TCM_GETCURSEL, 0, 0)) == 1 ? 1 : 0;
    if (viewer.currentTab == 0) {
        viewer.historyTabViewStyle = viewer.viewStyle;
        viewer.viewStyle = viewer.newTabViewStyle;
    } else {
        viewer.newTabViewStyle = viewer.viewStyle;
        viewer.viewStyle = viewer.historyTabViewStyle;
    }
    if (header.idFrom == IDC_VIEWER_TABS) {
        saveMailLists();
        mergeFreshMail();
        gAgent.telegramCount = 0;
        reloadMailLists(viewer);
    }
    carryMarksToShownTab(viewer.currentTab);
    if (rebuildViewerList(viewer, false)) {
        SetFocus(viewer.listControl());
    }
}

void onSizeToggle(Viewer& viewer) {
    viewer.viewStyle = viewer.viewStyle ? 0 : 1;
    ViewerRect other = readViewerRect("WinPosInv");
    RECT now;
    GetWindowRect(viewer.window, &now);
    saveViewerRect(ViewerRect{now.left, now.top, now.right, now.bottom}, viewer.viewStyle, "WinPosInv");
    if (isDefaultViewerRect(other)) {
        RECT wanted = defaultViewerRect(viewer, now);
        other = ViewerRect{wanted.left, wanted.top, wanted.right, wanted.bottom};
    }
    MoveWindow(viewer.window, now.left, now.top, other.right - other.left, other.bottom - other.top, TRUE);
    RECT client;
    GetClientRect(viewer.window, &client);
    if (!rebuildMailList(viewer, viewer.tabs, client, 0, 0, true)) {
        PostMessageA(viewer.window, WM_CLOSE, 0, 0);
        return;
    }
    InvalidateRect(viewer.window, nullptr, TRUE);
    SetFocus(viewer.listControl());
}

void onCommand(Viewer& viewer, int id) {
    HWND clicked = GetDlgItem(viewer.window, id);
    switch (id) {
    case IDC_VIEWER_SIZE_TOGGLE:
        onSizeToggle(viewer);
        break;
    case IDC_VIEWER_SETTINGS:
        if (gAgent.pollThread.load() != nullptr) {
            showNotice("Идёт приём почты. Минуточку...", 1);
        } else {
            PostMessageA(gAgent.agentWindow, WM_COMMAND, IDM_SETTINGS, 0);
        }
        break;
    case IDC_VIEWER_GET_MAIL:
        if (gAgent.pollThread.load() != nullptr) {
            showNotice("Приём почты уже идёт! Ждите...", 1);
        } else {
            SendMessageA(gAgent.agentWindow, WM_COMMAND, IDM_POLL_NOW, 0);
        }
        break;
    case IDC_VIEWER_DELETE:
        deleteMarkedMails(viewer, clicked);
        break;
    case IDC_VIEWER_UNDO:
        undoDeletion(viewer, clicked);
        break;
    }
}

LRESULT onNotify(Viewer& viewer, NMHDR* header) {
    LRESULT result = 0;
    bool userAction = true;
    if (header->code == TCN_SELCHANGE && (header->hwndFrom == viewer.tabs || header->idFrom == IDC_VIEWER_TABS)) {
        onTabChange(viewer, *header);
    } else {
        result = onMailListNotify(viewer, header, userAction);
    }
    // Clicks and keys given while the list was rebuilt are dropped. The list's
    // own requests for row texts come while it paints and drop nothing.
    if (userAction) {
        dropPendingInput(WM_MOUSEFIRST, WM_MOUSELAST);
        dropPendingInput(WM_KEYFIRST, WM_KEYLAST);
    }
    return result;
}

void onDestroy(Viewer& viewer) {
    modifyTrayIcon(IDI_AGENT, ReceivedTip(0).text);
    saveMailLists();
    destroyMailList(viewer);
    releaseMailList(MailDim);
    releaseMailList(NewMailDim);
    RECT r;
    if (GetWindowRect(viewer.window, &r)) {
        saveViewerRect(ViewerRect{r.left, r.top, r.right, r.bottom}, viewer.viewStyle, "WinPos");
    }
    ServicePath telegrams(kTelegramFile);
    ServicePath newMail(kNewMailFile);
    deleteFile(telegrams.text);
    deleteFile(newMail.text);
    if (gAgent.alertWindow != nullptr && GetParent(gAgent.alertWindow) == viewer.window) {
        DestroyWindow(gAgent.alertWindow);
        gAgent.alertWindow = nullptr;
    }
    gAgent.telegramCount = 0;
    gAgent.runNewMailCount = 0;
    gAgent.newTelegramCount = 0;
    gAgent.receivedCount = 0;
    gAgent.viewerOpen = 0;
    gAgent.viewerWindow = nullptr;
}

// The messages that need the viewer's state.
LRESULT handleMessage(Viewer& viewer, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return onCreate(viewer, *reinterpret_cast<const CREATESTRUCTW*>(lParam));
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) {
            ShowWindow(viewer.window, SW_HIDE);
        } else {
            InvalidateRect(viewer.window, nullptr, TRUE);
        }
        return 0;
    case WM_SETFOCUS:
        if (viewer.listControl() != nullptr) {
            SetFocus(viewer.listControl());
        }
        return 0;
    case WM_PAINT:
        onPaint(viewer);
        return 0;
    case WM_NOTIFY:
        return onNotify(viewer, reinterpret_cast<NMHDR*>(lParam));
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            onCommand(viewer, LOWORD(wParam));
            return 0;
        }
        break;
    case WM_DESTROY:
        onDestroy(viewer);
        return 0;
    }
    return DefWindowProcW(viewer.window, message, wParam, lParam);
}

} // namespace

Viewer* viewerOf(HWND window) {
    char name[sizeof kViewerWindowClass + 1] = {};
    if (window == nullptr || GetClassNameA(window, name, sizeof name) == 0 || strcmp(name, kViewerWindowClass) != 0) {
        return nullptr;
    }
    return reinterpret_cast<Viewer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

bool rebuildViewerList(Viewer& viewer, bool sort) {
    if (!rebuildMailList(viewer, viewer.tabs, listArea(viewer), 0, 0, sort)) {
        PostMessageA(viewer.window, WM_CLOSE, 0, 0);
        return false;
    }
    return true;
}

void showReceivedInTray() {
    int received = gAgent.receivedCount;
    modifyTrayIcon(received != 0 ? IDI_MAIL : IDI_AGENT, ReceivedTip(received).text);
}

void reloadMailLists(const Viewer& viewer) {
    if (!loadMailLists() && viewer.currentTab == 0) {
        NewMailDim.count = 0;
    }
    gAgent.receivedCount = NewMailDim.count;
}

HWND openViewer(HWND owner) {
    ViewerRect r = readViewerRect("WinPos");
    ViewerCreation creation;
    creation.defaultRect = isDefaultViewerRect(r);
    HWND window = CreateWindowExW(0, WideText(kViewerWindowClass).get(), WideText("Просмотр писем и телеграмм").get(),
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                  owner, nullptr, gAgent.instance, &creation);
    if (window == nullptr) {
        DWORD error = GetLastError();
        gAgent.viewerOpen = 0;
        gAgent.viewerWindow = nullptr;
        if (!creation.failureShown) {
            SystemError failure(error);
            showMessagef(owner, kAgentCaption, MB_OK, "Затрудняюсь отобразить окно просмотра почты!\r\nОшибка %u: %s",
                         failure.code, failure.text);
        }
        return nullptr;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    gAgent.viewerWindow = window;
    gAgent.viewerOpen = 1;
    return window;
}

// The viewer's state lives from WM_NCCREATE to WM_NCDESTROY.
LRESULT CALLBACK viewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto viewer = std::make_unique<Viewer>();
        viewer->window = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(viewer.release()));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        std::unique_ptr<Viewer> gone(reinterpret_cast<Viewer*>(SetWindowLongPtrA(window, GWLP_USERDATA, 0)));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    auto* viewer = reinterpret_cast<Viewer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (viewer == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return handleMessage(*viewer, message, wParam, lParam);
}
