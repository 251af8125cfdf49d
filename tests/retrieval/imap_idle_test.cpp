// IDLE connections: a delivery announced by dovecot and the scripted server,
// the count kept through expunges, renewal, a server without IDLE, a wake
// that makes a connection prove itself, a stop, and the watchers of
// MailBox.txt with their reconnections.
#include "pop3_session_fixture.h"

#include "retrieval/imap_idle.h"
#include "retrieval/mail_watch.h"

#include "agent_process.h"
#include "imap_fixtures.h"

#include <atomic>
#include <thread>

namespace {

constexpr DWORD kEventWaitMs = 20000;

// Counts the announcements and signals each.
struct Announcements {
    std::atomic<int> count{0};
    UniqueHandle event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    MailArrived function() {
        return [this] {
            count++;
            SetEvent(event.get());
        };
    }
    bool wait() { return WaitForSingleObject(event.get(), kEventWaitMs) == WAIT_OBJECT_0; }
};

size_t linesStartingWith(const std::vector<std::string>& lines, const std::string& command) {
    size_t n = 0;
    for (const std::string& line : lines) {
        std::string rest = line.substr(line.find(' ') + 1);
        if (_strnicmp(rest.c_str(), command.c_str(), command.size()) == 0) {
            n++;
        }
    }
    return n;
}

// Waits until the scripted server has received the command times times.
bool waitForImapCommand(const std::string& command, size_t times = 1) {
    DWORD start = GetTickCount();
    while (linesStartingWith(fakeImapTranscript(), command) < times) {
        if (GetTickCount() - start > kEventWaitMs) {
            return false;
        }
        Sleep(20); // the transcript is looked at again until the command is in it
    }
    return true;
}

std::atomic<int> socketStarts{0};

int WSAAPI socketLibraryMissing(WORD, LPWSADATA) {
    socketStarts++;
    return WSASYSNOTREADY;
}

std::string fakeMailPath(size_t index) {
    return mailCorpusFolder() + corpusMailNames()[index];
}

class ImapIdle : public Pop3Session {
protected:
    void SetUp() override {
        Pop3Session::SetUp();
        savedTimings = gIdleTimings;
    }
    void TearDown() override {
        stop.request();
        if (thread.joinable()) {
            thread.join();
        }
        stopMailWatch(5000);
        gIdleTimings = savedTimings;
        Pop3Session::TearDown();
    }
    // One IDLE connection of the account line ("alias;address;password;
    // server;port") on a thread of its own.
    void idle(const std::string& line) {
        ASSERT_TRUE(readMailboxLine(("A;" + line).c_str(), login));
        thread = std::thread([this] {
            bool idled = false;
            end = idleOnMailbox(login, stop, wake.get(), announced.function(), idled);
            ended = true;
        });
    }
    bool waitForIdleCommands(size_t times) {
        DWORD start = GetTickCount();
        while (count(log(), " IDLE\r\n") < times) {
            if (GetTickCount() - start > kEventWaitMs) {
                return false;
            }
            Sleep(20); // the log is looked at again until the command is in it
        }
        return true;
    }
    IdleEnd stopAndWait() {
        stop.request();
        thread.join();
        return end;
    }

    IdleTimings savedTimings;
    MailboxLogin login;
    ConnectionStop stop;
    UniqueHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    Announcements announced;
    std::thread thread;
    std::atomic<IdleEnd> end{IdleEnd::Broken};
    std::atomic<bool> ended{false};
};

TEST_F(ImapIdle, DovecotAnnouncesADeliveryOverTlsAndOverStartTls) {
    for (const char* server : {"pop3.delta.test;993", "pop3.delta.test;143"}) {
        SCOPED_TRACE(server);
        DovecotMailbox box;
        box.addMessage(corpusMail(corpusMailNames()[0]));
        stop.reset();
        announced.count = 0;
        size_t idles = count(log(), " IDLE\r\n");
        idle("Работа;" + box.user() + ";" + box.password() + ";" + server);
        ASSERT_TRUE(waitForIdleCommands(idles + 1));
        box.addMessage(corpusMail(corpusMailNames()[1]));
        ASSERT_TRUE(announced.wait()) << log();
        EXPECT_EQ(1, announced.count.load());
        EXPECT_EQ(IdleEnd::Stopped, stopAndWait());
        EXPECT_NE(std::string::npos, log().find("Сервер сообщил о новом письме в ящике Работа"));
        EXPECT_NE(std::string::npos, log().find("Установлено защищенное соединение с сервером (TLS)"));
        EXPECT_EQ(std::string::npos, log().find(box.password()));
    }
}

// Another mail program deletes a mail, then one arrives: the count is back
// where it was, and still the arrival is announced (once).
TEST_F(ImapIdle, AnArrivalAfterAnExpungeIsAnnounced) {
    DovecotMailbox box;
    box.addMessage(corpusMail(corpusMailNames()[0]));
    box.addMessage(corpusMail(corpusMailNames()[1]));
    idle("Работа;" + box.user() + ";" + box.password() + ";pop3.alpha.test;143");
    ASSERT_TRUE(waitForIdleCommands(1));
    box.removeMessage(0);
    box.addMessage(corpusMail(corpusMailNames()[2]));
    ASSERT_TRUE(announced.wait());
    EXPECT_EQ(IdleEnd::Stopped, stopAndWait());
    EXPECT_EQ(1, announced.count.load());
}

TEST_F(ImapIdle, IdleIsRenewedAndStillAnnounces) {
    setFakeImapScenario(corpusScenario());
    gIdleTimings.renewMs = 300;
    idle("Фейк;ivan@fake.test;secret;fake.test;143");
    ASSERT_TRUE(waitForImapCommand("IDLE", 3));
    deliverToFakeImap(fakeMailPath(4));
    ASSERT_TRUE(announced.wait());
    EXPECT_EQ(IdleEnd::Stopped, stopAndWait());
    std::vector<std::string> transcript = fakeImapTranscript();
    EXPECT_GE(linesStartingWith(transcript, "DONE") + 1, 2u);
    EXPECT_EQ(1u, linesStartingWith(transcript, "LOGIN")); // one connection throughout
    EXPECT_EQ(1u, linesStartingWith(transcript, "EXAMINE INBOX"));
}

TEST_F(ImapIdle, AServerWithoutIdleIsLeftToTheTimer) {
    setFakeImapScenario(corpusScenario("\"noIdle\": true"));
    idle("Фейк;ivan@fake.test;secret;fake.test;143");
    thread.join();
    EXPECT_EQ(IdleEnd::NoIdle, end.load());
    std::vector<std::string> transcript = fakeImapTranscript();
    EXPECT_EQ(0u, linesStartingWith(transcript, "IDLE"));
    EXPECT_EQ(1u, linesStartingWith(transcript, "LOGOUT"));
    EXPECT_NE(std::string::npos,
              log().find("Сервер fake.test не предлагает IDLE: ящик Фейк проверяется по расписанию"));
}

// A server that ends each IDLE at once is not asked again in a busy loop,
// and one that refuses IDLE leaves the mailbox to the timer.
TEST_F(ImapIdle, AnIdleTheServerEndsAtOnceIsNotBegunAgain) {
    const struct {
        const char* reply;
        IdleEnd end;
    } cases[] = {{"{tag} OK IDLE done", IdleEnd::Broken}, {"{tag} BAD IDLE refused", IdleEnd::NoIdle}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        setFakeImapScenario(
            corpusScenario(std::string("\"replies\": {\"IDLE\": \"+ idling\\r\\n") + c.reply + "\\r\\n\"}"));
        idle("Фейк;ivan@fake.test;secret;fake.test;143");
        thread.join();
        EXPECT_EQ(c.end, end.load());
        EXPECT_EQ(1u, linesStartingWith(fakeImapTranscript(), "IDLE"));
    }
}

// The connection starts the socket library for itself: no poll may be
// running to have started it.
TEST_F(ImapIdle, TheConnectionStartsTheSocketLibrary) {
    socketStarts = 0;
    gSocketStartup = socketLibraryMissing;
    idle("Фейк;ivan@fake.test;secret;fake.test;143");
    thread.join();
    gSocketStartup = WSAStartup;
    EXPECT_EQ(1, socketStarts.load());
    EXPECT_EQ(IdleEnd::Broken, end.load());
    EXPECT_NE(std::string::npos, log().find("Ошибка! Невозможно подключиться к Интернет"));
}

// After a wake a live connection answers DONE and idles on; one whose
// server no longer answers is given up at once.
TEST_F(ImapIdle, AWakeMakesTheConnectionProveItLives) {
    setFakeImapScenario(corpusScenario());
    gIdleTimings.wakeCheckMs = 500;
    idle("Фейк;ivan@fake.test;secret;fakes.test;993");
    ASSERT_TRUE(waitForImapCommand("IDLE"));
    SetEvent(wake.get());
    ASSERT_TRUE(waitForImapCommand("IDLE", 2));
    EXPECT_EQ(1u, linesStartingWith(fakeImapTranscript(), "LOGIN"));
    EXPECT_EQ(IdleEnd::Stopped, stopAndWait());

    setFakeImapScenario(corpusScenario("\"silentOn\": \"DONE\""));
    stop.reset();
    idle("Фейк;ivan@fake.test;secret;fakes.test;993");
    ASSERT_TRUE(waitForImapCommand("IDLE"));
    SetEvent(wake.get());
    thread.join();
    EXPECT_EQ(IdleEnd::Woken, end.load());
}

// A stop ends a connection wherever it waits: in IDLE, and in a login the
// server never answers.
TEST_F(ImapIdle, AStopEndsTheConnectionAtOnce) {
    for (const char* silentOn : {"IDLE", "LOGIN"}) {
        SCOPED_TRACE(silentOn);
        setFakeImapScenario(corpusScenario(std::string("\"silentOn\": \"") + silentOn + "\""));
        stop.reset();
        ended = false;
        idle("Фейк;ivan@fake.test;secret;fakes.test;993");
        ASSERT_TRUE(waitForImapCommand(silentOn));
        stop.request();
        DWORD start = GetTickCount();
        while (!ended && GetTickCount() - start < kEventWaitMs) {
            Sleep(10); // looked at again until the thread says it ended
        }
        EXPECT_TRUE(ended.load());
        thread.join();
        EXPECT_EQ(IdleEnd::Stopped, end.load());
    }
}

// The watchers of MailBox.txt: active IMAP mailboxes only; a line kept keeps
// its connection; a closed connection is made again and announces.
TEST_F(ImapIdle, TheWatchFollowsMailBoxTxtAndReconnects) {
    setFakeImapScenario(corpusScenario("\"idleByeMs\": 300, \"idleByeOnce\": true"));
    gIdleTimings.firstPauseMs = 100;
    writeFile(dir / "MailBox.txt", "A;Фейк;ivan@fake.test;secret;fake.test;143\r\n"
                                   "P;Пауза;petr@fake.test;secret;fake.test;143\r\n"
                                   "A;Поп;ivan@fake.test;secret;fake.test;110\r\n");
    startMailWatch(announced.function());
    EXPECT_EQ(1u, mailWatchCount());
    ASSERT_TRUE(waitForImapCommand("IDLE", 2)); // the first one got a BYE
    EXPECT_NE(std::string::npos, log().find("Соединение IDLE с ящиком Фейк прервано. Новая попытка через 1 с"));
    deliverToFakeImap(fakeMailPath(4));
    ASSERT_TRUE(announced.wait());

    writeFile(dir / "MailBox.txt", "A;Фейк;ivan@fake.test;secret;fake.test;143\r\n"
                                   "A;Второй;olga@fake.test;secret;fakes.test;993\r\n");
    startMailWatch(announced.function());
    EXPECT_EQ(2u, mailWatchCount());
    ASSERT_TRUE(waitForImapCommand("IDLE", 3));
    EXPECT_EQ(3u, linesStartingWith(fakeImapTranscript(), "LOGIN")); // the first mailbox's stays
    EXPECT_TRUE(stopMailWatch(2000));
    EXPECT_EQ(0u, mailWatchCount());
}

// A server that cannot be reached waits out a long pause, unless the system
// wakes up or the network changes.
TEST_F(ImapIdle, AWakeCutsThePauseShort) {
    gIdleTimings.firstPauseMs = 10 * 60 * 1000;
    writeFile(dir / "MailBox.txt", "A;Нигде;ivan@fake.test;secret;fake.test;993\r\n");
    startMailWatch(announced.function());
    const std::string logPath = (dir / "MAInLog.txt").c_str();
    ASSERT_TRUE(waitForLogText(logPath, "Новая попытка через 600 с", kEventWaitMs));
    wakeMailWatch();
    DWORD start = GetTickCount();
    while (count(log(), "Ящик Нигде: соединение для уведомлений о новой почте (IDLE)") < 2 &&
           GetTickCount() - start < kEventWaitMs) {
        Sleep(20); // the log is looked at again until the second try is in it
    }
    EXPECT_EQ(2u, count(log(), "Ящик Нигде: соединение для уведомлений о новой почте (IDLE)"));
    EXPECT_TRUE(stopMailWatch(2000));
}

} // namespace
