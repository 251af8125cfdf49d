#include "viewer/viewer_status_bar.h"

#include "base/win_handles.h"
#include "core/agent_state.h"
#include "core/program_names.h"
#include "core/service_paths.h"
#include "resources/resource.h"
#include "ui/button.h"
#include "viewer/viewer_state.h"
#include "viewer/viewer_window.h"

#include <commctrl.h>

namespace {

constexpr int kStatusParts = 5;
constexpr int kButtonHeight = 18;
constexpr int kToggleWidth = 130;
constexpr int kButtonIds[kStatusParts] = {IDC_VIEWER_DELETE, IDC_VIEWER_UNDO, IDC_VIEWER_GET_MAIL, IDC_VIEWER_SETTINGS,
                                          IDC_VIEWER_SIZE_TOGGLE};
constexpr int kUndoPart = 1;

// Moves the five buttons over the status bar parts whose right edges are
// given (the left edge of part 0 is 0), or creates them there.
void placeButtons(HWND window, const int edges[kStatusParts], int top, bool create) {
    for (int part = 0; part < kStatusParts; part++) {
        int left = part == 0 ? 0 : edges[part - 1];
        int x = left + 3;
        int width = part == kStatusParts - 1 ? kToggleWidth : edges[part] - left - 13;
        if (!create) {
            MoveWindow(GetDlgItem(window, kButtonIds[part]), x, top, width, kButtonHeight, part == kStatusParts - 1);
            continue;
        }
        HWND made =
            CreateWindowExA(WS_EX_TRANSPARENT | WS_EX_TOPMOST, kButtonClass, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, x,
                            top, width, kButtonHeight, window,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonIds[part])), gAgent.instance, nullptr);
        if (made != nullptr) {
            SetWindowPos(made, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

HICON statusIcon(int id) {
    return static_cast<HICON>(LoadImageA(gAgent.instance, MAKEINTRESOURCEA(id), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

// An icon id of 0 takes the part's icon away.
void setPart(HWND status, int part, int iconId, const char* label) {
    SendMessageA(status, SB_SETICON, part, reinterpret_cast<LPARAM>(iconId != 0 ? statusIcon(iconId) : nullptr));
    SendMessageA(status, SB_SETTEXTA, part, reinterpret_cast<LPARAM>(label));
}

// Whether DeleteMail.txt is there; known is false when that could not be
// told (the file exists but cannot be opened).
bool deletionFilePresent(bool& known) {
    ServicePath path(kDeletionFile);
    UniqueHandle file(CreateFileA(path.text, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        known = true;
        return true;
    }
    DWORD error = GetLastError();
    known = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return false;
}

} // namespace

bool createStatusBar(Viewer& viewer, const RECT& client) {
    viewer.status =
        CreateStatusWindowA(WS_CHILD | WS_VISIBLE | CCS_BOTTOM | SBARS_SIZEGRIP, "", viewer.window, IDC_VIEWER_STATUS);
    if (viewer.status == nullptr) {
        return false;
    }
    RECT bar;
    GetWindowRect(viewer.status, &bar);
    viewer.statusHeight = bar.bottom - bar.top;
    int b = bar.right - bar.left;
    int w = client.right - client.left;
    int edges[kStatusParts] = {b / 5, w / 5 + b / 5, 2 * w / 5 + b / 5, 3 * w / 5 + b / 5, -1};
    SendMessageA(viewer.status, SB_SETPARTS, kStatusParts, reinterpret_cast<LPARAM>(edges));
    for (int id : kButtonIds) {
        if (HWND old = GetDlgItem(viewer.window, id)) {
            DestroyWindow(old);
        }
    }
    placeButtons(viewer.window, edges, client.bottom - viewer.statusHeight + 3, true);
    return true;
}

void layoutStatusBar(Viewer& viewer, const RECT& client) {
    if (viewer.status == nullptr) {
        return;
    }
    int w = client.right - client.left;
    int s = viewer.statusHeight;
    MoveWindow(viewer.status, client.left, client.bottom - s, w, s, TRUE);
    int edges[kStatusParts] = {w / 5, 2 * (w / 5), (2 * w) / 5 + w / 5, (3 * w) / 5 + w / 5, -1};
    SendMessageA(viewer.status, SB_SETPARTS, kStatusParts, reinterpret_cast<LPARAM>(edges));
    placeButtons(viewer.window, edges, client.bottom - s + 3, false);
}

void labelStatusBar(const Viewer& viewer) {
    if (viewer.status == nullptr) {
        return;
    }
    setPart(viewer.status, 0, IDI_DELETE, "Удалить (Del)");
    bool known = false;
    bool pending = deletionFilePresent(known);
    if (known) {
        setUndoAvailable(viewer, pending);
    }
    setPart(viewer.status, 2, IDI_MAIL, "Получить почту (Ctrl+P");
    setPart(viewer.status, 3, IDI_SETTINGS, "Настройки (Ctrl+N)");
    if (viewer.detailed()) {
        setPart(viewer.status, 4, IDI_VIEW_COMPACT, "Минимизировать (Ctrl+Space)");
    } else {
        setPart(viewer.status, 4, IDI_VIEW_DETAILED, "Показать подробно (Ctrl+Space)");
    }
}

void setUndoAvailable(const Viewer& viewer, bool available) {
    EnableWindow(GetDlgItem(viewer.window, kButtonIds[kUndoPart]), available ? TRUE : FALSE);
    if (viewer.status != nullptr) {
        setPart(viewer.status, kUndoPart, available ? IDI_SETTINGS : 0, available ? "Отменить удаление (Ctrl+Z)" : "");
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
