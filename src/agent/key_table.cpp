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
// control; 0 when there is none. In the edit fields it is the page's default
// button: "Сохранить" while a mailbox is added or edited.
int enterTarget(int focused, bool saveVisible) {
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
        return saveVisible ? IDC_MAILBOX_SAVE : IDC_PAGE_ENTER;
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

namespace {

// Tab and Shift+Tab walk the dialog's controls, Ctrl+Tab and Ctrl+Shift+Tab
// its pages.
KeyAction tabAction(const KeyContext& c) {
    if (c.ctrlPressed) {
        return consumed(c.shiftPressed ? KeyActionKind::PreviousPage : KeyActionKind::NextPage);
    }
    return consumed(c.shiftPressed ? KeyActionKind::PreviousTabStop : KeyActionKind::NextTabStop);
}

// The keys of the settings dialog, while it has the focus.
KeyAction settingsKey(int key, const KeyContext& c) {
    switch (key) {
    case kKeyTab:
        return tabAction(c);
    case kKeyEnter: {
        int target = enterTarget(c.focusedControl, c.saveVisible);
        return target != 0 ? press(target) : consumed();
    }
    case kKeyEscape:
        return press(c.escapeControlVisible ? kEscapeControl : IDCANCEL);
    default:
        return KeyAction();
    }
}

} // namespace

// The settings dialog takes its keys while it has the focus; the viewer's
// shortcuts act while the settings dialog does not have it, so that keys
// typed into the settings never act on the viewer behind them.
KeyAction decideKey(int key, const KeyContext& c) {
    if (c.settingsFocused) {
        return settingsKey(key, c);
    }
    switch (key) {
    case kKeyEscape:
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
