// The agent window in this process: poll cycles through its timer and
// commands, the tray icon's state, the blinking, the menu, and the version
// check, against the test session's servers.
#include "core/agent_state.h"
#include "agent/agent_window.h"
#include "base/event_log.h"
#include "agent/poll_cycle.h"
#include "agent/startup.h"
#include "ui/tray_icon.h"
#include "base/internet.h"
#include "base/text.h"
#include "resources/resource.h"
#include "retrieval/pop3_connection.h"
#include "viewer/viewer_window.h"

#include "agent_process.h"
#include "agent_test_state.h"
#include "http_fixtures.h"
#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kCycleTimeoutMs = 30000;

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        n++;
    }
    return n;
}

class AgentWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(prepareAgentState(dir));
        gAgent.receivedCount = 0;
        gAgent.runNewMailCount = 0;
        gAgent.newTelegramCount = 0;
        gAgent.telegramCount = 0;
        gAgent.settingsOpen = 0;
        gAgent.viewerOpen = 0;
        removeVersionFile();
        window = CreateWindowExA(WS_EX_TOOLWINDOW, kAgentWindowClass, kAgentWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                 100, nullptr, nullptr, gAgent.instance, nullptr);
        ASSERT_NE(nullptr, window);
        addTrayIcon(window);
    }
    void TearDown() override {
        stopPollCycle(kCycleTimeoutMs);
        pumpMessages(50);
        if (gAgent.viewerOpen && gAgent.viewerWindow.load() != nullptr) {
            DestroyWindow(gAgent.viewerWindow);
        }
        if (gAgent.settingsOpen && gAgent.settingsDialog.load() != nullptr) {
            DestroyWindow(gAgent.settingsDialog);
        }
        removeTrayIcon();
        gAgent.trayIcon.hWnd = nullptr;
        // The agent's own shutdown (class removal, COM, quit) is for the
        // process; here the window just goes.
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
        DestroyWindow(window);
        closeEventLog("end");
        gAgent.pollThread = nullptr;
    }

    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam = 0) {
        return SendMessageA(window, message, wParam, lParam);
    }
    std::string log() { return readFile(dir / "MAInLog.txt"); }
    // Waits until the cycle's thread has written its last log line and the
    // agent window has had its end-of-cycle message.
    bool waitForCycleEnd(const char* lastLine = "Поток опроса почты завершился") {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < kCycleTimeoutMs) {
            pumpMessages(50);
            if (log().find(lastLine) != std::string::npos && gAgent.pollThread.load() == nullptr) {
                pumpMessages(100);
                return true;
            }
        }
        return false;
    }
    void writeMailboxFile(const std::string& lines) { ASSERT_TRUE(writeFile(dir / "MailBox.txt", lines)); }

    TempFolder dir;
    HWND window = nullptr;
};

bool menuItemEnabled(HMENU menu, UINT id) {
    return (GetMenuState(menu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
}

std::string menuItemText(HMENU menu, UINT id) {
    char text[128] = {};
    GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND);
    return text;
}

} // namespace

// This program carries the agent's manifest, so the system reports its own
// version (10 on Windows 10 and 11, and under Wine): still a Vista or later.
TEST(VersionQuery, EveryWindowsFromVistaOnCountsAsVista) {
    EXPECT_EQ(1, detectVista());
}

TEST_F(AgentWindow, ACycleWithoutInternetChangesNothing) {
    copyText(gAgent.settings.updateServer, sizeof gAgent.settings.updateServer, "http://127.0.0.1:9/");
    TrayState before = trayState();
    send(WM_TIMER, IDT_POLL);
    ASSERT_TRUE(waitForCycleEnd("Поток опроса почты - Нет соединения с Интернет!"));
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Начинается опрос почты."));
    EXPECT_EQ(std::string::npos, text.find("Поток опроса почты завершился"));
    EXPECT_EQ(std::string::npos, text.find("Запрос приема писем"));
    EXPECT_EQ(0, gAgent.internetOk);
    TrayState after = trayState();
    EXPECT_EQ(before.iconId, after.iconId);
    EXPECT_STREQ(before.tip, after.tip);
}

TEST_F(AgentWindow, TheTrayThroughAReceptionCycle) {
    // A slow server keeps the cycle in its fetching phase long enough to see.
    std::vector<std::string> names = corpusMailNames();
    names.resize(3);
    setFakePop3Scenario("{\"messages\": " + corpusJsonList(names) + ", \"delayMs\": 250}");
    writeMailboxFile("A;Фейк;ivan@fake.test;secret;fake.test;110\r\n");
    gAgent.settings.blink = 1;

    send(WM_TIMER, IDT_POLL);
    TrayState during = {};
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kCycleTimeoutMs) {
        during = trayState();
        if (during.iconId == IDI_POLLING || gAgent.pollThread.load() == nullptr) {
            break;
        }
        Sleep(20);
    }
    EXPECT_EQ(IDI_POLLING, during.iconId);
    EXPECT_STREQ("Опрос почты. Ждите...", during.tip);
    ASSERT_TRUE(waitForCycleEnd());

    EXPECT_EQ(3, gAgent.runNewMailCount);
    EXPECT_EQ(3, gAgent.receivedCount);
    TrayState after = trayState();
    EXPECT_EQ(IDI_MAIL, after.iconId);
    EXPECT_STREQ("Принято писем - 3", after.tip);
    EXPECT_EQ(0, gAgent.blinkCount);
    // The cycle brought mail and blinking is on: the blink timer runs.
    EXPECT_TRUE(KillTimer(window, IDT_BLINK));
    EXPECT_EQ(3u, splitLines(readFile(dir / "GetMail.txt")).size());
}

TEST_F(AgentWindow, BlinkingAlternatesForTwiceKolBlinkTicks) {
    gAgent.runNewMailCount = 2;
    gAgent.receivedCount = 4;
    gAgent.telegramCount = 1;
    gAgent.settings.blink = 1;
    gAgent.settings.kolBlink = 10;
    gAgent.blinkCount = 0;
    gAgent.blinkPhase = 0;
    SetTimer(window, IDT_BLINK, 1000, nullptr);
    for (int tick = 1; tick <= 20; tick++) {
        send(WM_TIMER, IDT_BLINK);
        TrayState s = trayState();
        EXPECT_EQ(tick % 2 == 1 ? IDI_MAIL : IDI_MAIL_BLINK, s.iconId) << "tick " << tick;
        EXPECT_STREQ("Принято писем - 5", s.tip);
        EXPECT_FALSE(s.balloonFlag); // blinking never repeats the balloon
    }
    EXPECT_TRUE(KillTimer(window, IDT_BLINK)); // still running after tick 20
    SetTimer(window, IDT_BLINK, 1000, nullptr);
    send(WM_TIMER, IDT_BLINK);
    EXPECT_EQ(IDI_MAIL, trayState().iconId);
    EXPECT_FALSE(KillTimer(window, IDT_BLINK)); // tick 21 stopped it
}

TEST_F(AgentWindow, BlinkSwitchedOffMidwayOnlyCountsAndRefreshesTheTooltip) {
    gAgent.runNewMailCount = 1;
    gAgent.receivedCount = 1;
    gAgent.settings.blink = 1;
    gAgent.settings.kolBlink = 10;
    gAgent.blinkCount = 0;
    gAgent.blinkPhase = 0;
    SetTimer(window, IDT_BLINK, 1000, nullptr);
    for (int tick = 1; tick <= 5; tick++) {
        send(WM_TIMER, IDT_BLINK);
    }
    EXPECT_EQ(IDI_MAIL, trayState().iconId); // five ticks: first phase
    gAgent.settings.blink = 0;
    gAgent.receivedCount = 2;
    for (int tick = 6; tick <= 20; tick++) {
        send(WM_TIMER, IDT_BLINK);
        EXPECT_EQ(IDI_MAIL, trayState().iconId) << "tick " << tick;
    }
    EXPECT_STREQ("Принято писем - 2", trayState().tip);
    send(WM_TIMER, IDT_BLINK);
    EXPECT_EQ(IDI_MAIL, trayState().iconId);
    EXPECT_FALSE(KillTimer(window, IDT_BLINK));
}

TEST_F(AgentWindow, TheMenuInEachState) {
    HMENU menu = buildTrayMenu();
    EXPECT_EQ("Получить почту", menuItemText(menu, IDM_POLL_NOW));
    for (UINT id : {IDM_POLL_NOW, IDM_VIEW_MAIL, IDM_SETTINGS, IDM_QUIT}) {
        EXPECT_TRUE(menuItemEnabled(menu, id)) << id;
    }
    DestroyMenu(menu);

    // A poll runs.
    UniqueHandle running(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    gAgent.pollThread = running.get();
    menu = buildTrayMenu();
    EXPECT_EQ("Опрос почты. Ждите...", menuItemText(menu, IDM_POLL_NOW));
    EXPECT_FALSE(menuItemEnabled(menu, IDM_POLL_NOW));
    EXPECT_FALSE(menuItemEnabled(menu, IDM_VIEW_MAIL));
    EXPECT_FALSE(menuItemEnabled(menu, IDM_SETTINGS));
    EXPECT_TRUE(menuItemEnabled(menu, IDM_QUIT));
    DestroyMenu(menu);
    // A click on the icon while a poll runs does nothing.
    send(WM_TRAYICON, 0, WM_LBUTTONDOWN);
    EXPECT_EQ(0, gAgent.viewerOpen);
    gAgent.pollThread = nullptr;

    gAgent.settingsOpen = 1;
    menu = buildTrayMenu();
    EXPECT_EQ("Получить почту", menuItemText(menu, IDM_POLL_NOW));
    EXPECT_FALSE(menuItemEnabled(menu, IDM_POLL_NOW));
    EXPECT_TRUE(menuItemEnabled(menu, IDM_VIEW_MAIL));
    EXPECT_FALSE(menuItemEnabled(menu, IDM_SETTINGS));
    DestroyMenu(menu);
    gAgent.settingsOpen = 0;

    gAgent.viewerOpen = 1;
    menu = buildTrayMenu();
    EXPECT_TRUE(menuItemEnabled(menu, IDM_POLL_NOW));
    EXPECT_FALSE(menuItemEnabled(menu, IDM_VIEW_MAIL));
    EXPECT_TRUE(menuItemEnabled(menu, IDM_SETTINGS));
    DestroyMenu(menu);
    gAgent.viewerOpen = 0;
}

TEST_F(AgentWindow, ASecondPollWhileOneRunsStartsNothing) {
    std::vector<std::string> names = corpusMailNames();
    names.resize(4);
    setFakePop3Scenario("{\"messages\": " + corpusJsonList(names) + ", \"delayMs\": 400}");
    writeMailboxFile("A;Фейк;ivan@fake.test;secret;fake.test;110\r\n");
    send(WM_TIMER, IDT_POLL);
    HANDLE first = gAgent.pollThread;
    ASSERT_NE(nullptr, first);
    send(WM_COMMAND, IDM_POLL_NOW); // the menu's command, as if it came through
    send(WM_TIMER, IDT_POLL);
    ASSERT_TRUE(waitForCycleEnd());
    std::string text = log();
    EXPECT_EQ(1u, count(text, "Запрос приема писем"));
    EXPECT_EQ(4u, splitLines(readFile(dir / "GetMail.txt")).size());
}

TEST_F(AgentWindow, SettingsAndViewerNeverExistTogether) {
    ASSERT_NE(nullptr, openViewer(nullptr));
    EXPECT_EQ(1, gAgent.viewerOpen);
    send(WM_COMMAND, IDM_SETTINGS);
    EXPECT_EQ(0, gAgent.viewerOpen);
    EXPECT_EQ(1, gAgent.settingsOpen);
    HWND settings = gAgent.settingsDialog;
    ASSERT_NE(nullptr, settings);
    char caption[64] = {};
    GetWindowTextA(settings, caption, sizeof caption);
    EXPECT_STREQ("Настройки Агента", caption);

    send(WM_COMMAND, IDM_VIEW_MAIL);
    EXPECT_EQ(0, gAgent.settingsOpen);
    EXPECT_FALSE(IsWindow(settings));
    EXPECT_EQ(1, gAgent.viewerOpen);
    // The settings dialog wrote the user settings as it closed.
    EXPECT_NE(std::string::npos, readFile(dir / "Korvel.ini").find("KolBlink=10"));
    // A click on the tray icon closes the open viewer.
    send(WM_TRAYICON, 0, WM_LBUTTONDOWN);
    EXPECT_EQ(0, gAgent.viewerOpen);
}

TEST_F(AgentWindow, PollWithTheViewerOpenAndNoInternetShowsTheNotice) {
    copyText(gAgent.settings.updateServer, sizeof gAgent.settings.updateServer, "http://127.0.0.1:9/");
    ASSERT_NE(nullptr, openViewer(nullptr));
    DWORD start = GetTickCount();
    send(WM_COMMAND, IDM_POLL_NOW);
    EXPECT_GE(GetTickCount() - start, 3900u); // two seconds, then the notice's two
    char text[64] = {};
    GetWindowTextA(gAgent.alertWindow, text, sizeof text);
    EXPECT_STREQ("Нет соединения с Интернет!", text);
    EXPECT_EQ(1, gAgent.alertIsError);
    EXPECT_FALSE(IsWindowVisible(gAgent.alertWindow));
}

namespace {

class VersionCheck : public AgentWindow {
protected:
    std::string ini() { return readFile(dir / "Korvel.ini"); }
};

} // namespace

TEST_F(VersionCheck, ANewerVersionWithItsSize) {
    setVersionFile("12,250000");
    checkProgramVersion();
    EXPECT_EQ(12, gAgent.settings.newVersion);
    EXPECT_EQ(250000, gAgent.settings.versionSize);
    EXPECT_NE(std::string::npos, ini().find("NewVersion=12"));
    EXPECT_NE(std::string::npos, ini().find("VersionSize=250000"));
    EXPECT_STREQ("Имеется новая версия программы.", trayState().balloon);
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Принят файл ver.dat с содержимым: 12,250000"));
    EXPECT_NE(std::string::npos, text.find("Новая версия на сайте = 12"));
    EXPECT_NE(std::string::npos, text.find("Файл обновления имеет размер = 250000"));
}

TEST_F(VersionCheck, SmallOrMissingSizesAreWrittenAsZero) {
    setVersionFile("12,5000");
    checkProgramVersion();
    EXPECT_EQ(0, gAgent.settings.versionSize);
    EXPECT_NE(std::string::npos, ini().find("VersionSize=0"));

    gAgent.settings.newVersion = 10;
    setVersionFile("12\r\n");
    checkProgramVersion();
    EXPECT_EQ(12, gAgent.settings.newVersion);
    EXPECT_EQ(0, gAgent.settings.versionSize);
}

TEST_F(VersionCheck, AHashGoesWithTheVersionItCameWith) {
    const std::string hash(64, 'e');
    setVersionFile("12,250000," + hash + "\r\n");
    checkProgramVersion();
    EXPECT_EQ(250000, gAgent.settings.versionSize);
    EXPECT_EQ(hash, gAgent.settings.versionHash);
    EXPECT_NE(std::string::npos, ini().find("VersionHash=" + hash));
    // The same version again keeps it; a newer one without a hash drops it.
    checkProgramVersion();
    EXPECT_EQ(hash, gAgent.settings.versionHash);
    setVersionFile("13,250000");
    checkProgramVersion();
    EXPECT_STREQ("", gAgent.settings.versionHash);
    EXPECT_EQ(std::string::npos, ini().find("VersionHash"));
}

TEST_F(VersionCheck, TheSameOrALowerVersionWritesNothing) {
    gAgent.settings.versionSize = 777777;
    setVersionFile("10,300000");
    checkProgramVersion();
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_EQ(0, gAgent.settings.versionSize); // in memory only
    EXPECT_FALSE(fileExists(dir / "Korvel.ini"));
    EXPECT_STREQ("", trayState().balloon);
}

TEST_F(VersionCheck, BrokenVersionFiles) {
    setVersionFile("12");
    checkProgramVersion();
    EXPECT_NE(std::string::npos, log().find("Неверный файл номера новой версии на сервере!"));
    removeVersionFile();
    checkProgramVersion();
    EXPECT_NE(std::string::npos, log().find("Затрудняюсь соединиться с сервером для опроса новой версии."));
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_FALSE(fileExists(dir / "Korvel.ini"));
}

TEST_F(VersionCheck, EndlessDigitsWriteNothing) {
    setVersionFile(std::string(100000, '9'));
    checkProgramVersion();
    EXPECT_NE(std::string::npos, log().find("Неверный файл номера новой версии на сервере!"));
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_FALSE(fileExists(dir / "Korvel.ini"));
    EXPECT_STREQ("", trayState().balloon);
}

TEST_F(VersionCheck, AnUpdateSizeNoUpdaterHasMakesTheFileInvalid) {
    setVersionFile("12,2000000000");
    checkProgramVersion();
    EXPECT_NE(std::string::npos, log().find("Неверный файл номера новой версии на сервере!"));
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_EQ(0, gAgent.settings.versionSize);
    EXPECT_FALSE(fileExists(dir / "Korvel.ini"));
}

// The stored version is what the server announces now: a version withdrawn
// there is withdrawn here, and a number no program has never sticks.
TEST_F(VersionCheck, TheStoredVersionFollowsTheServer) {
    setVersionFile("2147483647");
    checkProgramVersion();
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_FALSE(fileExists(dir / "Korvel.ini"));

    struct Step {
        const char* file;
        int version;
        int size;
    };
    const Step steps[] = {{"13,250000", 13, 250000},
                          {"11\r\n", 11, 0},
                          {"11,300000", 11, 300000},
                          {"10\r\n", 10, 0},
                          {"12,260000", 12, 260000}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.file);
        setVersionFile(step.file);
        checkProgramVersion();
        EXPECT_EQ(step.version, gAgent.settings.newVersion);
        EXPECT_EQ(step.size, gAgent.settings.versionSize);
        EXPECT_NE(std::string::npos, ini().find("NewVersion=" + std::to_string(step.version) + "\r\n"));
        EXPECT_NE(std::string::npos, ini().find("VersionSize=" + std::to_string(step.size) + "\r\n"));
    }
}

TEST_F(AgentWindow, TheIconComesBackWhenTheTaskBarIsCreatedAnew) {
    removeTrayIcon();
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &gAgent.trayIcon));
    send(RegisterWindowMessageA("TaskbarCreated"), 0);
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &gAgent.trayIcon));
}

TEST_F(AgentWindow, AfterWakingUpAPollStartsOnceTheNetworkAnswers) {
    setVersionFile("10");
    send(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
    // The first retry polls at once; the network answers.
    send(WM_TIMER, IDT_RESUME);
    ASSERT_TRUE(waitForCycleEnd());
    EXPECT_EQ(1, gAgent.internetOk);
    EXPECT_EQ(1u, count(log(), "Начинается опрос почты."));
    // That cycle found the network: the retries end.
    send(WM_TIMER, IDT_RESUME);
    EXPECT_FALSE(KillTimer(window, IDT_RESUME));
    EXPECT_EQ(1u, count(log(), "Начинается опрос почты."));
}

TEST_F(AgentWindow, AfterWakingUpWithoutNetworkTheRetriesGoOn) {
    copyText(gAgent.settings.updateServer, sizeof gAgent.settings.updateServer, "http://127.0.0.1:9/");
    send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND);
    send(WM_TIMER, IDT_RESUME);
    ASSERT_TRUE(waitForCycleEnd("Поток опроса почты - Нет соединения с Интернет!"));
    send(WM_TIMER, IDT_RESUME);
    pumpMessages(200);
    // A second try, and the timer still runs for the next one.
    EXPECT_TRUE(waitForLogText(dir / "MAInLog.txt", "Начинается опрос почты.", 1000));
    DWORD start = GetTickCount();
    while (count(log(), "Поток опроса почты - Нет соединения с Интернет!") < 2 && GetTickCount() - start < 10000) {
        pumpMessages(50);
    }
    EXPECT_EQ(2u, count(log(), "Начинается опрос почты."));
    EXPECT_TRUE(KillTimer(window, IDT_RESUME));
}

// Requests that redirect to themselves end after a few hops: the cycle ends
// and the next one runs.
TEST_F(AgentWindow, ARedirectLoopEndsThePollAndTheNextPollRuns) {
    setVersionFile("12");
    setHttpBehaviour("{\"redirects\": {\"messages.txt\": \"/mess/messages.txt?{query}\", "
                     "\"ver.dat\": \"/update/ver.dat\"}}");
    ASSERT_TRUE(writeFile(dir / "MessBox.txt", "A;Друг;ivan;secret;5\r\n"));
    clearHttpRequests();
    for (size_t cycle = 1; cycle <= 2; cycle++) {
        send(WM_TIMER, IDT_POLL);
        DWORD start = GetTickCount();
        while (count(log(), "Поток опроса почты завершился") < cycle && GetTickCount() - start < kCycleTimeoutMs) {
            pumpMessages(50);
        }
        ASSERT_EQ(cycle, count(log(), "Поток опроса почты завершился"));
        while (gAgent.pollThread.load() != nullptr && GetTickCount() - start < kCycleTimeoutMs) {
            pumpMessages(50);
        }
    }
    // Each request: the first ask and five redirects at most.
    std::vector<std::string> requests = httpRequests();
    EXPECT_GE(requests.size(), 4u);
    EXPECT_LE(requests.size(), 2u * 2u * 6u);
    std::string text = log();
    EXPECT_EQ(2u, count(text, "Затрудняюсь соединиться с сервером http"));
    EXPECT_EQ(2u, count(text, "Затрудняюсь соединиться с сервером для опроса новой версии."));
    EXPECT_EQ("A;Друг;ivan;secret;5\r\n", readFile(dir / "MessBox.txt"));
}
