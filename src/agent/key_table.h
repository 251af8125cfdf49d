// The decision table of the keyboard handler: which key, in which state of
// the settings dialog and the viewer, does what. The message loop gathers the
// state from the windows and carries out the action (keyboard.cpp).
#pragma once
#include "resources/resource.h"
#include "viewer/viewer_button.h"

enum class KeyActionKind {
    None,            // nothing to do (the key may still be consumed)
    NextTabStop,     // move the focus to the next tab stop of the settings dialog
    PreviousTabStop, // ... to the previous one
    NextPage,        // show the next page of the settings dialog
    PreviousPage,    // ... the previous one
    PressButton,     // press control `control` of the settings page
    CloseViewer,     // post WM_CLOSE to the viewer
    ClickViewer,     // post WM_LBUTTONUP to a viewer button
};

struct KeyContext {
    bool settingsOpen = false;         // the settings dialog exists
    bool settingsFocused = false;      // ... and has the keyboard focus
    int focusedControl = 0;            // id of the focused control of the settings page, 0 if none
    bool escapeControlVisible = false; // the page's "Отмена" (IDC_MAILBOX_CANCEL) is visible
    bool viewerUsable = false;         // the viewer exists and is not minimised
    bool ctrlPressed = false;
    bool shiftPressed = false;
    bool undoEnabled = false; // the viewer's undo button is enabled
    bool saveVisible = false; // the page's "Сохранить" (IDC_MAILBOX_SAVE) is shown: adding or editing
};

struct KeyAction {
    bool consumed = false;
    KeyActionKind kind = KeyActionKind::None;
    int control = 0;
    ViewerButton button = ViewerButton::Delete;
};

// Settings page controls the table refers to.
constexpr int kEditControls[] = {IDC_MAILBOX_ALIAS, IDC_MAILBOX_ADDRESS, IDC_MAILBOX_PASSWORD};
constexpr int kListControl = IDC_MAILBOX_LIST;
constexpr int kEscapeControl = IDC_MAILBOX_CANCEL;

KeyAction decideKey(int key, const KeyContext& context);

// Tab moves the default-button look along with the focus, except onto the
// edit fields and the list of a page.
bool keepsDefaultButtonLook(int controlId);
