#include "core/agent_state.h"
#include "agent/keyboard.h"
#include "resources/resource.h"

#include "win_test_support.h"

#include <gtest/gtest.h>
#include <commctrl.h>

#include <vector>

namespace {

// Messages that reached the test windows, as (window, message, id).
struct Received {
    HWND window;
    UINT message;
    int id;
};
std::vector<Received> received;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        received.push_back({window, message, LOWORD(wParam)});
        return 0;
    }
    if (message == WM_NOTIFY) {
        received.push_back({window, message, static_cast<int>(reinterpret_cast<NMHDR*>(lParam)->code)});
        return 0;
    }
    if (message == WM_LBUTTONUP || message == WM_CLOSE) {
        received.push_back({window, message, GetDlgCtrlID(window)});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const char kRecordingClass[] = "KorvelKeyTestWindow";

void registerRecordingClass() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = recordingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kRecordingClass;
    RegisterClassA(&wc);
}

HWND child(HWND parent, const char* cls, DWORD style, int id) {
    return CreateWindowExA(0, cls, "x", WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, id % 100 * 3, 60, 20, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

void setKey(int key, bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[key] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

void setCtrl(bool down) {
    setKey(VK_CONTROL, down);
}

bool receivedCommand(HWND window, int id) {
    for (const Received& r : received) {
        if (r.window == window && r.message == WM_COMMAND && r.id == id) {
            return true;
        }
    }
    return false;
}

bool receivedMessage(HWND window, UINT message) {
    for (const Received& r : received) {
        if (r.window == window && r.message == message) {
            return true;
        }
    }
    return false;
}

// A settings dialog with a page holding edit fields, buttons and a check box.
class SettingsKeys : public ::testing::Test {
protected:
    void SetUp() override {
        registerRecordingClass();
        received.clear();
        dialog = CreateWindowExA(0, kRecordingClass, "settings", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 400,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        page = CreateWindowExA(WS_EX_CONTROLPARENT, kRecordingClass, "page", WS_CHILD | WS_VISIBLE, 0, 0, 400, 400,
                               dialog, nullptr, GetModuleHandleA(nullptr), nullptr);
        check = child(page, "BUTTON", BS_AUTOCHECKBOX, 1058);
        save = child(page, "BUTTON", BS_PUSHBUTTON, 1012);
        edit = child(page, "EDIT", WS_BORDER, 1009);
        cancel = child(page, "BUTTON", BS_PUSHBUTTON, 2);
        tabs = child(dialog, WC_TABCONTROLA, 0, IDC_SETTINGS_TABS);
        for (int i = 0; i < 3; i++) {
            TCITEMA item = {};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<char*>("page");
            SendMessageA(tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
        }
        gAgent.settingsOpen = 1;
        gAgent.settingsDialog = dialog;
        gAgent.settingsPage = page;
        SetForegroundWindow(dialog);
    }
    void TearDown() override {
        gAgent.settingsOpen = 0;
        gAgent.settingsDialog = nullptr;
        gAgent.settingsPage = nullptr;
        DestroyWindow(dialog);
        setCtrl(false);
        setKey(VK_SHIFT, false);
    }

    HWND dialog = nullptr, page = nullptr, check = nullptr, save = nullptr, edit = nullptr, cancel = nullptr;
    HWND tabs = nullptr;
};

} // namespace

TEST_F(SettingsKeys, EnterInAnEditFieldPressesSave) {
    SetFocus(edit);
    EXPECT_EQ(1, handleKey(VK_RETURN));
    pumpPendingMessages(); // the key's posted press
    EXPECT_TRUE(receivedCommand(page, 1012));
}

TEST_F(SettingsKeys, EnterOnAControlWithoutButtonIsConsumedAndDoesNothing) {
    SetFocus(check);
    EXPECT_EQ(1, handleKey(VK_RETURN));
    pumpPendingMessages(); // the key's posted press
    EXPECT_FALSE(receivedCommand(page, 1012));
    EXPECT_FALSE(receivedCommand(page, 1058));
}

TEST_F(SettingsKeys, EscapePressesCancelOrTheVisibleControl1027) {
    EXPECT_EQ(1, handleKey(VK_ESCAPE));
    pumpPendingMessages(); // the key's posted press
    EXPECT_TRUE(receivedCommand(page, 2));

    received.clear();
    HWND back = child(page, "BUTTON", BS_PUSHBUTTON, 1027);
    EXPECT_EQ(1, handleKey(VK_ESCAPE));
    pumpPendingMessages(); // the key's posted press
    EXPECT_TRUE(receivedCommand(page, 1027));
    EXPECT_FALSE(receivedCommand(page, 2));

    // Hidden, it no longer takes Escape.
    received.clear();
    ShowWindow(back, SW_HIDE);
    EXPECT_EQ(1, handleKey(VK_ESCAPE));
    pumpPendingMessages(); // the key's posted press
    EXPECT_TRUE(receivedCommand(page, 2));
}

TEST_F(SettingsKeys, TabMovesFocusAndDefaultLookButLeavesCheckBoxes) {
    SetFocus(check);
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(save, GetFocus());
    EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongPtrA(save, GWL_STYLE) & BS_TYPEMASK);
    EXPECT_EQ(BS_AUTOCHECKBOX, GetWindowLongPtrA(check, GWL_STYLE) & BS_TYPEMASK);

    // Onto an edit field: the look stays where it was.
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(edit, GetFocus());
    EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongPtrA(save, GWL_STYLE) & BS_TYPEMASK);

    // Onto Cancel: the look moves there.
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(cancel, GetFocus());
    EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongPtrA(cancel, GWL_STYLE) & BS_TYPEMASK);
}

// Shift+Tab walks back; past either end of the page the focus rests on the
// row of tabs, as in any dialog with pages.
TEST_F(SettingsKeys, TabAndShiftTabWalkThePageAndTheTabs) {
    SetFocus(cancel);
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(tabs, GetFocus());
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(check, GetFocus());
    setKey(VK_SHIFT, true);
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(tabs, GetFocus());
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(cancel, GetFocus());
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(edit, GetFocus());
}

// Ctrl+Tab and Ctrl+Shift+Tab change pages as a click on a tab does, round
// from the last to the first.
TEST_F(SettingsKeys, CtrlTabChangesPages) {
    SetFocus(edit);
    setCtrl(true);
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(1, SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
    EXPECT_TRUE(receivedMessage(dialog, WM_NOTIFY));
    setKey(VK_SHIFT, true);
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(1, handleKey(VK_TAB));
    EXPECT_EQ(2, SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
    int changes = 0;
    for (const Received& r : received) {
        changes += r.window == dialog && r.message == WM_NOTIFY && r.id == static_cast<int>(TCN_SELCHANGE) ? 1 : 0;
    }
    EXPECT_EQ(3, changes);
}

// With the viewer in front, its keys are its own although the settings are
// open: Escape closes the viewer and Tab is left to it.
TEST_F(SettingsKeys, KeysGoToTheWindowWithTheFocus) {
    HWND viewer = CreateWindowExA(0, kRecordingClass, "viewer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    gAgent.viewerWindow = viewer;
    SetForegroundWindow(viewer);
    SetFocus(viewer);
    EXPECT_EQ(0, handleKey(VK_TAB));
    EXPECT_EQ(1, handleKey(VK_ESCAPE));
    pumpPendingMessages(); // the key's posted close
    EXPECT_TRUE(receivedMessage(viewer, WM_CLOSE));
    EXPECT_FALSE(receivedCommand(page, 2));
    gAgent.viewerWindow = nullptr;
    DestroyWindow(viewer);
}

namespace {

// A viewer window with its five buttons.
class ViewerKeys : public ::testing::Test {
protected:
    void SetUp() override {
        registerRecordingClass();
        received.clear();
        viewer = CreateWindowExA(0, kRecordingClass, "viewer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        for (int id :
             {IDC_VIEWER_DELETE, IDC_VIEWER_UNDO, IDC_VIEWER_GET_MAIL, IDC_VIEWER_SETTINGS, IDC_VIEWER_SIZE_TOGGLE}) {
            child(viewer, kRecordingClass, 0, id);
        }
        gAgent.viewerOpen = 1;
        gAgent.viewerWindow = viewer;
    }
    void TearDown() override {
        gAgent.viewerOpen = 0;
        gAgent.viewerWindow = nullptr;
        DestroyWindow(viewer);
        setCtrl(false);
    }
    HWND button(int id) { return GetDlgItem(viewer, id); }

    HWND viewer = nullptr;
};

} // namespace

TEST_F(ViewerKeys, ShortcutsClickTheirButtons) {
    EXPECT_EQ(1, handleKey(VK_DELETE));
    setCtrl(true);
    EXPECT_EQ(1, handleKey(VK_SPACE));
    EXPECT_EQ(1, handleKey('N'));
    EXPECT_EQ(1, handleKey('P'));
    EXPECT_EQ(1, handleKey('Z'));
    pumpPendingMessages(); // the key's posted press
    for (int id :
         {IDC_VIEWER_DELETE, IDC_VIEWER_SIZE_TOGGLE, IDC_VIEWER_SETTINGS, IDC_VIEWER_GET_MAIL, IDC_VIEWER_UNDO}) {
        EXPECT_TRUE(receivedMessage(button(id), WM_LBUTTONUP)) << id;
    }
}

TEST_F(ViewerKeys, UndoNeedsAnEnabledButtonAndLettersNeedCtrl) {
    EnableWindow(button(IDC_VIEWER_UNDO), FALSE);
    setCtrl(true);
    EXPECT_EQ(0, handleKey('Z'));
    setCtrl(false);
    EXPECT_EQ(0, handleKey('N'));
    EXPECT_EQ(0, handleKey(VK_SPACE));
    pumpPendingMessages(); // the key's posted press
    EXPECT_TRUE(received.empty());
}

TEST_F(ViewerKeys, EscapeClosesAndAMinimisedViewerTakesNoKey) {
    EXPECT_EQ(1, handleKey(VK_ESCAPE));
    pumpPendingMessages(); // the key's posted press
    EXPECT_TRUE(receivedMessage(viewer, WM_CLOSE));

    received.clear();
    ShowWindow(viewer, SW_MINIMIZE);
    setCtrl(true);
    for (WPARAM key : {static_cast<WPARAM>(VK_DELETE), static_cast<WPARAM>(VK_ESCAPE), static_cast<WPARAM>(VK_SPACE),
                       static_cast<WPARAM>('P')}) {
        EXPECT_EQ(0, handleKey(key)) << key;
    }
    pumpPendingMessages(); // the key's posted press
    EXPECT_TRUE(received.empty());
}
