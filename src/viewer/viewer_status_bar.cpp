#include "viewer/viewer_status_bar.h"
#include "base/file_names.h"

#include "base/wide_text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "core/program_names.h"
#include "core/service_paths.h"
#include "resources/resource.h"
#include "ui/button.h"
#include "ui/window_metrics.h"
#include "viewer/viewer_state.h"
#include "viewer/viewer_window.h"

#include <commctrl.h>

namespace {

constexpr int kStatusParts = 5;
constexpr int kButtonHeight = 18; // at 96 DPI, as the offsets below
constexpr int kButtonInset = 3;   // from the part's left and top edges
constexpr int kButtonTrim = 13;   // a part's width less its button's
constexpr int kToggleWidth = 130; // the size toggle's width at the least
constexpr int kPartPadding = 12;  // around a part's icon and label
constexpr int kButtonIds[kStatusParts] = {IDC_VIEWER_DELETE, IDC_VIEWER_UNDO, IDC_VIEWER_GET_MAIL, IDC_VIEWER_SETTINGS,
                                          IDC_VIEWER_SIZE_TOGGLE};
constexpr int kUndoPart = 1;

constexpr char kDeleteLabel[] = "Удалить (Del)";
constexpr char kUndoLabel[] = "Отменить удаление (Ctrl+Z)";
constexpr char kGetMailLabel[] = "Получить почту (Ctrl+P";
constexpr char kSettingsLabel[] = "Настройки (Ctrl+N)";
constexpr char kToCompactLabel[] = "Минимизировать (Ctrl+Space)";
constexpr char kToDetailedLabel[] = "Показать подробно (Ctrl+Space)";

// The labels each part may show; its width is kept for the longest, so that
// the parts do not move when the undo part fills or the view changes.
constexpr const char* kPartLabels[kStatusParts][2] = {{kDeleteLabel, ""},
                                                      {kUndoLabel, ""},
                                                      {kGetMailLabel, ""},
                                                      {kSettingsLabel, ""},
                                                      {kToCompactLabel, kToDetailedLabel}};

// The right edges of the parts for a bar width: a fifth of the width each,
// as far as every part keeps the room its icon and label need; a part that
// needs more pushes the parts after it to the right. A bar too narrow for
// every label shares its width out in proportion to the needs, so that each
// label loses a little and every part stays in reach. The last part reaches
// the bar's edge.
void partEdges(const Viewer& viewer, int width, int edges[kStatusParts]) {
    int needs[kStatusParts];
    int total = statusBarNeededWidth(viewer);
    for (int part = 0; part < kStatusParts; part++) {
        needs[part] = total > width ? MulDiv(viewer.statusNeeds[part], width, total) : viewer.statusNeeds[part];
    }
    int fifth = width / 5;
    int proportional[kStatusParts - 1] = {fifth, 2 * fifth, (2 * width) / 5 + fifth, (3 * width) / 5 + fifth};
    int after = 0; // what the parts right of the current one need
    for (int part = 1; part < kStatusParts; part++) {
        after += needs[part];
    }
    int left = 0;
    for (int part = 0; part < kStatusParts - 1; part++) {
        int right = proportional[part] < width - after ? proportional[part] : width - after;
        edges[part] = right > left + needs[part] ? right : left + needs[part];
        left = edges[part];
        after -= needs[part + 1];
    }
    edges[kStatusParts - 1] = -1;
}

// Moves the five buttons over the status bar parts whose right edges are
// given (the left edge of part 0 is 0), or creates them there.
void placeButtons(const Viewer& viewer, const int edges[kStatusParts], int top, bool create) {
    HWND window = viewer.window;
    int inset = scaleForWindow(window, kButtonInset);
    int trim = scaleForWindow(window, kButtonTrim);
    int height = scaleForWindow(window, kButtonHeight);
    int lastNeed = viewer.statusNeeds[kStatusParts - 1] - trim;
    int toggleWidth = scaleForWindow(window, kToggleWidth);
    toggleWidth = lastNeed > toggleWidth ? lastNeed : toggleWidth;
    for (int part = 0; part < kStatusParts; part++) {
        int left = part == 0 ? 0 : edges[part - 1];
        int x = left + inset;
        int width = part == kStatusParts - 1 ? toggleWidth : edges[part] - left - trim;
        if (!create) {
            MoveWindow(GetDlgItem(window, kButtonIds[part]), x, top + inset, width, height, part == kStatusParts - 1);
            continue;
        }
        RECT area = {x, top + inset, x + width, top + inset + height};
        HWND made = createButtonWindow(WS_EX_TRANSPARENT | WS_EX_TOPMOST, area, window, kButtonIds[part]);
        if (made != nullptr) {
            SetWindowPos(made, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

// What each part needs to show its icon and its longest label whole, with
// the bar's own font; the last part also holds the size grip.
void measureParts(Viewer& viewer) {
    ControlFont font(viewer.status);
    int icon = GetSystemMetrics(SM_CXSMICON);
    int padding = scaleForWindow(viewer.status, kPartPadding);
    for (int part = 0; part < kStatusParts; part++) {
        int label = 0;
        for (const char* text : kPartLabels[part]) {
            int width = textWidth(viewer.status, font.get(), text);
            label = width > label ? width : label;
        }
        viewer.statusNeeds[part] = icon + label + padding;
    }
    viewer.statusNeeds[kStatusParts - 1] += GetSystemMetrics(SM_CXVSCROLL);
}

HICON statusIcon(int id) {
    return static_cast<HICON>(LoadImageA(gAgent.instance, MAKEINTRESOURCEA(id), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

// An icon id of 0 takes the part's icon away.
void setPart(HWND status, int part, int iconId, const char* label) {
    SendMessageA(status, SB_SETICON, part, reinterpret_cast<LPARAM>(iconId != 0 ? statusIcon(iconId) : nullptr));
    SendMessageW(status, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(WideText(label).get()));
}

// Whether DeleteMail.txt is there; known is false when that could not be
// told (the file exists but cannot be opened).
bool deletionFilePresent(bool& known) {
    ServicePath path(kDeletionFile);
    UniqueHandle file(createFile(path.text, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
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
    measureParts(viewer);
    int edges[kStatusParts];
    partEdges(viewer, client.right - client.left, edges);
    SendMessageA(viewer.status, SB_SETPARTS, kStatusParts, reinterpret_cast<LPARAM>(edges));
    for (int id : kButtonIds) {
        if (HWND old = GetDlgItem(viewer.window, id)) {
            DestroyWindow(old);
        }
    }
    placeButtons(viewer, edges, client.bottom - viewer.statusHeight, true);
    return true;
}

void layoutStatusBar(Viewer& viewer, const RECT& client) {
    if (viewer.status == nullptr) {
        return;
    }
    int w = client.right - client.left;
    int s = viewer.statusHeight;
    MoveWindow(viewer.status, client.left, client.bottom - s, w, s, TRUE);
    int edges[kStatusParts];
    partEdges(viewer, w, edges);
    SendMessageA(viewer.status, SB_SETPARTS, kStatusParts, reinterpret_cast<LPARAM>(edges));
    placeButtons(viewer, edges, client.bottom - s, false);
}

int statusBarNeededWidth(const Viewer& viewer) {
    int total = 0;
    for (int need : viewer.statusNeeds) {
        total += need;
    }
    return total;
}

void labelStatusBar(const Viewer& viewer) {
    if (viewer.status == nullptr) {
        return;
    }
    setPart(viewer.status, 0, IDI_DELETE, kDeleteLabel);
    bool known = false;
    bool pending = deletionFilePresent(known);
    if (known) {
        setUndoAvailable(viewer, pending);
    }
    setPart(viewer.status, 2, IDI_MAIL, kGetMailLabel);
    setPart(viewer.status, 3, IDI_SETTINGS, kSettingsLabel);
    if (viewer.detailed()) {
        setPart(viewer.status, 4, IDI_VIEW_COMPACT, kToCompactLabel);
    } else {
        setPart(viewer.status, 4, IDI_VIEW_DETAILED, kToDetailedLabel);
    }
}

void setUndoAvailable(const Viewer& viewer, bool available) {
    EnableWindow(GetDlgItem(viewer.window, kButtonIds[kUndoPart]), available ? TRUE : FALSE);
    if (viewer.status != nullptr) {
        setPart(viewer.status, kUndoPart, available ? IDI_SETTINGS : 0, available ? kUndoLabel : "");
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
