#include "agent/keyboard.h"

#include "core/agent_state.h"
#include "agent/key_table.h"
#include "viewer/viewer_window.h"

namespace {

constexpr DWORD kPressShowMs = 100;

int controlId(HWND control) {
    return control != nullptr ? GetDlgCtrlID(control) : 0;
}

// The focused control when it belongs to the settings page.
HWND focusOnPage(HWND page) {
    HWND focus = GetFocus();
    return focus != nullptr && page != nullptr && IsChild(page, focus) ? focus : nullptr;
}

KeyContext gatherContext() {
    KeyContext c;
    HWND settings = gAgent.settingsDialog;
    c.settingsOpen = gAgent.settingsOpen != 0 && settings != nullptr && IsWindow(settings);
    HWND page = gAgent.settingsPage;
    if (c.settingsOpen && page != nullptr) {
        c.focusedControl = controlId(focusOnPage(page));
        HWND escape = GetDlgItem(page, kEscapeControl);
        c.escapeControlVisible = escape != nullptr && IsWindowVisible(escape);
    }
    HWND viewer = gAgent.viewerWindow;
    c.viewerUsable = viewer != nullptr && IsWindow(viewer) && !IsIconic(viewer);
    c.ctrlPressed = GetKeyState(VK_CONTROL) < 0;
    if (c.viewerUsable) {
        HWND undo = viewerButton(viewer, ViewerButton::Undo);
        c.undoEnabled = undo != nullptr && IsWindowEnabled(undo);
    }
    return c;
}

// Shows the button pressed for a moment, then clicks it.
void pressButton(int id) {
    HWND button = GetDlgItem(gAgent.settingsPage, id);
    if (button == nullptr) {
        return;
    }
    SendMessageA(button, BM_SETSTATE, TRUE, 0);
    Sleep(kPressShowMs);
    SendMessageA(button, BM_SETSTATE, FALSE, 0);
    PostMessageA(button, BM_CLICK, 0, 0);
}

bool isPushButton(HWND control) {
    if (control == nullptr) {
        return false;
    }
    char className[16];
    if (GetClassNameA(control, className, sizeof className) == 0 || lstrcmpiA(className, "Button") != 0) {
        return false;
    }
    LONG_PTR type = GetWindowLongPtrA(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// Tab moves the focus and the default-button look along the page. Only push
// buttons change style: a check box given BS_PUSHBUTTON would turn into one.
void moveToNextTabStop() {
    HWND page = gAgent.settingsPage;
    if (page == nullptr) {
        return;
    }
    HWND previous = focusOnPage(page);
    HWND next = GetNextDlgTabItem(page, previous, FALSE);
    if (next == nullptr) {
        return;
    }
    SetFocus(next);
    if (keepsDefaultButtonLook(controlId(next))) {
        return;
    }
    if (previous != nullptr && previous != next && isPushButton(previous)) {
        SendMessageA(previous, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }
    if (isPushButton(next)) {
        SendMessageA(next, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    }
}

} // namespace

int handleKey(WPARAM key) {
    KeyAction action = decideKey(static_cast<int>(key), gatherContext());
    switch (action.kind) {
    case KeyActionKind::NextTabStop:
        moveToNextTabStop();
        break;
    case KeyActionKind::PressButton:
        pressButton(action.control);
        break;
    case KeyActionKind::CloseViewer:
        PostMessageA(gAgent.viewerWindow, WM_CLOSE, 0, 0);
        break;
    case KeyActionKind::ClickViewer: {
        HWND button = viewerButton(gAgent.viewerWindow, action.button);
        if (button != nullptr) {
            PostMessageA(button, WM_LBUTTONUP, 0, 0);
        }
        break;
    }
    case KeyActionKind::None:
        break;
    }
    return action.consumed ? 1 : 0;
}
