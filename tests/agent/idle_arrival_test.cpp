// Korvel.exe with an IMAP mailbox on dovecot and a poll interval of half an
// hour: a mail delivered after the first poll is announced by the server
// and received at once, and quitting ends the IDLE connection with the agent.
#include "agent_process.h"
#include "http_fixtures.h"
#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kArrivalTimeoutMs = 60000;

size_t recordCount(const Installation& inst) {
    return splitLines(readFile(inst.service() + "GetMail.txt")).size();
}

TEST(IdleArrival, AMailDeliveredWhileTheAgentIdlesArrivesBeforeTheInterval) {
    ASSERT_FALSE(httpBaseUrl().empty()) << "run under tools/test.sh (test servers)";
    Installation inst;
    DovecotMailbox box;
    box.addMessage(corpusMail(corpusMailNames()[0]));
    ASSERT_TRUE(writeFile(inst.service() + "MailBox.txt",
                          "A;Работа;" + box.user() + ";" + box.password() + ";pop3.delta.test;993\r\n"));
    ASSERT_TRUE(writeFile(inst.service() + "Korvel.ini", "[Korvel]\r\nUpdateServer=" + httpBaseUrl() +
                                                             "update/\r\nMessageServer=" + httpBaseUrl() +
                                                             "mess/\r\nInterval=30\r\n"));
    setHttpBehaviour("{}");
    setVersionFile("10");

    ChildProcess agent;
    ASSERT_TRUE(agent.start(inst.exe()));
    HWND window = waitForAgent(agent);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitForLogText(inst.log(), "Поток опроса почты завершился", kArrivalTimeoutMs));
    ASSERT_EQ(1u, recordCount(inst));
    // The IDLE command is on its way: from here on a delivery is announced.
    ASSERT_TRUE(waitForLogText(inst.log(), " IDLE\r\n", kArrivalTimeoutMs));

    box.addMessage(corpusMail(corpusMailNames()[1]));
    DWORD start = GetTickCount();
    while (recordCount(inst) < 2 && GetTickCount() - start < kArrivalTimeoutMs) {
        Sleep(50); // the file is looked at again until the second record is in it
    }
    ASSERT_EQ(2u, recordCount(inst));
    std::string log = readFile(inst.log());
    EXPECT_NE(std::string::npos, log.find("Сервер сообщил о новом письме в ящике Работа"));
    EXPECT_EQ(std::string::npos, log.find(box.password()));

    ASSERT_TRUE(quitAgent(window, agent));
    std::vector<std::string> texts = logTexts(inst.log());
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ("Агент завершил работу", texts[texts.size() - 2]);
}

} // namespace
