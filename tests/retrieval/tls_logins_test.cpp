// A mailbox that has logged in over TLS never sends its password in the clear
// again: the record of such logins, what a session in the clear does with
// it, and what a damaged, unreadable or missing record file means.
#include "pop3_session_fixture.h"

#include "base/file_io.h"
#include "store/tls_logins.h"

#include <thread>

namespace {

std::string clearLine(const std::string& address, const std::string& server) {
    return "Фейк;" + address + ";secret;" + server + ";110";
}

} // namespace

// The scripted server of fakes.test offers STLS at first; then CAPA drops
// it, as an attacker on the path would.
TEST_F(Pop3Session, AMailboxThatUsedTlsNeverLogsInInTheClearAgain) {
    const std::string record = (dir / "TlsBox.txt");
    setFakePop3Scenario(corpusScenario("\"stls\": true"));
    ASSERT_EQ(1, receive(clearLine("Ivan@Fake.test", "fakes.test")));
    EXPECT_EQ("ivan@fake.test;fakes.test\r\n", readFile(record));
    // Another login over TLS adds nothing.
    ASSERT_EQ(1, receive(clearLine("ivan@fake.test", "FAKES.test")));
    EXPECT_EQ("ivan@fake.test;fakes.test\r\n", readFile(record));

    setFakePop3Scenario(corpusScenario());
    clearHeaderFile();
    gRetrieval.walkIncomplete = false;
    EXPECT_EQ(0, receive(clearLine("ivan@fake.test", "fakes.test")));
    EXPECT_FALSE(sawLogin());
    EXPECT_TRUE(sent("CAPA"));
    EXPECT_NE(std::string::npos, log().find("Сервер fakes.test больше не предлагает STLS, хотя раньше ящик "
                                            "ivan@fake.test входил на него по защищенному соединению (TLS). "
                                            "Пароль не отправлен."));
    EXPECT_TRUE(gRetrieval.walkIncomplete); // failed: its mails count as unknown, not gone
    EXPECT_TRUE(blocks().empty());

    // Another mailbox of that server, and the same address on another
    // server, never used TLS: they log in in the clear, and the record stays.
    const std::string others[] = {clearLine("petr@fake.test", "fakes.test"), fakeLine()};
    for (const std::string& line : others) {
        SCOPED_TRACE(line);
        setFakePop3Scenario(corpusScenario());
        EXPECT_EQ(1, receive(line));
        EXPECT_TRUE(sawLogin());
    }
    EXPECT_EQ("ivan@fake.test;fakes.test\r\n", readFile(record));

    // POP3 over TLS on 995 is recorded too.
    setFakePop3Scenario(corpusScenario());
    ASSERT_EQ(1, receive("Фейк;olga@fake.test;secret;fakes.test;995"));
    EXPECT_EQ("ivan@fake.test;fakes.test\r\nolga@fake.test;fakes.test\r\n", readFile(record));
}

TEST_F(Pop3Session, ADamagedOrUnreadableRecordFileStillKeepsThePasswordBack) {
    const std::string record = (dir / "TlsBox.txt");
    const std::string ivan = clearLine("ivan@fake.test", "fakes.test");
    // Damaged lines are skipped; the good ones still count.
    const std::string damaged = "garbage\r\n;\r\nx;y;z\r\n;fakes.test\r\nivan@fake.test;\r\n" +
                                std::string("nul\0here;x\r\n", 12) + std::string(2000, 'a') + ";b\r\n";
    ASSERT_TRUE(writeFile(record, damaged + "IVAN@fake.test;fakes.test\r\nanna@fake.test;fakes.test"));
    setFakePop3Scenario(corpusScenario());
    EXPECT_EQ(0, receive(ivan));
    EXPECT_FALSE(sawLogin());
    // The next TLS login rewrites the file with the good lines only.
    setFakePop3Scenario(corpusScenario("\"stls\": true"));
    ASSERT_EQ(1, receive(clearLine("petr@fake.test", "fakes.test")));
    EXPECT_EQ("ivan@fake.test;fakes.test\r\nanna@fake.test;fakes.test\r\npetr@fake.test;fakes.test\r\n",
              readFile(record));

    // A file that cannot be read could name the mailbox.
    setFakePop3Scenario(corpusScenario());
    UniqueHandle held(CreateFileA(record.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    DWORD savedBudget = gHeldFileRetryMs;
    gHeldFileRetryMs = 50;
    EXPECT_EQ(0, receive(clearLine("vera@fake.test", "fakes.test")));
    gHeldFileRetryMs = savedBudget;
    EXPECT_FALSE(sawLogin());
    EXPECT_NE(std::string::npos, log().find("не предлагает STLS, а входил ли ящик vera@fake.test на него по "
                                            "защищенному соединению, узнать не удалось. Пароль не отправлен."));

    // Without the file nothing is recorded.
    held.reset();
    ASSERT_TRUE(DeleteFileA(record.c_str()));
    EXPECT_EQ(1, receive(ivan));
    EXPECT_TRUE(sawLogin());
    EXPECT_FALSE(fileExists(record));
}

// The poll, the IDLE connections and the mailbox page log in at the same
// time: every login they record is in the file afterwards.
TEST_F(Pop3Session, LoginsRecordedAtOnceByManyThreadsAreAllKept) {
    constexpr int kThreads = 6;
    constexpr int kEach = 8;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; i++) {
                std::string address = "u" + std::to_string(t) + "x" + std::to_string(i) + "@korvel.test";
                rememberTlsLogin(address.c_str(), "imap.korvel.test");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::string text = readFile(dir / "TlsBox.txt");
    EXPECT_EQ(static_cast<size_t>(kThreads * kEach), count(text, "\r\n")) << text;
}
