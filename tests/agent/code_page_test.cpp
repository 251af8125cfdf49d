// Korvel.exe on a system whose code page is not the Russian one: ctest runs
// this program, and the agents it starts, with a locale that gives Wine the
// code page 1252. The texts the agent shows are read back with the W
// functions and must be the Russian texts.
#include "base/wide_text.h"
#include "core/agent_state.h"
#include "resources/resource.h"

#include "agent_process.h"
#include "agent_window_fixture.h"
#include "win_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring windowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

} // namespace

// A broken set-up would only repeat the Russian system's case.
TEST(CodePage, TheSessionsCodePageIsNotTheRussianOne) {
    EXPECT_EQ(1252u, GetACP());
}

TEST(CodePage, AMessageBoxReadsInRussian) {
    Installation inst;
    ChildProcess first;
    ASSERT_TRUE(first.start(inst.exe()));
    HWND agent = waitForAgent(first);
    ASSERT_NE(nullptr, agent);
    ChildProcess second;
    ASSERT_TRUE(second.start(inst.exe()));
    MessageBoxInfo box;
    ASSERT_TRUE(waitForMessageBox(second.id(), box, kAgentStartTimeoutMs));
    EXPECT_EQ(L"Lumetra Агент", windowText(box.window));
    EXPECT_EQ(L"Программа уже работает.", windowText(GetDlgItem(box.window, 0xFFFF)));
    answerMessageBox(box.window, IDOK);
    EXPECT_TRUE(second.wait(kAgentStartTimeoutMs));
    EXPECT_TRUE(quitAgent(agent, first));
}

namespace {

class SettingsOnCodePage1252 : public AgentWindowFixture {};

std::wstring listCell(HWND list, int row, int column) {
    wchar_t text[300] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 300;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring tabText(HWND tabs, int index) {
    wchar_t text[100] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 100;
    SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    return text;
}

} // namespace

// The settings show their own texts and the user's mailbox names in Russian,
// and what the user types in Russian is read as the Windows-1251 the account
// list holds.
TEST_F(SettingsOnCodePage1252, TextsGoBothWaysInRussian) {
    ASSERT_TRUE(writeFile(path("MailBox.txt"), "A;Почта;user@alpha.test;secret;pop3.alpha.test;110\r\n"));
    send(WM_COMMAND, IDM_SETTINGS);
    HWND dialog = gAgent.settingsDialog;
    ASSERT_NE(nullptr, dialog);
    pumpPendingMessages();
    HWND page = gAgent.settingsPage;
    EXPECT_EQ(L"Почтовые ящики", tabText(GetDlgItem(dialog, IDC_SETTINGS_TABS), 0));
    EXPECT_EQ(L"Почта", listCell(GetDlgItem(page, IDC_MAILBOX_LIST), 0, 0));

    HWND alias = GetDlgItem(page, IDC_MAILBOX_ALIAS);
    ASSERT_TRUE(SetWindowTextW(alias, L"Работа"));
    char typed[64] = {};
    itemText(page, IDC_MAILBOX_ALIAS, typed, sizeof typed);
    EXPECT_STREQ("Работа", typed);
    // What Windows-1251 cannot hold comes as its nearest letter or "?".
    ASSERT_TRUE(SetWindowTextW(alias, L"Agn\u00e8s \u4e2d"));
    itemText(page, IDC_MAILBOX_ALIAS, typed, sizeof typed);
    EXPECT_STREQ("Agnes ?", typed);
    SendMessageA(dialog, WM_CLOSE, 0, 0);
}
