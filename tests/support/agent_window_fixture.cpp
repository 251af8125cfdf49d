#include "agent_window_fixture.h"

#include "agent/agent_window.h"
#include "agent/poll_cycle.h"
#include "agent/startup.h"
#include "base/event_log.h"
#include "base/text.h"
#include "core/agent_state.h"
#include "store/mail_lists.h"
#include "ui/alert_window.h"
#include "resources/resource.h"
#include "ui/tray_icon.h"

#include "http_fixtures.h"
#include "poll_cycle_wait.h"

namespace {

// The process state of a fresh agent: the window classes registered, the
// service folder and its event log in folder, default settings pointed at
// the test session's update and telegram servers, which offer nothing.
::testing::AssertionResult prepareAgentState(const TempFolder& folder) {
    if (httpBaseUrl().empty()) {
        return ::testing::AssertionFailure() << "run under tools/test.sh (test servers)";
    }
    gAgent.instance = GetModuleHandleA(nullptr);
    static bool registered = registerWindowClasses(gAgent.instance);
    if (!registered) {
        return ::testing::AssertionFailure() << "window classes not registered";
    }
    copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, folder.path().c_str());
    if (openEventLog((folder / "MAInLog.txt").c_str()) != 0) {
        return ::testing::AssertionFailure() << "event log not opened";
    }
    gAgent.settings = SettingsValues();
    formatText(gAgent.settings.updateServer, sizeof gAgent.settings.updateServer, "%supdate/", httpBaseUrl().c_str());
    formatText(gAgent.settings.messageServer, sizeof gAgent.settings.messageServer, "%smess/", httpBaseUrl().c_str());
    setHttpBehaviour("{}");
    removeVersionFile();
    removeUpdateFile();
    return ::testing::AssertionSuccess();
}

void closeIfOpen(std::atomic<int>& open, std::atomic<HWND>& window) {
    if (open && window.load() != nullptr) {
        DestroyWindow(window);
    }
}

} // namespace

LPARAM trayClickEvent() {
    return trayUsesVersion4() ? MAKELPARAM(NIN_SELECT, TRAY_ICON_ID) : WM_LBUTTONDOWN;
}

void AgentWindowFixture::SetUp() {
    ASSERT_TRUE(prepareAgentState(dir));
    copyText(gAgent.moduleFolder, sizeof gAgent.moduleFolder, dir.path().c_str());
    copyText(gAgent.agentExePath, sizeof gAgent.agentExePath, (dir / "Korvel.exe").c_str());
    gAgent.receivedCount = 0;
    gAgent.runNewMailCount = 0;
    gAgent.newTelegramCount = 0;
    gAgent.telegramCount = 0;
    gAgent.settingsOpen = 0;
    gAgent.viewerOpen = 0;
    gAgent.autoStart = 0;
    gMailListFlags = MailListFlags();
    gNoticePauseMs = kTestNoticePauseMs;
    agent = CreateWindowExA(WS_EX_TOOLWINDOW, kAgentWindowClass, kAgentWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                            nullptr, nullptr, gAgent.instance, nullptr);
    ASSERT_NE(nullptr, agent);
    gAgent.agentWindow = agent;
    addTrayIcon(agent);
}

void AgentWindowFixture::TearDown() {
    closeIfOpen(gAgent.settingsOpen, gAgent.settingsDialog);
    EXPECT_TRUE(stopPollCycle(kPollCycleTimeoutMs)) << "a poll cycle did not end";
    // What the last cycle posted goes before the windows do.
    pumpPendingMessages();
    closeIfOpen(gAgent.viewerOpen, gAgent.viewerWindow);
    removeTrayIcon();
    gAgent.trayIcon.hWnd = nullptr;
    // The agent's own shutdown (class removal, quit) is for the process; here
    // the window just goes.
    SetWindowLongPtrA(agent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
    DestroyWindow(agent);
    gAgent.agentWindow = nullptr;
    closeEventLog("end");
    gAgent.pollThread = nullptr;
    gNoticePauseMs = kNoticePauseMs;
}
