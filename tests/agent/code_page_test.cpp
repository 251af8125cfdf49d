// Korvel.exe on a system whose code page is not the Russian one: ctest runs
// this program, and the agents it starts, with a locale that gives Wine the
// code page 1252. The texts the agent shows are read back with the W
// functions and must be the Russian texts.
#include "agent_process.h"
#include "win_test_support.h"

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
