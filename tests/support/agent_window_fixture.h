// The fixture of the tests that run the agent window in the test program's
// own process: the state of a fresh agent in a scratch service folder, the
// agent window with its tray icon, notices shortened, and a tidy end that
// stops a running poll and closes what the test left open.
#pragma once
#include <windows.h>

#include "win_test_support.h"

#include <gtest/gtest.h>

#include <string>

// How long a notice stays up in these tests: long enough for a poll's
// connection check to have begun and for the onlooker, which looks every
// 30 ms, to see a notice painted several times; short enough not to make
// every notice wait out the user's two seconds.
constexpr DWORD kTestNoticePauseMs = 300;

// What a click on the tray icon sends the agent window: a selection where
// the shell took version 4 of the icon's messages, the mouse message
// otherwise.
LPARAM trayClickEvent();

class AgentWindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam = 0) {
        return SendMessageA(agent, message, wParam, lParam);
    }
    std::string path(const char* name) const { return dir / name; }
    std::string log() const { return readFile(dir / "MAInLog.txt"); }

    TempFolder dir;
    HWND agent = nullptr;
};
