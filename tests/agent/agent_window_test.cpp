// The agent window in this process: poll cycles through its timer and
// commands, the tray icon's state, the blinking, the menu, and the version
// check, against the test session's servers.
#include "core/agent_state.h"
#include "agent/agent_window.h"
#include "base/event_log.h"
#include "agent/poll_cycle.h"
#include "agent/startup.h"
#include "agent/tray_menu.h"
#include "ui/alert_window.h"
#include "ui/tray_icon.h"
#include "base/internet.h"
#include "base/text.h"
#include "resources/resource.h"
#include "retrieval/pop3_connection.h"
#include "viewer/viewer_window.h"

#include "agent_process.h"
#include "agent_window_fixture.h"
#include "http_fixtures.h"
#include "onlooker.h"
#include "poll_cycle_wait.h"
#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class AgentWindow : public AgentWindowFixture {
protected:
    void writeMailboxFile(const std::string& lines) { ASSERT_TRUE(writeFile(path("MailBox.txt"), lines)); }
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

// Vista and everything after it (10 and 11 report 10 to a program with the
// agent's manifest) count as Vista, as does a version that cannot be read;
// older systems do not.
TEST(VersionQuery, VistaAndLaterAndAnUnreadVersionCountAsVista) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 5;
    version.dwMinorVersion = 1;
    EXPECT_EQ(0, vistaFromVersion(&version));
    for (DWORD major : {6u, 10u}) {
        version.dwMajorVersion = major;
        EXPECT_EQ(1, vistaFromVersion(&version)) << major;
    }
    EXPECT_EQ(1, vistaFromVersion(nullptr));
    EXPECT_EQ(1, detectVista());
}

TEST_F(AgentWindow, ACycleWithoutInternetChangesNothing) {
    copyText(gAgent.settings.updateServer, sizeof gAgent.settings.updateServer, "http://127.0.0.1:9/");
    TrayState before = trayState();
    send(WM_TIMER, IDT_POLL);
    ASSERT_TRUE(waitForPollCycle());
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Начинается опрос почты."));
    EXPECT_NE(std::string::npos, text.find("Поток опроса почты - Нет соединения с Интернет!"));
    EXPECT_EQ(std::string::npos, text.find("Поток опроса почты завершился"));
    EXPECT_EQ(std::string::npos, text.find("Запрос приема писем"));
    EXPECT_EQ(0, gAgent.internetOk);
    TrayState after = trayState();
    EXPECT_EQ(before.iconId, after.iconId);
    EXPECT_STREQ(before.tip, after.tip);
}

// The poll thread never hands the tray record to the shell: it asks the
// agent window, whose thread changes the record in the cycle's order.
TEST_F(AgentWindow, TheTrayThroughAReceptionCycle) {
    std::vector<std::string> names = corpusMailNames();
    names.resize(3);
    setFakePop3Scenario("{\"messages\": " + corpusJsonList(names) + "}");
    writeMailboxFile("A;Фейк;ivan@fake.test;secret;fake.test;110\r\n");
    setVersionFile("12,250000");
    gAgent.settings.blink = 1;
    TrayState before = trayState();

    send(WM_TIMER, IDT_POLL);
    // This thread handles no message until the cycle has ended: the tray
    // must be as it was.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(lastPollCycle(), kPollCycleTimeoutMs));
    TrayState untouched = trayState();
    EXPECT_EQ(before.iconId, untouched.iconId);
    EXPECT_STREQ(before.tip, untouched.tip);

    std::vector<int> icons;
    TrayState during = {};
    // Each message handled in turn: the icon after each one.
    icons.push_back(before.iconId);
    EXPECT_TRUE(pumpMessagesUntil(
        [&] {
            TrayState now = trayState();
            if (icons.back() != now.iconId) {
                icons.push_back(now.iconId);
            }
            if (now.iconId == IDI_POLLING) {
                during = now;
            }
            return now.iconId == IDI_MAIL;
        },
        kPollCycleTimeoutMs));
    EXPECT_EQ((std::vector<int>{before.iconId, IDI_POLLING, IDI_MAIL}), icons);
    EXPECT_STREQ("Опрос почты. Ждите...", during.tip);

    EXPECT_EQ(3, gAgent.runNewMailCount);
    EXPECT_EQ(3, gAgent.receivedCount);
    TrayState after = trayState();
    EXPECT_EQ(IDI_MAIL, after.iconId);
    EXPECT_STREQ("Принято писем - 3", after.tip);
    EXPECT_EQ(3, after.count);
    EXPECT_EQ(0, gAgent.blinkCount);
    // The cycle brought mail and blinking is on: the blink timer runs.
    EXPECT_TRUE(KillTimer(agent, IDT_BLINK));
    EXPECT_EQ(3u, splitLines(readFile(path("GetMail.txt"))).size());
}

TEST_F(AgentWindow, BlinkingAlternatesForTwiceKolBlinkTicks) {
    gAgent.runNewMailCount = 2;
    gAgent.receivedCount = 4;
    gAgent.telegramCount = 1;
    gAgent.settings.blink = 1;
    gAgent.settings.kolBlink = 10;
    gAgent.blinkCount = 0;
    gAgent.blinkPhase = 0;
    SetTimer(agent, IDT_BLINK, 1000, nullptr);
    for (int tick = 1; tick <= 20; tick++) {
        send(WM_TIMER, IDT_BLINK);
        TrayState s = trayState();
        EXPECT_EQ(tick % 2 == 1 ? IDI_MAIL : IDI_MAIL_BLINK, s.iconId) << "tick " << tick;
        EXPECT_STREQ("Принято писем - 5", s.tip);
    }
    EXPECT_TRUE(KillTimer(agent, IDT_BLINK)); // still running after tick 20
    SetTimer(agent, IDT_BLINK, 1000, nullptr);
    send(WM_TIMER, IDT_BLINK);
    EXPECT_EQ(IDI_MAIL, trayState().iconId);
    EXPECT_FALSE(KillTimer(agent, IDT_BLINK)); // tick 21 stopped it
}

TEST_F(AgentWindow, BlinkSwitchedOffMidwayOnlyCountsAndRefreshesTheTooltip) {
    gAgent.runNewMailCount = 1;
    gAgent.receivedCount = 1;
    gAgent.settings.blink = 1;
    gAgent.settings.kolBlink = 10;
    gAgent.blinkCount = 0;
    gAgent.blinkPhase = 0;
    SetTimer(agent, IDT_BLINK, 1000, nullptr);
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
    EXPECT_FALSE(KillTimer(agent, IDT_BLINK));
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
    send(WM_TRAYICON, 0, trayClickEvent());
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
    // The server holds the first poll in its session until both requests
    // have come.
    setFakePop3Scenario("{\"messages\": " + corpusJsonList(names) + ", \"holdOn\": \"QUIT\"}");
    writeMailboxFile("A;Фейк;ivan@fake.test;secret;fake.test;110\r\n");
    send(WM_TIMER, IDT_POLL);
    HANDLE first = gAgent.pollThread;
    ASSERT_NE(nullptr, first);
    ASSERT_TRUE(waitForFakePop3Held(kPollCycleTimeoutMs)); // its QUIT unanswered
    // The menu's command, as if it came through.
    send(WM_COMMAND, IDM_POLL_NOW);
    send(WM_TIMER, IDT_POLL);
    EXPECT_EQ(first, gAgent.pollThread.load());
    releaseFakePop3();
    ASSERT_TRUE(waitForPollCycle());
    std::string text = log();
    EXPECT_EQ(1u, occurrences(text, "Запрос приема писем"));
    EXPECT_EQ(4u, splitLines(readFile(path("GetMail.txt"))).size());
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
    EXPECT_NE(std::string::npos, readFile(path("Korvel.ini")).find("KolBlink=10"));
    // A click on the tray icon closes the open viewer.
    send(WM_TRAYICON, 0, trayClickEvent());
    EXPECT_EQ(0, gAgent.viewerOpen);
}

TEST_F(AgentWindow, PollWithTheViewerOpenAndNoInternetShowsTheNotice) {
    copyText(gAgent.settings.updateServer, sizeof gAgent.settings.updateServer, "http://127.0.0.1:9/");
    ASSERT_NE(nullptr, openViewer(nullptr));
    gAgent.internetOk = 1; // as the start-up leaves it
    Onlooker onlooker;
    send(WM_COMMAND, IDM_POLL_NOW);
    // The notice showed while the command ran, and went again.
    std::vector<std::string> notices = onlooker.notices();
    EXPECT_NE(notices.end(), std::find(notices.begin(), notices.end(), "Нет соединения с Интернет!"));
    char text[64] = {};
    GetWindowTextA(gAgent.alertWindow, text, sizeof text);
    EXPECT_STREQ("Нет соединения с Интернет!", text);
    EXPECT_EQ(1, gAgent.alertIsError);
    EXPECT_FALSE(IsWindowVisible(gAgent.alertWindow));
}

namespace {

class VersionCheck : public AgentWindow {
protected:
    std::string ini() { return readFile(path("Korvel.ini")); }
};

} // namespace

TEST_F(VersionCheck, ANewerVersionWithItsSize) {
    setVersionFile("12,250000");
    EXPECT_TRUE(checkProgramVersion()); // the tray's balloon tells of it
    EXPECT_EQ(12, gAgent.settings.newVersion);
    EXPECT_EQ(250000, gAgent.settings.versionSize);
    EXPECT_NE(std::string::npos, ini().find("NewVersion=12"));
    EXPECT_NE(std::string::npos, ini().find("VersionSize=250000"));
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
    EXPECT_FALSE(checkProgramVersion()); // no balloon
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_EQ(0, gAgent.settings.versionSize); // in memory only
    EXPECT_FALSE(fileExists(path("Korvel.ini")));
}

TEST_F(VersionCheck, BrokenVersionFiles) {
    setVersionFile("12");
    checkProgramVersion();
    EXPECT_NE(std::string::npos, log().find("Неверный файл номера новой версии на сервере!"));
    removeVersionFile();
    checkProgramVersion();
    EXPECT_NE(std::string::npos, log().find("Затрудняюсь соединиться с сервером для опроса новой версии."));
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_FALSE(fileExists(path("Korvel.ini")));
}

TEST_F(VersionCheck, EndlessDigitsWriteNothing) {
    setVersionFile(std::string(100000, '9'));
    EXPECT_FALSE(checkProgramVersion());
    EXPECT_NE(std::string::npos, log().find("Неверный файл номера новой версии на сервере!"));
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_FALSE(fileExists(path("Korvel.ini")));
}

TEST_F(VersionCheck, AnUpdateSizeNoUpdaterHasMakesTheFileInvalid) {
    setVersionFile("12,2000000000");
    checkProgramVersion();
    EXPECT_NE(std::string::npos, log().find("Неверный файл номера новой версии на сервере!"));
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_EQ(0, gAgent.settings.versionSize);
    EXPECT_FALSE(fileExists(path("Korvel.ini")));
}

// The stored version is what the server announces now: a version withdrawn
// there is withdrawn here, and a number no program has never sticks.
TEST_F(VersionCheck, TheStoredVersionFollowsTheServer) {
    setVersionFile("2147483647");
    checkProgramVersion();
    EXPECT_EQ(10, gAgent.settings.newVersion);
    EXPECT_FALSE(fileExists(path("Korvel.ini")));

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

namespace {

// While it exists the user's Internet settings send every request through a
// proxy: the session's HTTP server, which answers a request by its path
// whatever host it names.
class ProxySetting {
public:
    ProxySetting() {
        DWORD enable = 1;
        const char server[] = "127.0.0.1:8080";
        set_ = RegSetKeyValueA(HKEY_CURRENT_USER, kKey, "ProxyEnable", REG_DWORD, &enable, sizeof enable) == 0 &&
               RegSetKeyValueA(HKEY_CURRENT_USER, kKey, "ProxyServer", REG_SZ, server, sizeof server) == 0;
        announce();
    }
    ~ProxySetting() {
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, "ProxyEnable");
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, "ProxyServer");
        announce();
    }
    ProxySetting(const ProxySetting&) = delete;
    ProxySetting& operator=(const ProxySetting&) = delete;
    bool set() const { return set_; }

private:
    static void announce() {
        InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
        InternetSetOptionA(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
    }
    static constexpr const char* kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    bool set_ = false;
};

} // namespace

// The cycle's connection test is the GET of the version file, made the way
// the user's proxy settings send it: behind a proxy, with the update server's
// name known to the proxy alone, one request proves the connection and
// brings the file, announced after the mail.
TEST_F(VersionCheck, BehindAProxyOneRequestTestsTheConnectionAndBringsTheFile) {
    writeMailboxFile("A;Фейк;ivan@fake.test;secret;fake.test;110\r\n");
    setFakePop3Scenario("{\"messages\": []}");
    setVersionFile("12,250000");
    copyText(gAgent.settings.updateServer, sizeof gAgent.settings.updateServer, "http://update.korvel.invalid/update/");
    clearHttpRequests();
    {
        ProxySetting proxy;
        ASSERT_TRUE(proxy.set());
        send(WM_TIMER, IDT_POLL);
        ASSERT_TRUE(waitForPollCycle());
    }
    // The proxy is asked for the whole address.
    std::vector<std::string> requests = httpRequests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(0u, requests[0].find("http://update.korvel.invalid"));
    EXPECT_NE(std::string::npos, requests[0].find("/update/ver.dat"));
    EXPECT_EQ(1, gAgent.internetOk);
    std::string text = log();
    size_t mail = text.find("Запрос приема писем");
    size_t announced = text.find("Принят файл ver.dat с содержимым: 12,250000");
    ASSERT_NE(std::string::npos, mail);
    ASSERT_NE(std::string::npos, announced);
    EXPECT_LT(mail, announced);
    EXPECT_LT(announced, text.find("Поток опроса почты завершился"));
    EXPECT_EQ(12, gAgent.settings.newVersion);
}

// No system network here: a server without the file has answered all the
// same, and the mail is polled.
TEST_F(VersionCheck, AServerWithoutTheFileProvesTheConnection) {
    writeMailboxFile("A;Фейк;ivan@fake.test;secret;fake.test;110\r\n");
    setFakePop3Scenario("{\"messages\": []}");
    removeVersionFile();
    clearHttpRequests();
    send(WM_TIMER, IDT_POLL);
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_EQ((std::vector<std::string>{"/update/ver.dat"}), httpRequests());
    EXPECT_EQ(1, gAgent.internetOk);
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Запрос приема писем"));
    EXPECT_EQ(std::string::npos, text.find("Нет соединения с Интернет!"));
    EXPECT_EQ(std::string::npos, text.find("Сервер обновлений не отвечает"));
    EXPECT_EQ(1u, occurrences(text, "Затрудняюсь соединиться с сервером для опроса новой версии."));
}

TEST_F(AgentWindow, TheIconComesBackWhenTheTaskBarIsCreatedAnew) {
    removeTrayIcon();
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &gAgent.trayIcon));
    send(RegisterWindowMessageA("TaskbarCreated"), 0);
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &gAgent.trayIcon));
}

bool trayIconShown() {
    return Shell_NotifyIconA(NIM_MODIFY, &gAgent.trayIcon) != FALSE;
}

// At logon the shell may not take the icon yet: the agent's retry timer adds
// it once the shell does, and stops then.
TEST_F(AgentWindow, AnIconTheShellDidNotTakeIsAddedByTheRetry) {
    removeTrayIcon();
    gTrayAddsToFail = 1;
    send(WM_TRAY_ADD, 0);
    EXPECT_FALSE(trayIconShown());
    EXPECT_TRUE(pumpMessagesUntil(trayIconShown, 10000));
    EXPECT_FALSE(KillTimer(agent, IDT_TRAY_ADD));
    EXPECT_EQ(0, gTrayAddsToFail);
}

TEST_F(AgentWindow, AnIconTheNewTaskBarDidNotTakeIsAddedByTheRetry) {
    removeTrayIcon();
    gTrayAddsToFail = 2;
    send(RegisterWindowMessageA("TaskbarCreated"), 0);
    send(WM_TIMER, IDT_TRAY_ADD);
    EXPECT_FALSE(trayIconShown());
    send(WM_TIMER, IDT_TRAY_ADD);
    EXPECT_TRUE(trayIconShown());
    EXPECT_FALSE(KillTimer(agent, IDT_TRAY_ADD));
    // An icon the shell still shows counts as added: no retries follow.
    send(RegisterWindowMessageA("TaskbarCreated"), 0);
    EXPECT_FALSE(KillTimer(agent, IDT_TRAY_ADD));
}

TEST_F(AgentWindow, AfterWakingUpAPollStartsOnceTheNetworkAnswers) {
    setVersionFile("10");
    send(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
    // The first retry polls at once; the network answers.
    send(WM_TIMER, IDT_RESUME);
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_EQ(1, gAgent.internetOk);
    EXPECT_EQ(1u, occurrences(log(), "Начинается опрос почты."));
    // That cycle found the network: the retries end.
    send(WM_TIMER, IDT_RESUME);
    EXPECT_FALSE(KillTimer(agent, IDT_RESUME));
    EXPECT_EQ(1u, occurrences(log(), "Начинается опрос почты."));
}

TEST_F(AgentWindow, AfterWakingUpWithoutNetworkTheRetriesGoOn) {
    copyText(gAgent.settings.updateServer, sizeof gAgent.settings.updateServer, "http://127.0.0.1:9/");
    send(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND);
    send(WM_TIMER, IDT_RESUME);
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_EQ(1u, occurrences(log(), "Поток опроса почты - Нет соединения с Интернет!"));
    // A second try, and the timer still runs for the next one.
    send(WM_TIMER, IDT_RESUME);
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_EQ(2u, occurrences(log(), "Поток опроса почты - Нет соединения с Интернет!"));
    EXPECT_EQ(2u, occurrences(log(), "Начинается опрос почты."));
    EXPECT_TRUE(KillTimer(agent, IDT_RESUME));
}

// Requests that redirect to themselves end after a few hops: the cycle ends
// and the next one runs.
TEST_F(AgentWindow, ARedirectLoopEndsThePollAndTheNextPollRuns) {
    setVersionFile("12");
    setHttpBehaviour("{\"redirects\": {\"messages.txt\": \"/mess/messages.txt?{query}\", "
                     "\"ver.dat\": \"/update/ver.dat\"}}");
    ASSERT_TRUE(writeFile(path("MessBox.txt"), "A;Друг;ivan;secret;5\r\n"));
    clearHttpRequests();
    for (size_t cycle = 1; cycle <= 2; cycle++) {
        send(WM_TIMER, IDT_POLL);
        ASSERT_TRUE(waitForPollCycle());
        ASSERT_EQ(cycle, occurrences(log(), "Поток опроса почты завершился"));
    }
    // Each request: the first ask and five redirects at most.
    std::vector<std::string> requests = httpRequests();
    EXPECT_GE(requests.size(), 4u);
    EXPECT_LE(requests.size(), 2u * 2u * 6u);
    std::string text = log();
    EXPECT_EQ(2u, occurrences(text, "Затрудняюсь соединиться с сервером http"));
    EXPECT_EQ(2u, occurrences(text, "Затрудняюсь соединиться с сервером для опроса новой версии."));
    EXPECT_EQ("A;Друг;ivan;secret;5\r\n", readFile(path("MessBox.txt")));
}

namespace {

// Pictures the popup menu once it is up, then closes it.
DWORD WINAPI pictureMenu(void* name) {
    DWORD start = GetTickCount();
    HWND menu = nullptr;
    while ((menu = FindWindowA("#32768", nullptr)) == nullptr || !IsWindowVisible(menu)) {
        if (GetTickCount() - start > kAgentStartTimeoutMs) {
            return 1;
        }
        Sleep(20); // the menu is looked for again until it is up
    }
    saveScreenshot(artifactsFolder() + static_cast<const char*>(name));
    PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    return 0;
}

} // namespace

// The tray menu as it opens, for the artifacts at the display's scaling:
// the system draws it, at the system's own metrics.
TEST_F(AgentWindow, TheMenuIsPictured) {
    HMENU menu = buildTrayMenu();
    ASSERT_NE(nullptr, menu);
    std::string name = "tray-menu-" + std::to_string(screenDpi()) + "dpi.bmp";
    UniqueHandle watcher(CreateThread(nullptr, 0, pictureMenu, &name[0], 0, nullptr));
    ASSERT_TRUE(watcher);
    SetForegroundWindow(agent);
    TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, 400, 400, 0, agent, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watcher.get(), kAgentStartTimeoutMs));
    DWORD pictured = 1;
    GetExitCodeThread(watcher.get(), &pictured);
    EXPECT_EQ(0u, pictured);
    DestroyMenu(menu);
}

TEST(AgentWindowScaled, TheMenuIsPicturedAtOneAndAHalfTimesTheScale) {
    std::string failures;
    EXPECT_EQ(0, runTestsAtDpi(144, "AgentWindow.TheMenuIsPictured", kAgentStartTimeoutMs * 2, failures)) << failures;
}
