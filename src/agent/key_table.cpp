#include "agent/key_table.h"

namespace {

constexpr int kKeyTab = 9;
constexpr int kKeyEnter = 13;
constexpr int kKeyEscape = 27;
constexpr int kKeySpace = 32;
constexpr int kKeyDelete = 46;
constexpr int kKeyN = 78;
constexpr int kKeyP = 80;
constexpr int kKeyZ = 90;

KeyAction consumed(KeyActionKind kind = KeyActionKind::None) {
    KeyAction a;
    a.consumed = true;
    a.kind = kind;
    return a;
}

KeyAction press(int control) {
    KeyAction a = consumed(KeyActionKind::PressButton);
    a.control = control;
    return a;
}

KeyAction click(ViewerButton button) {
    KeyAction a = consumed(KeyActionKind::ClickViewer);
    a.button = button;
    return a;
}

// Enter on the settings page presses the button that belongs to the focused
// control; 0 when there is none.
int enterTarget(int focused) {
    switch (focused) {
    case IDC_MAILBOX_DELETE:
    case IDC_MAILBOX_ADD:
    case IDC_PAGE_ENTER:
    case IDC_MAILBOX_SAVE:
    case IDC_MAILBOX_CANCEL:
    case IDC_PAGE_ENTER_OTHER:
        return focused;
    case IDC_MAILBOX_EDIT:
    case IDC_MAILBOX_LIST:
        return IDC_MAILBOX_EDIT;
    case IDC_MAILBOX_ALIAS:
    case IDC_MAILBOX_ADDRESS:
    case IDC_MAILBOX_PASSWORD:
        return IDC_PAGE_ENTER;
    default:
        return 0;
    }
}

} // namespace

bool keepsDefaultButtonLook(int controlId) {
    for (int id : kEditControls) {
        if (id == controlId) {
            return true;
        }
    }
    return controlId == kListControl;
}

KeyAction decideKey(int key, const KeyContext& c) {
    switch (key) {
    case kKeyTab:
        if (c.settingsOpen) {
            return consumed(KeyActionKind::NextTabStop);
        }
        break;
    case kKeyEnter:
        if (c.settingsOpen) {
            int target = enterTarget(c.focusedControl);
            return target != 0 ? press(target) : consumed();
        }
        break;
    case kKeyEscape:
        if (c.settingsOpen && c.escapeControlVisible) {
            return press(kEscapeControl);
        }
        if (c.settingsOpen) {
            return press(IDCANCEL);
        }
        if (c.viewerUsable) {
            return consumed(KeyActionKind::CloseViewer);
        }
        break;
    case kKeyDelete:
        if (c.viewerUsable) {
            return click(ViewerButton::Delete);
        }
        break;
    case kKeySpace:
        if (c.viewerUsable && c.ctrlPressed) {
            return click(ViewerButton::SizeToggle);
        }
        break;
    case kKeyN:
        if (c.viewerUsable && c.ctrlPressed) {
            return click(ViewerButton::Settings);
        }
        break;
    case kKeyP:
        if (c.viewerUsable && c.ctrlPressed) {
            return click(ViewerButton::GetMail);
        }
        break;
    case kKeyZ:
        if (c.viewerUsable && c.ctrlPressed && c.undoEnabled) {
            return click(ViewerButton::Undo);
        }
        break;
    default:
        break;
    }
    return KeyAction();
}
