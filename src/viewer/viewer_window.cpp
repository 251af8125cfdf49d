#include "viewer/viewer_window.h"

#include "base/event_log.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/service_paths.h"
#include "core/settings_file.h"
#include "resources/resource.h"
#include "store/fresh_mail.h"
#include "store/mail_lists.h"
#include "ui/alert_window.h"
#include "ui/button.h"
#include "ui/paint_wait.h"
#include "ui/tray_icon.h"
#include "viewer/mail_deletion.h"
#include "viewer/mail_list_view.h"
#include "viewer/viewer_state.h"
#include "core/program_names.h"

#include <commctrl.h>

const char kViewerWindowClass[] = "Lumetra_Class";

ViewerState gViewer;

namespace {

constexpr int kStatusParts = 5;
constexpr int kButtonHeight = 18;
constexpr int kToggleWidth = 130;
constexpr int kButtonIds[kStatusParts] = {IDC_VIEWER_DELETE, IDC_VIEWER_UNDO, IDC_VIEWER_GET_MAIL, IDC_VIEWER_SETTINGS,
                                          IDC_VIEWER_SIZE_TOGGLE};

HWND button(int part) {
    return GetDlgItem(gViewer.window, kButtonIds[part]);
}

// Moves the five buttons over the status bar parts whose right edges are
// given (the left edge of part 0 is 0).
void placeButtons(const int edges[kStatusParts], int top, bool create) {
    for (int part = 0; part < kStatusParts; part++) {
        int left = part == 0 ? 0 : edges[part - 1];
        int x = left + 3;
        int width = part == kStatusParts - 1 ? kToggleWidth : edges[part] - left - 13;
        if (create) {
            HWND made = CreateWindowExA(WS_EX_TRANSPARENT | WS_EX_TOPMOST, kButtonClass, "",
                                        WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, top, width, kButtonHeight,
                                        gViewer.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonIds[part])),
                                        gAgent.instance, nullptr);
            if (made != nullptr) {
                SetWindowPos(made, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            }
        } else {
            MoveWindow(button(part), x, top, width, kButtonHeight, part == kStatusParts - 1);
        }
    }
}

// The list of a tab control never hears its own children's notifications:
// they go on to the viewer, as ANSI notifications.
LRESULT CALLBACK tabsSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                  DWORD_PTR /*data*/) {
    switch (message) {
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lParam)->hwndFrom == gViewer.list && gViewer.list != nullptr) {
            return SendMessageA(GetParent(window), WM_NOTIFY, wParam, lParam);
        }
        break;
    case WM_NOTIFYFORMAT:
        if (lParam == NF_QUERY) {
            return NFR_ANSI;
        }
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// Handed to the window's creation: whether a failure was already shown to
// the user there, so that openViewer does not show a second message.
struct ViewerCreation {
    bool failureShown = false;
};

RECT listArea() {
    RECT area;
    GetClientRect(gViewer.window, &area);
    TabCtrl_AdjustRect(gViewer.tabs, FALSE, &area);
    return area;
}

LRESULT onCreate(HWND window, const CREATESTRUCTA& create) {
    auto* creation = static_cast<ViewerCreation*>(create.lpCreateParams);
    KillTimer(gAgent.agentWindow, IDT_BLINK);
    gViewer = ViewerState();
    gViewer.window = window;
    gViewer.viewStyle = gAgent.settings.winStyle != 0 ? 1 : 0;
    gViewer.newTabViewStyle = gViewer.viewStyle;
    gViewer.historyTabViewStyle = gViewer.viewStyle;

    RECT client;
    GetClientRect(window, &client);
    gViewer.tabs = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, client.right,
                                   client.bottom, window, nullptr, gAgent.instance, nullptr);
    if (gViewer.tabs == nullptr) {
        return -1; // openViewer reports the failure
    }
    SetWindowSubclass(gViewer.tabs, tabsSubclassProc, 1, 0);
    SendMessageA(gViewer.tabs, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    const char* names[] = {"Новые", "История"};
    for (int i = 0; i < 2; i++) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(names[i]);
        SendMessageA(gViewer.tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    createAlertWindow(window);

    gViewer.status =
        CreateStatusWindowA(WS_CHILD | WS_VISIBLE | CCS_BOTTOM | SBARS_SIZEGRIP, "", window, IDC_VIEWER_STATUS);
    if (gViewer.status == nullptr) {
        showMessage(window, "Затрудняюсь отобразить окно просмотра новых поступлений!");
        creation->failureShown = true;
        return -1;
    }
    RECT bar;
    GetWindowRect(gViewer.status, &bar);
    gViewer.statusHeight = bar.bottom - bar.top;
    int b = bar.right - bar.left;
    int w = client.right - client.left;
    int edges[kStatusParts] = {b / 5, w / 5 + b / 5, 2 * w / 5 + b / 5, 3 * w / 5 + b / 5, -1};
    SendMessageA(gViewer.status, SB_SETPARTS, kStatusParts, reinterpret_cast<LPARAM>(edges));
    for (int id : kButtonIds) {
        if (HWND old = GetDlgItem(window, id)) {
            DestroyWindow(old);
        }
    }
    placeButtons(edges, client.bottom - gViewer.statusHeight + 3, true);

    gViewer.currentTab = 0;
    mergeFreshMail();
    if (!loadMailLists(window)) {
        NewMailDim.count = 0;
    }
    gAgent.receivedCount = NewMailDim.count;
    gAgent.telegramCount = 0;

    RECT area = listArea();
    if (!rebuildMailList(gViewer.tabs, area, 0, 0, false)) {
        creation->failureShown = true; // the rebuild showed its own message
        return -1;
    }
    showReceivedInTray();
    SetFocus(gViewer.list);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    return 0;
}

void onPaint(HWND window) {
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    int w = client.right - client.left;
    int s = gViewer.statusHeight;
    if (gViewer.status != nullptr) {
        MoveWindow(gViewer.status, client.left, client.bottom - s, w, s, TRUE);
        int edges[kStatusParts] = {w / 5, 2 * (w / 5), (2 * w) / 5 + w / 5, (3 * w) / 5 + w / 5, -1};
        SendMessageA(gViewer.status, SB_SETPARTS, kStatusParts, reinterpret_cast<LPARAM>(edges));
        placeButtons(edges, client.bottom - s + 3, false);
    }
    if (gViewer.tabs != nullptr) {
        MoveWindow(gViewer.tabs, 0, 0, w, client.bottom - client.top - s, TRUE);
        RECT area = listArea();
        if (gViewer.list != nullptr) {
            MoveWindow(gViewer.list, area.left, area.top, area.right - area.left, area.bottom - area.top - s, TRUE);
        }
    }
    EndPaint(window, &ps);
}

void onTabChange(const NMHDR& header) {
    gViewer.currentTab = static_cast<int>(SendMessageA(gViewer.tabs, TCM_GETCURSEL, 0, 0)) == 1 ? 1 : 0;
    if (gViewer.currentTab == 0) {
        gViewer.historyTabViewStyle = gViewer.viewStyle;
        gViewer.viewStyle = gViewer.newTabViewStyle;
    } else {
        gViewer.newTabViewStyle = gViewer.viewStyle;
        gViewer.viewStyle = gViewer.historyTabViewStyle;
    }
    if (header.idFrom == IDC_VIEWER_TABS) {
        saveMailLists();
        mergeFreshMail();
        gAgent.telegramCount = 0;
        reloadMailLists();
    }
    carryMarksToShownTab();
    if (!rebuildViewerList(false)) {
        return;
    }
    SetFocus(gViewer.list);
}

void onSizeToggle(HWND window) {
    gViewer.viewStyle = gViewer.viewStyle ? 0 : 1;
    ViewerRect other = readViewerRect("WinPosInv");
    RECT now;
    GetWindowRect(window, &now);
    saveViewerRect(ViewerRect{now.left, now.top, now.right, now.bottom}, gViewer.viewStyle, "WinPosInv");
    MoveWindow(window, now.left, now.top, other.right - other.left, other.bottom - other.top, TRUE);
    RECT client;
    GetClientRect(window, &client);
    if (!rebuildMailList(gViewer.tabs, client, 0, 0, true)) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return;
    }
    InvalidateRect(window, nullptr, TRUE);
    SetFocus(gViewer.list);
}

void onCommand(HWND window, int id) {
    HWND clicked = GetDlgItem(window, id);
    switch (id) {
    case IDC_VIEWER_SIZE_TOGGLE:
        onSizeToggle(window);
        break;
    case IDC_VIEWER_SETTINGS:
        if (gAgent.pollThread.load() != nullptr) {
            showViewerNotice("Идёт приём почты. Минуточку...", 1);
        } else {
            PostMessageA(gAgent.agentWindow, WM_COMMAND, IDM_SETTINGS, 0);
        }
        break;
    case IDC_VIEWER_GET_MAIL:
        if (gAgent.pollThread.load() != nullptr) {
            showViewerNotice("Приём почты уже идёт! Ждите...", 1);
        } else {
            SendMessageA(gAgent.agentWindow, WM_COMMAND, IDM_POLL_NOW, 0);
        }
        break;
    case IDC_VIEWER_DELETE:
        deleteMarkedMails(clicked);
        break;
    case IDC_VIEWER_UNDO:
        undoDeletion(clicked);
        break;
    }
}

LRESULT onNotify(HWND /*window*/, NMHDR* header) {
    LRESULT result = 0;
    bool userAction = true;
    if (header->code == TCN_SELCHANGE && (header->hwndFrom == gViewer.tabs || header->idFrom == IDC_VIEWER_TABS)) {
        onTabChange(*header);
    } else {
        result = onMailListNotify(header, userAction);
    }
    // Clicks and keys given while the list was rebuilt are dropped. The list's
    // own requests for row texts come while it paints and drop nothing.
    if (userAction) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
        }
        while (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
    }
    return result;
}

void onDestroy(HWND window) {
    dropTrayBalloon();
    modifyTrayIcon(IDI_AGENT, ReceivedTip(0).text);
    saveMailLists();
    destroyMailList();
    releaseMailList(MailDim);
    releaseMailList(NewMailDim);
    RECT r;
    if (GetWindowRect(window, &r)) {
        saveViewerRect(ViewerRect{r.left, r.top, r.right, r.bottom}, gViewer.viewStyle, "WinPos");
    }
    ServicePath telegrams("Mess.txt");
    ServicePath newMail(kNewMailFile);
    DeleteFileA(telegrams.text);
    DeleteFileA(newMail.text);
    if (gAgent.alertWindow != nullptr && GetParent(gAgent.alertWindow) == window) {
        DestroyWindow(gAgent.alertWindow);
        gAgent.alertWindow = nullptr;
    }
    gAgent.telegramCount = 0;
    gAgent.runNewMailCount = 0;
    gAgent.newTelegramCount = 0;
    gAgent.receivedCount = 0;
    gAgent.viewerOpen = 0;
    gAgent.viewerWindow = nullptr;
    gViewer = ViewerState();
}

} // namespace

void showViewerNotice(const char* text, int isError) {
    showNotice(text, isError);
}

bool rebuildViewerList(bool sort) {
    RECT area = listArea();
    if (!rebuildMailList(gViewer.tabs, area, 0, 0, sort)) {
        PostMessageA(gViewer.window, WM_CLOSE, 0, 0);
        return false;
    }
    return true;
}

void showReceivedInTray() {
    int received = gAgent.receivedCount;
    modifyTrayIcon(received != 0 ? IDI_MAIL : IDI_AGENT, ReceivedTip(received).text);
}

void reloadMailLists() {
    if (!loadMailLists(gViewer.window) && gViewer.currentTab == 0) {
        NewMailDim.count = 0;
    }
    gAgent.receivedCount = NewMailDim.count;
}

void setUndoAvailable(bool available) {
    EnableWindow(button(1), available ? TRUE : FALSE);
    if (gViewer.status != nullptr) {
        HICON icon = available ? static_cast<HICON>(LoadImageA(gAgent.instance, MAKEINTRESOURCEA(IDI_SETTINGS),
                                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED))
                               : nullptr;
        SendMessageA(gViewer.status, SB_SETICON, 1, reinterpret_cast<LPARAM>(icon));
        SendMessageA(gViewer.status, SB_SETTEXTA, 1,
                     reinterpret_cast<LPARAM>(available ? "Отменить удаление (Ctrl+Z)" : ""));
    }
}

HWND viewerButton(HWND viewer, ViewerButton which) {
    if (viewer == nullptr) {
        return nullptr;
    }
    switch (which) {
    case ViewerButton::Delete:
        return GetDlgItem(viewer, IDC_VIEWER_DELETE);
    case ViewerButton::Undo:
        return GetDlgItem(viewer, IDC_VIEWER_UNDO);
    case ViewerButton::GetMail:
        return GetDlgItem(viewer, IDC_VIEWER_GET_MAIL);
    case ViewerButton::Settings:
        return GetDlgItem(viewer, IDC_VIEWER_SETTINGS);
    case ViewerButton::SizeToggle:
        return GetDlgItem(viewer, IDC_VIEWER_SIZE_TOGGLE);
    }
    return nullptr;
}

HWND openViewer(HWND owner) {
    ViewerRect r = readViewerRect("WinPos");
    ViewerCreation creation;
    HWND window =
        CreateWindowExA(0, kViewerWindowClass, "Просмотр писем и телеграмм", WS_OVERLAPPEDWINDOW | WS_VISIBLE, r.left,
                        r.top, r.right - r.left, r.bottom - r.top, owner, nullptr, gAgent.instance, &creation);
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

LRESULT CALLBACK viewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return onCreate(window, *reinterpret_cast<const CREATESTRUCTA*>(lParam));
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) {
            ShowWindow(window, SW_HIDE);
        } else {
            InvalidateRect(window, nullptr, TRUE);
        }
        return 0;
    case WM_SETFOCUS:
        if (gViewer.list != nullptr) {
            SetFocus(gViewer.list);
        }
        return 0;
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_NOTIFY:
        return onNotify(window, reinterpret_cast<NMHDR*>(lParam));
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            onCommand(window, LOWORD(wParam));
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
