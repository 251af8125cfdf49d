#include "agent/key_table.h"

#include <gtest/gtest.h>

namespace {

constexpr int kTab = 9, kEnter = 13, kEsc = 27, kSpace = 32, kDelete = 46, kN = 78, kP = 80, kZ = 90;

KeyContext settingsWithFocus(int focused) {
    KeyContext c;
    c.settingsOpen = true;
    c.settingsFocused = true;
    c.focusedControl = focused;
    return c;
}

KeyContext viewer(bool ctrl, bool undoEnabled = false) {
    KeyContext c;
    c.viewerUsable = true;
    c.ctrlPressed = ctrl;
    c.undoEnabled = undoEnabled;
    return c;
}

void expectPress(int key, const KeyContext& c, int control) {
    KeyAction a = decideKey(key, c);
    EXPECT_TRUE(a.consumed);
    EXPECT_EQ(KeyActionKind::PressButton, a.kind);
    EXPECT_EQ(control, a.control);
}

void expectClick(int key, const KeyContext& c, ViewerButton button) {
    KeyAction a = decideKey(key, c);
    EXPECT_TRUE(a.consumed);
    EXPECT_EQ(KeyActionKind::ClickViewer, a.kind);
    EXPECT_EQ(button, a.button);
}

void expectPassedOn(int key, const KeyContext& c) {
    KeyAction a = decideKey(key, c);
    EXPECT_FALSE(a.consumed) << "key " << key;
    EXPECT_EQ(KeyActionKind::None, a.kind);
}

} // namespace

TEST(KeyTable, EnterPressesTheButtonOfTheFocusedControl) {
    struct {
        int focused;
        int pressed;
    } rows[] = {{1003, 1003}, {1002, 1002}, {1004, 1004}, {1007, 1004}, {1031, 1031}, {1012, 1012},
                {1013, 1013}, {1027, 1027}, {1009, 1012}, {1010, 1012}, {1011, 1012}};
    for (auto row : rows) {
        SCOPED_TRACE(row.focused);
        expectPress(kEnter, settingsWithFocus(row.focused), row.pressed);
    }
    // Any other control: nothing happens, but Enter is still consumed.
    KeyAction a = decideKey(kEnter, settingsWithFocus(1058));
    EXPECT_TRUE(a.consumed);
    EXPECT_EQ(KeyActionKind::None, a.kind);
    a = decideKey(kEnter, settingsWithFocus(0));
    EXPECT_TRUE(a.consumed);
    EXPECT_EQ(KeyActionKind::None, a.kind);
}

TEST(KeyTable, EnterInAnEditFieldPressesSaveWhileAMailboxIsAddedOrEdited) {
    for (int field : {1009, 1010, 1011}) {
        KeyContext c = settingsWithFocus(field);
        c.saveVisible = true;
        expectPress(kEnter, c, 1013);
    }
}

TEST(KeyTable, TabAndEscapeInTheSettingsDialog) {
    struct {
        bool ctrl;
        bool shift;
        KeyActionKind kind;
    } rows[] = {{false, false, KeyActionKind::NextTabStop},
                {false, true, KeyActionKind::PreviousTabStop},
                {true, false, KeyActionKind::NextPage},
                {true, true, KeyActionKind::PreviousPage}};
    for (auto row : rows) {
        KeyContext c = settingsWithFocus(1009);
        c.ctrlPressed = row.ctrl;
        c.shiftPressed = row.shift;
        KeyAction a = decideKey(kTab, c);
        EXPECT_TRUE(a.consumed);
        EXPECT_EQ(row.kind, a.kind) << row.ctrl << row.shift;
    }

    KeyContext c = settingsWithFocus(0);
    expectPress(kEsc, c, 2);
    c.escapeControlVisible = true;
    expectPress(kEsc, c, 1027);

    // The default-button look stays off the edit fields and the list.
    for (int id : {1009, 1010, 1011, 1007}) {
        EXPECT_TRUE(keepsDefaultButtonLook(id)) << id;
    }
    for (int id : {1002, 1003, 1004, 1012, 0}) {
        EXPECT_FALSE(keepsDefaultButtonLook(id)) << id;
    }
}

TEST(KeyTable, ViewerShortcuts) {
    expectClick(kDelete, viewer(false), ViewerButton::Delete);
    expectClick(kSpace, viewer(true), ViewerButton::SizeToggle);
    expectClick(kN, viewer(true), ViewerButton::Settings);
    expectClick(kP, viewer(true), ViewerButton::GetMail);
    expectClick(kZ, viewer(true, true), ViewerButton::Undo);

    KeyAction a = decideKey(kEsc, viewer(false));
    EXPECT_TRUE(a.consumed);
    EXPECT_EQ(KeyActionKind::CloseViewer, a.kind);

    // Without Ctrl the letters and the space bar reach the list.
    for (int key : {kSpace, kN, kP, kZ}) {
        expectPassedOn(key, viewer(false, true));
    }
    // Ctrl+Z does nothing while the undo button is disabled.
    expectPassedOn(kZ, viewer(true, false));
}

TEST(KeyTable, NothingIsConsumedWithoutAUsableWindow) {
    KeyContext none;
    none.ctrlPressed = true;
    none.undoEnabled = true;
    for (int key : {kTab, kEnter, kEsc, kSpace, kDelete, kN, kP, kZ, 65, 112}) {
        expectPassedOn(key, none);
    }
    // A minimised viewer takes no shortcut.
    KeyContext minimised;
    minimised.ctrlPressed = true;
    for (int key : {kDelete, kSpace, kN, kP, kZ, kEsc}) {
        expectPassedOn(key, minimised);
    }
    // Viewer shortcuts do not apply to the settings dialog, also while the
    // viewer is open behind it: Delete in a field deletes no mail.
    KeyContext settings = settingsWithFocus(1009);
    settings.ctrlPressed = true;
    settings.viewerUsable = true;
    settings.undoEnabled = true;
    for (int key : {kDelete, kSpace, kN, kP, kZ, 65}) {
        expectPassedOn(key, settings);
    }
}

// The settings dialog open behind the viewer: the keys belong to the viewer.
TEST(KeyTable, TheWindowWithTheFocusTakesTheKeys) {
    KeyContext c = viewer(false);
    c.settingsOpen = true;
    KeyAction a = decideKey(kEsc, c);
    EXPECT_EQ(KeyActionKind::CloseViewer, a.kind);
    expectPassedOn(kTab, c);
    expectPassedOn(kEnter, c);
    expectClick(kDelete, c, ViewerButton::Delete);
}
