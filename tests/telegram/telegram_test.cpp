// Telegram runs against the test session's HTTP server.
#include "core/agent_state.h"
#include "base/event_log.h"
#include "base/internet.h"
#include "base/text.h"
#include "resources/resource.h"
#include "telegram/telegram.h"

#include "http_fixtures.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

namespace {

// The accounts of the server: ivan has telegrams 7, 12 and 9 (and older
// ones below min_id), "empty" has none, "six" one with six fields.
const char kAccounts[] = R"({
  "ivan": {"password": "p&ss #+%ж", "records": ["3\tстарое\tне должно прийти",
           "7\tАнна\t2026-12-07\tвстреча\tв пятницу", "12\tПётр\t2026-12-07\tотчёт\tготов",
           "9\tОльга\t2026-12-07\tзвонок\tперезвони"]},
  "empty": {"password": "e", "records": []},
  "six": {"password": "s", "records": ["14\ta\tb\tc\td\te"]},
  "zeros": {"password": "z", "raw": "OK\u000020\tx\u0000\u000021\ty\u0000"}
})";

class Telegrams : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(httpBaseUrl().empty()) << "run under tools/test.sh (HTTP server)";
        copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, dir.path().c_str());
        formatText(gAgent.settings.messageServer, sizeof gAgent.settings.messageServer, "%smess/",
                   httpBaseUrl().c_str());
        ASSERT_EQ(0u, openEventLog((dir / "MAInLog.txt").c_str()));
        gAgent.telegramCount = 0;
        setTelegramAccounts(kAccounts);
        setHttpBehaviour("{}");
        clearHttpRequests();
        resetHttpCancel();
        saved = gHttpTimeouts;
    }
    void TearDown() override {
        closeEventLog("end");
        setHttpBehaviour("{}");
        gHttpTimeouts = saved;
    }
    std::vector<std::string> lines(const char* name) { return splitLines(readFile(dir / name)); }
    std::string log() { return readFile(dir / "MAInLog.txt"); }

    TempFolder dir;
    HttpTimeouts saved;
};

} // namespace

TEST_F(Telegrams, ActiveLoginsAreQueriedAndTheirNextIdsAdvance) {
    ASSERT_TRUE(writeFile(dir / "MessBox.txt", "A;Друг;ivan;p&ss #+%ж;5\r\n"
                                               "P;Пауза;ivan;p&ss #+%ж;3\r\n"
                                               "A;Пусто;empty;e;\r\n"
                                               "A;Чужой;stranger;bad;\r\n"));
    telegramRun();

    std::vector<std::string> stored = lines("GetMess.txt");
    ASSERT_EQ(3u, stored.size());
    EXPECT_EQ("Друг;ivan;p&ss #+%ж;7;Анна;2026-12-07;встреча;в пятницу\t", stored[0]);
    EXPECT_EQ("Друг;ivan;p&ss #+%ж;12;Пётр;2026-12-07;отчёт;готов\t", stored[1]);
    EXPECT_EQ("Друг;ivan;p&ss #+%ж;9;Ольга;2026-12-07;звонок;перезвони\t", stored[2]);
    EXPECT_EQ(3, gAgent.newTelegramCount);
    EXPECT_EQ(3, gAgent.telegramCount);

    // 12 was the highest id: the next query asks from 13. The paused login
    // keeps its id, and so do the logins that received nothing.
    std::vector<std::string> accounts = lines("MessBox.txt");
    ASSERT_EQ(4u, accounts.size());
    EXPECT_EQ("A;Друг;ivan;p&ss #+%ж;13", accounts[0]);
    EXPECT_EQ("P;Пауза;ivan;p&ss #+%ж;3", accounts[1]);
    EXPECT_EQ("A;Пусто;empty;e;", accounts[2]);
    EXPECT_EQ("A;Чужой;stranger;bad;", accounts[3]);

    // The password travels percent-encoded and never reaches the log.
    std::vector<std::string> requests = httpRequests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("/mess/messages.txt?login=ivan&password=p%26ss%20%23%2B%25%E6&min_id=5", requests[0]);
    EXPECT_EQ("/mess/messages.txt?login=empty&password=e&min_id=0", requests[1]);
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Прием телеграмм. Логин: ivan  Пароль: ******** Идентификатор 5"));
    EXPECT_EQ(std::string::npos, text.find("p&ss"));
    EXPECT_NE(std::string::npos, text.find("Нет новых сообщений для данного логина."));
    EXPECT_NE(std::string::npos, text.find("Логин/пароль неопознаны сервером."));

    // A second run asks from 13 and gets nothing new.
    telegramRun();
    EXPECT_EQ(3u, lines("GetMess.txt").size());
    EXPECT_EQ("A;Друг;ivan;p&ss #+%ж;13", lines("MessBox.txt")[0]);
}

TEST_F(Telegrams, RecordShapes) {
    ASSERT_TRUE(writeFile(dir / "MessBox.txt", "A;Шесть;six;s;\r\nA;Нули;zeros;z;\r\n"));
    telegramRun();
    std::vector<std::string> stored = lines("GetMess.txt");
    ASSERT_EQ(2u, stored.size());
    // Six fields: four ";" and one blank.
    EXPECT_EQ("Шесть;six;s;14;a;b;c;d e\t", stored[0]);
    // Two zero bytes in a row end the reply.
    EXPECT_EQ("Нули;zeros;z;20;x\t", stored[1]);
    std::vector<std::string> accounts = lines("MessBox.txt");
    EXPECT_EQ("A;Шесть;six;s;15", accounts[0]);
    EXPECT_EQ("A;Нули;zeros;z;21", accounts[1]);
}

TEST_F(Telegrams, AReplyInPiecesIsReadWhole) {
    setHttpBehaviour("{\"chunkDelayMs\": 60}");
    ASSERT_TRUE(writeFile(dir / "MessBox.txt", "A;Друг;ivan;p&ss #+%ж;0\r\n"));
    telegramRun();
    EXPECT_EQ(4u, lines("GetMess.txt").size());
    EXPECT_EQ("A;Друг;ivan;p&ss #+%ж;13", lines("MessBox.txt")[0]);
}

TEST_F(Telegrams, ASilentServerCostsOnlyItsQuery) {
    setHttpBehaviour("{\"silent\": true}");
    gHttpTimeouts.receiveMs = 800;
    gHttpTimeouts.connectMs = 800;
    ASSERT_TRUE(writeFile(dir / "MessBox.txt", "A;Друг;ivan;p&ss #+%ж;5\r\n"));
    DWORD start = GetTickCount();
    telegramRun();
    EXPECT_LT(GetTickCount() - start, 20000u);
    EXPECT_NE(std::string::npos, log().find("Затрудняюсь соединиться с сервером "));
    EXPECT_EQ(std::string::npos, log().find("p%26ss")); // the logged address has no password
    EXPECT_EQ("A;Друг;ivan;p&ss #+%ж;5", lines("MessBox.txt")[0]);
}

TEST_F(Telegrams, RedirectsStayWithTheServerThatHasThePassword) {
    formatText(gAgent.settings.messageServer, sizeof gAgent.settings.messageServer, "%sold/", httpBaseUrl().c_str());
    ASSERT_TRUE(writeFile(dir / "MessBox.txt", "A;Шесть;six;s;\r\n"));
    // Moved on the same server: followed.
    setHttpBehaviour("{\"redirects\": {\"old/messages.txt\": \"/mess/messages.txt?{query}\"}}");
    telegramRun();
    EXPECT_EQ(1u, lines("GetMess.txt").size());
    EXPECT_EQ(2u, httpRequests().size());

    // Moved to another host ("localhost" is this server by another name)
    // with the password in the query: refused, the other host never asked.
    setHttpBehaviour("{\"redirects\": {\"old/messages.txt\": \"http://localhost:8080/mess/messages.txt?{query}\"}}");
    ASSERT_TRUE(writeFile(dir / "MessBox.txt", "A;Шесть;six;s;\r\n"));
    clearHttpRequests();
    telegramRun();
    EXPECT_EQ(1u, lines("GetMess.txt").size());
    EXPECT_EQ(1u, httpRequests().size());
    EXPECT_NE(std::string::npos, log().find("Затрудняюсь соединиться с сервером "));
    EXPECT_EQ("A;Шесть;six;s;", lines("MessBox.txt")[0]);
}

TEST_F(Telegrams, AReplyPastItsDeadlineIsTheServersFailure) {
    setHttpBehaviour("{\"chunkDelayMs\": 700}");
    gHttpTimeouts.requestBaseMs = 1500;
    gHttpTimeouts.minBytesPerSecond = 1 << 30;
    ASSERT_TRUE(writeFile(dir / "MessBox.txt", "A;Друг;ivan;p&ss #+%ж;5\r\n"));
    telegramRun();
    EXPECT_FALSE(fileExists(dir / "GetMess.txt") && !lines("GetMess.txt").empty());
    EXPECT_NE(std::string::npos, log().find("Затрудняюсь соединиться с сервером "));
    EXPECT_EQ("A;Друг;ivan;p&ss #+%ж;5", lines("MessBox.txt")[0]);
}

TEST_F(Telegrams, AppendedLinesStartOnALineOfTheirOwn) {
    ASSERT_TRUE(writeFile(dir / "GetMess.txt", "Друг;ivan;x;1;cut short"));
    ASSERT_TRUE(writeFile(dir / "MessBox.txt", "A;Шесть;six;s;\r\n"));
    telegramRun();
    std::vector<std::string> stored = lines("GetMess.txt");
    ASSERT_EQ(2u, stored.size());
    EXPECT_EQ("Друг;ivan;x;1;cut short", stored[0]);
    EXPECT_EQ("Шесть;six;s;14;a;b;c;d e\t", stored[1]);
}

TEST_F(Telegrams, NoLoginFileSkipsTheRun) {
    gAgent.telegramCount = 2;
    telegramRun();
    EXPECT_FALSE(fileExists(dir / "GetMess.txt"));
    EXPECT_EQ(0, gAgent.newTelegramCount);
    EXPECT_EQ(2, gAgent.telegramCount);
}

TEST_F(Telegrams, AFailedRewriteOnThePollThreadReachesTheUserThroughTheAgentWindow) {
    ASSERT_TRUE(writeFile(dir / "MessBox.txt", "A;Друг;ivan;p&ss #+%ж;5\r\n"));
    // A folder in the way of the new file: the rewrite fails.
    ASSERT_TRUE(CreateDirectoryA((dir / "MessBox.txt.tmp").c_str(), nullptr));
    // A window of this thread plays the agent window, and this thread waits
    // for the run without handling messages, as the mailbox page waits for
    // its test: a run that called the window would never end.
    HWND agent = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    gAgent.agentWindow = agent;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void*) -> DWORD {
            telegramRun();
            return 0;
        },
        nullptr, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 20000));
    CloseHandle(thread);

    MSG msg = {};
    ASSERT_TRUE(PeekMessageA(&msg, agent, WM_POLL_NOTICE, WM_POLL_NOTICE, PM_REMOVE));
    std::string notice = reinterpret_cast<const char*>(msg.lParam);
    delete[] reinterpret_cast<char*>(msg.lParam);
    EXPECT_EQ(0u, notice.find("Затрудняюсь открыть файл " + (dir / "MessBox.txt"))) << notice;
    EXPECT_NE(std::string::npos, notice.find("\r\nПоследние изменения не будут сохранены!")) << notice;
    EXPECT_NE(std::string::npos, log().find(notice));

    gAgent.agentWindow = nullptr;
    DestroyWindow(agent);
    RemoveDirectoryA((dir / "MessBox.txt.tmp").c_str());
}
