// The mailbox page's controls at the display's scaling: the buttons and the
// editing group end above the status line in both modes.
#include "core/agent_state.h"
#include "resources/resource.h"

#include "agent_window_fixture.h"
#include "poll_cycle_wait.h"
#include "win_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

class MailboxPageLayout : public AgentWindowFixture {
protected:
    RECT rectOf(int id) {
        RECT r = {};
        GetWindowRect(GetDlgItem(gAgent.settingsPage, id), &r);
        return r;
    }
    void expectAboveStatusLine(std::initializer_list<int> ids) {
        LONG statusTop = rectOf(IDC_STATUS_LINE).top;
        for (int id : ids) {
            EXPECT_TRUE(IsWindowVisible(GetDlgItem(gAgent.settingsPage, id))) << id;
            EXPECT_LE(rectOf(id).bottom, statusTop) << id;
        }
    }
    void screenshot(const std::string& name) {
        pumpPendingMessages();
        saveScreenshot(artifactsFolder() + name + "-" + std::to_string(screenDpi()) + "dpi.bmp");
    }
};

} // namespace

TEST_F(MailboxPageLayout, ButtonsAndGroupEndAboveTheStatusLine) {
    ASSERT_TRUE(writeFile(path("MailBox.txt"), "A;Первый;ivan@alpha.test;pw;pop3.alpha.test;110\r\n"));
    send(WM_COMMAND, IDM_SETTINGS);
    ASSERT_NE(nullptr, gAgent.settingsPage);
    pumpPendingMessages();
    expectAboveStatusLine({IDC_MAILBOX_ADD, IDC_MAILBOX_DELETE, IDC_MAILBOX_EDIT, IDCANCEL});
    screenshot("settings-mailbox-page");
    SendMessageA(gAgent.settingsPage, WM_COMMAND, IDC_MAILBOX_ADD, 0);
    pumpPendingMessages();
    expectAboveStatusLine({IDC_MAILBOX_SAVE, IDC_MAILBOX_CANCEL, IDC_MAILBOX_GROUP});
    screenshot("settings-mailbox-page-editing");
}

// Each page of the settings, whole, and its picture for the artifacts.
TEST_F(MailboxPageLayout, EveryPageOfTheSettingsIsWhole) {
    send(WM_COMMAND, IDM_SETTINGS);
    HWND dialog = gAgent.settingsDialog;
    ASSERT_NE(nullptr, dialog);
    HWND tabs = GetDlgItem(dialog, IDC_SETTINGS_TABS);
    const char* names[] = {"settings-page-mailboxes", "settings-page-options", "settings-page-about"};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(names[i]);
        SendMessageA(tabs, TCM_SETCURSEL, i, 0);
        NMHDR change = {tabs, IDC_SETTINGS_TABS, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageA(dialog, WM_NOTIFY, IDC_SETTINGS_TABS, reinterpret_cast<LPARAM>(&change));
        pumpPendingMessages();
        ASSERT_NE(nullptr, gAgent.settingsPage);
        EXPECT_EQ("", childrenOutside(gAgent.settingsPage)) << "controls leaving the page";
        screenshot(names[i]);
    }
    SendMessageA(dialog, WM_CLOSE, 0, 0);
}

// The same at 150 %, in a process of its own.
TEST(MailboxPageLayoutScaled, ButtonsAndGroupEndAboveTheStatusLineAtOneAndAHalfTimesTheScale) {
    std::string failures;
    EXPECT_EQ(0, runTestsAtDpi(144, "MailboxPageLayout.*", kPollCycleTimeoutMs * 4, failures)) << failures;
}
