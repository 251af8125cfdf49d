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
    case 1002:
    case 1003:
    case 1012:
    case 1013:
    case 1027:
    case 1031:
        return focused;
    case 1004:
    case 1007:
        return 1004;
    case 1009:
    case 1010:
    case 1011:
        return 1012;
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
            return press(2);
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
