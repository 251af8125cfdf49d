// Whole retrieval runs over MailBox.txt against the test session's servers:
// the files a run reads and leaves behind.
#include "core/agent_state.h"
#include "base/event_log.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/pop3_session.h"
#include "retrieval/retrieval_run.h"
#include "retrieval/retrieval_state.h"
#include "store/deletion_file.h"
#include "store/line_reader.h"
#include "store/mail_line.h"

#include "pop3_fixtures.h"
#include "pop3_session_fixture.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

std::vector<MailRecord> readRecords(const std::string& path) {
    std::string text = readFile(path);
    std::vector<MailRecord> records;
    LineReader lines(text.data(), text.size());
    const char* line = nullptr;
    size_t length = 0;
    while (lines.next(line, length)) {
        MailRecord r;
        parseMailLine(line, length, r);
        records.push_back(r);
    }
    return records;
}

std::string mailboxLine(char state, const std::string& alias, const DovecotMailbox& box) {
    return std::string(1, state) + ";" + alias + ";" + box.user() + ";" + box.password() + ";pop3.alpha.test;110\r\n";
}

std::string deletionLine(const char* number, const char* identity) {
    return std::string(number) + ";0;Работа;ivan@alpha.test;1.0 Кб;" + identity + ";a@b;1765090000;;Тема\r\n";
}

class RetrievalRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dovecotFolder().empty()) << "run under tools/test.sh (POP3 servers)";
        copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, dir.path().c_str());
        ASSERT_EQ(0u, openEventLog(path("MAInLog.txt").c_str()));
        gAgent.pollMode = 1;
        gAgent.highestMailNumber = 100;
        gAgent.runNewMailCount = 0;
        gRetrieval.clear();
        resetPop3Cancel();
        saved = gNetTimeouts;
    }
    void TearDown() override {
        closeEventLog("end");
        gNetTimeouts = saved;
        gSocketStartup = WSAStartup;
    }
    std::string path(const char* name) const { return dir / name; }
    std::string log() const { return readFile(path("MAInLog.txt")); }
    std::vector<std::string> idFile() const { return splitLines(readFile(path("IdMail.txt"))); }

    TempFolder dir;
    NetTimeouts saved;
};

std::vector<std::string> corpusWithout(const char* name) {
    std::vector<std::string> names;
    for (const std::string& n : corpusMailNames()) {
        if (n != name) {
            names.push_back(n);
        }
    }
    return names;
}

} // namespace

TEST_F(RetrievalRun, FirstRunAcceptsEveryMailSecondRunNone) {
    DovecotMailbox box;
    // The corpus less its date-only mail.
    std::vector<std::string> names = corpusWithout("07-date-only.eml");
    for (const std::string& name : names) {
        box.addMessage(corpusMail(name));
    }
    const size_t count = names.size();
    const std::string last = std::to_string(100 + count);
    ASSERT_TRUE(writeFile(path("MailBox.txt"), mailboxLine('A', "Работа", box)));

    retrievalRun();
    std::vector<MailRecord> got = readRecords(path("GetMail.txt"));
    ASSERT_EQ(count, got.size());
    EXPECT_EQ(static_cast<int>(count), gAgent.runNewMailCount);
    EXPECT_STREQ("101", got[0].number);
    EXPECT_EQ(last, got[count - 1].number);
    EXPECT_STREQ("Работа", got[0].pseudonym);
    EXPECT_STREQ(box.user().c_str(), got[0].address);
    EXPECT_STREQ("20261207101500.4711@mail.example.ru", got[0].identity);
    EXPECT_EQ(count, idFile().size());
    EXPECT_FALSE(fileExists(path("DeleteMail.txt")));
    std::string text = log();
    // First run: no identifier file yet.
    EXPECT_NE(std::string::npos, text.find("Затрудняюсь открыть файл " + path("IdMail.txt")));
    EXPECT_NE(std::string::npos, text.find("Писем к удалению не было"));
    EXPECT_NE(std::string::npos, text.find("Обработка заголовков заверешена. Принято писем " + std::to_string(count)));

    std::string firstIds = readFile(path("IdMail.txt"));
    retrievalRun();
    EXPECT_EQ(count, readRecords(path("GetMail.txt")).size()); // nothing appended
    EXPECT_EQ(0, gAgent.runNewMailCount);
    EXPECT_EQ(firstIds, readFile(path("IdMail.txt")));
}

TEST_F(RetrievalRun, SendersAndSubjectsInUkrainianAndIsoCyrillicCharsets) {
    DovecotMailbox box;
    box.addMessage(corpusMail("13-koi8u-subject.eml"));
    box.addMessage(corpusMail("14-iso-8859-5-subject.eml"));
    ASSERT_TRUE(writeFile(path("MailBox.txt"), mailboxLine('A', "Работа", box)));
    retrievalRun();
    std::vector<MailRecord> got = readRecords(path("GetMail.txt"));
    ASSERT_EQ(2u, got.size());
    EXPECT_STREQ("Олеся Коваль", got[0].sender);
    EXPECT_STREQ("Звіт: їдальня, ґанок і подвір'я", got[0].subject);
    EXPECT_STREQ("Дмитрий Орлов", got[1].sender);
    EXPECT_STREQ("Счёт за декабрь", got[1].subject);
}

TEST_F(RetrievalRun, MailThatCouldNotBeRecordedIsOfferedAgain) {
    DovecotMailbox box;
    std::vector<std::string> names = corpusMailNames();
    box.addMessage(corpusMail(names[0]));
    box.addMessage(corpusMail(names[1]));
    ASSERT_TRUE(writeFile(path("MailBox.txt"), mailboxLine('A', "Работа", box)));
    ASSERT_TRUE(writeFile(path("GetMail.txt"), ""));
    {
        // Another program holds GetMail.txt: the records cannot be written.
        HANDLE held = CreateFileA(path("GetMail.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        retrievalRun();
        CloseHandle(held);
    }
    EXPECT_FALSE(fileExists(path("IdMail.txt")));
    EXPECT_NE(std::string::npos, log().find("Новые идентификаторы писем не сохранены")) << log();

    retrievalRun();
    EXPECT_EQ(2u, readRecords(path("GetMail.txt")).size());
    EXPECT_EQ(2u, idFile().size());
}

TEST_F(RetrievalRun, MarkedMailIsDeletedAndAMissingOneWrittenBackUnchanged) {
    DovecotMailbox box;
    box.addCorpus();
    size_t before = box.messageCount();
    ASSERT_TRUE(writeFile(path("MailBox.txt"), mailboxLine('A', "", box)));
    std::string gone = deletionLine("57", "no.longer@on.the.server");
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), deletionLine("40", "a1b2c3d4@smtp.example.com") + gone));

    retrievalRun();
    EXPECT_EQ(before - 1, box.messageCount()); // DELE took effect with QUIT
    EXPECT_EQ(gone, readFile(path("DeleteMail.txt")));
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Загружено писем к удалению 2"));
    EXPECT_NE(std::string::npos, text.find("Остались не удаленными 1 писем. Скинем их обратно в файл "));

    // Run after run the record stays as it is, the file does not grow.
    retrievalRun();
    EXPECT_EQ(gone, readFile(path("DeleteMail.txt")));
}

TEST_F(RetrievalRun, AllMarkedMailDeletedRemovesTheFile) {
    DovecotMailbox box;
    box.addCorpus();
    ASSERT_TRUE(writeFile(path("MailBox.txt"), mailboxLine('A', "Работа", box)));
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), deletionLine("40", "a1b2c3d4@smtp.example.com")));
    retrievalRun();
    EXPECT_FALSE(fileExists(path("DeleteMail.txt")));
    EXPECT_NE(std::string::npos, log().find("Удаляем файл писем к удалению "));
}

TEST_F(RetrievalRun, TinyDeletionFileIsLeftAlone) {
    DovecotMailbox box;
    ASSERT_TRUE(writeFile(path("MailBox.txt"), mailboxLine('A', "Работа", box)));
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), "1;0;a;b\r\n")); // 9 bytes
    retrievalRun();
    EXPECT_EQ("1;0;a;b\r\n", readFile(path("DeleteMail.txt")));
    EXPECT_NE(std::string::npos, log().find("Писем к удалению не было"));
}

TEST_F(RetrievalRun, MailboxesInFileOrderAndAPausedOneSkipped) {
    DovecotMailbox first, paused, second;
    std::vector<std::string> names = corpusMailNames();
    first.addMessage(corpusMail(names[0]));
    first.addMessage(corpusMail(names[1]));
    paused.addMessage(corpusMail(names[2]));
    second.addMessage(corpusMail(names[3]));
    ASSERT_TRUE(writeFile(path("MailBox.txt"), mailboxLine('A', "Первый", first) + mailboxLine('P', "Пауза", paused) +
                                                   mailboxLine('X', "Второй", second)));
    retrievalRun();
    std::vector<MailRecord> got = readRecords(path("GetMail.txt"));
    ASSERT_EQ(3u, got.size());
    EXPECT_STREQ("Первый", got[0].pseudonym);
    EXPECT_STREQ("Первый", got[1].pseudonym);
    EXPECT_STREQ("Второй", got[2].pseudonym); // any state but "P" is polled
    std::vector<std::string> ids = idFile();
    ASSERT_EQ(3u, ids.size());
    EXPECT_EQ("20261207101500.4711@mail.example.ru", ids[0]);
    EXPECT_EQ("lower.case.4@example.net", ids[2]);
}

TEST_F(RetrievalRun, AFailingMailboxKeepsItsKnownIdentifiers) {
    DovecotMailbox good, flaky;
    std::vector<std::string> names = corpusMailNames();
    good.addMessage(corpusMail(names[0]));
    flaky.addMessage(corpusMail(names[1]));
    flaky.addMessage(corpusMail(names[2]));
    std::string lines = mailboxLine('A', "Хороший", good) + mailboxLine('A', "Сбойный", flaky);
    ASSERT_TRUE(writeFile(path("MailBox.txt"), lines));
    retrievalRun();
    ASSERT_EQ(3u, idFile().size());

    // The second mailbox refuses the login this time: its mails must not
    // come back as new when it answers again.
    std::string broken =
        mailboxLine('A', "Хороший", good) + "A;Сбойный;" + flaky.user() + ";wrong;pop3.alpha.test;110\r\n";
    ASSERT_TRUE(writeFile(path("MailBox.txt"), broken));
    retrievalRun();
    EXPECT_EQ(3u, idFile().size());

    ASSERT_TRUE(writeFile(path("MailBox.txt"), lines));
    retrievalRun();
    EXPECT_EQ(3u, readRecords(path("GetMail.txt")).size()); // still the first run's three
    EXPECT_EQ(0, gAgent.runNewMailCount);
}

TEST_F(RetrievalRun, OnlyTheFailingMailboxKeepsItsIdentifiers) {
    DovecotMailbox good, flaky;
    std::vector<std::string> names = corpusMailNames();
    good.addMessage(corpusMail(names[0]));
    good.addMessage(corpusMail(names[3]));
    flaky.addMessage(corpusMail(names[1]));
    flaky.addMessage(corpusMail(names[2]));
    std::string lines = mailboxLine('A', "Хороший", good) + mailboxLine('A', "Сбойный", flaky);
    ASSERT_TRUE(writeFile(path("MailBox.txt"), lines));
    retrievalRun();
    std::vector<std::string> first = idFile();
    ASSERT_EQ(4u, first.size());

    // The first mailbox's mail 1 is deleted elsewhere while the second one
    // refuses the login: the second keeps both its identifiers, the first
    // loses the one it no longer reports.
    good.removeMessage(0);
    ASSERT_TRUE(writeFile(path("MailBox.txt"), mailboxLine('A', "Хороший", good) + "A;Сбойный;" + flaky.user() +
                                                   ";wrong;pop3.alpha.test;110\r\n"));
    retrievalRun();
    EXPECT_EQ((std::vector<std::string>{first[1], first[2], first[3]}), idFile());

    ASSERT_TRUE(writeFile(path("MailBox.txt"), lines));
    retrievalRun();
    EXPECT_EQ(0, gAgent.runNewMailCount);
}

// The poll by unique ids against the walk of LIST and TOP for every message:
// the same mailbox history gives the same files and the same server.
TEST_F(RetrievalRun, PollByUniqueIdsLeavesWhatTheWalkLeaves) {
    struct Outcome {
        std::vector<std::string> files; // GetMail.txt, IdMail.txt, DeleteMail.txt after each run
        size_t messagesLeft = 0;
    };
    std::vector<std::string> names = corpusMailNames();
    auto play = [&](bool walk) {
        Outcome out;
        TempFolder folder;
        copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, folder.path().c_str());
        gAgent.highestMailNumber = 100;
        gPop3ForceWalk = walk;
        DovecotMailbox box;
        for (size_t i = 0; i + 1 < names.size(); i++) {
            box.addMessage(corpusMail(names[i]));
        }
        auto snapshot = [&]() {
            std::string files;
            for (const char* name : {"GetMail.txt", "IdMail.txt", "DeleteMail.txt"}) {
                std::string text = readFile(folder / name);
                // The two mailboxes differ in their user names only.
                for (size_t at = text.find(box.user()); at != std::string::npos; at = text.find(box.user(), at)) {
                    text.replace(at, box.user().size(), "USER");
                }
                files += std::string(name) + ":\n" + text;
            }
            out.files.push_back(files);
        };
        writeFile(folder / "MailBox.txt", mailboxLine('A', "Работа", box));
        retrievalRun();
        snapshot();
        // A mail marked for deletion, one marked that is gone, one deleted
        // elsewhere, one new.
        writeFile(folder / "DeleteMail.txt",
                  deletionLine("40", "a1b2c3d4@smtp.example.com") + deletionLine("57", "no.longer@on.the.server"));
        box.removeMessage(4);
        box.addMessage(corpusMail(names.back()));
        retrievalRun();
        snapshot();
        retrievalRun(); // nothing new
        snapshot();
        out.messagesLeft = box.messageCount();
        gPop3ForceWalk = false;
        copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, dir.path().c_str());
        return out;
    };
    Outcome walked = play(true);
    size_t topsBefore = count(log(), "TOP ");
    Outcome polled = play(false);
    // Headers read by unique ids: every mail once, the new one once more.
    EXPECT_EQ(names.size(), count(log(), "TOP ") - topsBefore);
    ASSERT_EQ(3u, polled.files.size());
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(walked.files[i], polled.files[i]) << "after run " << i + 1;
    }
    EXPECT_EQ(names.size() - 2, polled.messagesLeft);
    EXPECT_EQ(walked.messagesLeft, polled.messagesLeft);
}

namespace {

struct AppendArgs {
    std::string path;
    std::string line;
};

// The viewer deleting a mail while the run talks to a slow server: once the
// session has begun, the run has read DeleteMail.txt.
DWORD WINAPI appendDuringRun(void* param) {
    auto* args = static_cast<AppendArgs*>(param);
    if (!waitForCommand("CAPA")) {
        return 2;
    }
    ExclusiveLock lock(deletionFileLock());
    HANDLE f = CreateFileA(args->path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    WriteFile(f, args->line.data(), static_cast<DWORD>(args->line.size()), &written, nullptr);
    CloseHandle(f);
    return 0;
}

} // namespace

TEST_F(RetrievalRun, RecordsAddedToTheDeletionFileDuringARunAreKept) {
    std::vector<std::string> names = corpusMailNames();
    names.resize(3);
    setFakePop3Scenario("{\"messages\": " + corpusJsonList(names) + ", \"delayMs\": 100}");
    ASSERT_TRUE(writeFile(path("MailBox.txt"), "A;Фейк;ivan@fake.test;secret;fake.test;110\r\n"));
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), deletionLine("40", "20261207101500.4711@mail.example.ru")));

    AppendArgs args{path("DeleteMail.txt"), deletionLine("41", "added.during@the.run")};
    HANDLE thread = CreateThread(nullptr, 0, appendDuringRun, &args, 0, nullptr);
    retrievalRun();
    WaitForSingleObject(thread, 15000);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    ASSERT_EQ(0u, code);

    // The first record was carried out, the one added meanwhile waits.
    EXPECT_EQ(args.line, readFile(path("DeleteMail.txt")));
}

TEST_F(RetrievalRun, NoMailboxFileTouchesNothing) {
    retrievalRun();
    EXPECT_FALSE(fileExists(path("MailTmp.txt")));
    EXPECT_FALSE(fileExists(path("IdMail.txt")));
    EXPECT_NE(std::string::npos, log().find("Обработка заголовков заверешена. Принято писем 0"));
}

TEST_F(RetrievalRun, TestModeFindsTheServerAndTouchesNoFile) {
    DovecotMailbox box;
    gAgent.pollMode = 0;
    gAgent.testFlag = 1;
    formatText(gAgent.testParams, sizeof gAgent.testParams, "%s@alpha.test;%s", box.user().c_str(),
               box.password().c_str());
    // The clear server: until the user agrees, the test stops before USER.
    retrievalRun();
    EXPECT_EQ(kTestWantsClearText, gAgent.testFlag);
    EXPECT_STREQ("pop3.alpha.test;110", gAgent.testParams);
    EXPECT_NE(std::string::npos, log().find("Тестирование остановлено перед входом (pop3.alpha.test;110)"));
    EXPECT_EQ(std::string::npos, log().find("USER "));

    gAgent.testClearText = true;
    formatText(gAgent.testParams, sizeof gAgent.testParams, "%s@alpha.test;%s", box.user().c_str(),
               box.password().c_str());
    retrievalRun();
    EXPECT_EQ(kTestPassed, gAgent.testFlag);
    EXPECT_STREQ("pop3.alpha.test;110", gAgent.testParams);
    EXPECT_FALSE(fileExists(path("MailTmp.txt")));
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Успех тестирования при параметрах - pop3.alpha.test;110"));
    EXPECT_EQ(std::string::npos, text.find(box.password()));

    formatText(gAgent.testParams, sizeof gAgent.testParams, "%s@alpha.test;wrong", box.user().c_str());
    retrievalRun();
    EXPECT_EQ(0, gAgent.testFlag);
    EXPECT_STREQ("Ошибка! Адрес и/или пароль неопознаны.", gAgent.testParams);
    EXPECT_NE(std::string::npos, log().find("Провал тестирования. Ошибка - Ошибка! Адрес и/или пароль неопознаны."));
    gAgent.testClearText = false;
}

TEST_F(RetrievalRun, MailsWithoutAnIdentifyingHeaderComeOnceAndCanBeDeleted) {
    DovecotMailbox box;
    // Two mails told apart only by the Message-ID on their first line, and
    // two that nothing identifies (one has an empty Date).
    const char* mails[] = {
        "Message-ID: <first.line.1@example.ru>\r\nDate: Mon, 7 Dec 2026 10:00:00 +0300\r\nSubject: one\r\n\r\nb\r\n",
        "Message-ID: <first.line.2@example.ru>\r\nDate: Mon, 7 Dec 2026 10:00:00 +0300\r\nSubject: two\r\n\r\nb\r\n",
        "From: a@example.ru\r\nSubject: three\r\n\r\nb\r\n",
        "From: a@example.ru\r\nDate:\r\nSubject: four\r\n\r\nb\r\n",
    };
    for (const char* mail : mails) {
        box.addMessage(mail);
    }
    ASSERT_TRUE(writeFile(path("MailBox.txt"), mailboxLine('A', "Работа", box)));

    retrievalRun();
    std::vector<MailRecord> got = readRecords(path("GetMail.txt"));
    ASSERT_EQ(4u, got.size());
    EXPECT_STREQ("first.line.1@example.ru", got[0].identity);
    EXPECT_STREQ("first.line.2@example.ru", got[1].identity);
    EXPECT_EQ(0, strncmp(got[2].identity, "<header-fnv1a64-", 16)) << got[2].identity;
    EXPECT_EQ(0, strncmp(got[3].identity, "<header-fnv1a64-", 16)) << got[3].identity;
    EXPECT_STRNE(got[2].identity, got[3].identity);
    std::vector<std::string> ids = idFile();
    ASSERT_EQ(4u, ids.size());
    EXPECT_EQ(got[2].identity, ids[2]);

    retrievalRun();
    EXPECT_EQ(0, gAgent.runNewMailCount);

    // Deleted in the viewer, gone from the server at the next poll.
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), deletionLine("103", got[2].identity)));
    retrievalRun();
    EXPECT_EQ(3u, box.messageCount());
    EXPECT_FALSE(fileExists(path("DeleteMail.txt")));
    EXPECT_EQ(0, gAgent.runNewMailCount);
    EXPECT_EQ(3u, idFile().size());
}

namespace {

int WSAAPI socketLibraryMissing(WORD, LPWSADATA) {
    return WSASYSNOTREADY;
}

} // namespace

TEST_F(RetrievalRun, ASocketLibraryThatDoesNotStartKeepsTheKnownIdentifiers) {
    ASSERT_TRUE(writeFile(path("MailBox.txt"), "A;Работа;ivan@alpha.test;secret;pop3.alpha.test;110\r\n"));
    ASSERT_TRUE(writeFile(path("IdMail.txt"), "known.1@example.ru\r\nknown.2@example.ru\r\n"));
    gSocketStartup = socketLibraryMissing;
    retrievalRun();
    EXPECT_EQ("known.1@example.ru\r\nknown.2@example.ru\r\n", readFile(path("IdMail.txt")));
    EXPECT_NE(std::string::npos, log().find("Ошибка! Невозможно подключиться к Интернет"));
}

namespace {

DWORD WINAPI retrievalThread(void*) {
    retrievalRun();
    return 0;
}

// A run on a thread of its own, so that one that does not end fails the test
// instead of holding it.
bool runEnds() {
    HANDLE thread = CreateThread(nullptr, 0, retrievalThread, nullptr, 0, nullptr);
    if (thread == nullptr) {
        return false;
    }
    bool ended = WaitForSingleObject(thread, 120000) == WAIT_OBJECT_0;
    if (!ended) {
        cancelPop3Session();
        WaitForSingleObject(thread, 30000);
        resetPop3Cancel();
    }
    CloseHandle(thread);
    return ended;
}

} // namespace

TEST_F(RetrievalRun, AServerThatNeverFinishesCostsOnlyItsMailboxAndOnlyThisRun) {
    // A login within 1.5 s, 0.3 s a message: the endless header is cut off
    // after 2.4 s.
    gNetTimeouts.sessionBaseMs = 1500;
    gNetTimeouts.sessionPerMessageMs = 300;
    gNetTimeouts.sessionPerMiBMs = 0;
    std::vector<std::string> names = corpusMailNames();
    std::string served = "{\"messages\": " + corpusJsonList({names[0], names[1], names[2]});
    DovecotMailbox box;
    box.addMessage(corpusMail(names[3]));
    ASSERT_TRUE(writeFile(path("MailBox.txt"),
                          "A;Фейк;ivan@fake.test;secret;fake.test;110\r\n" + mailboxLine('A', "Работа", box)));
    setFakePop3Scenario(served + "}");
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(4, gAgent.runNewMailCount);
    std::vector<std::string> known = idFile();
    ASSERT_EQ(4u, known.size());

    struct {
        const char* scenario;
        const char* logged;
    } endless[] = {
        {"\"streamOn\": \"TOP 2 0\"", "Ошибка при приеме заголовка письма: 10060"},
        {"\"streamOn\": \"greeting\"", "При ответе сервера произошла ошибка: 10040"},
    };
    size_t next = 4;
    for (auto e : endless) {
        SCOPED_TRACE(e.scenario);
        box.addMessage(corpusMail(names[next++]));
        setFakePop3Scenario(served + ", " + e.scenario + "}");
        ASSERT_TRUE(runEnds());
        // The other mailbox was read; the streaming one keeps its mails known.
        EXPECT_EQ(1, gAgent.runNewMailCount);
        EXPECT_NE(std::string::npos, log().find(e.logged));
        std::vector<std::string> ids = idFile();
        for (const std::string& id : known) {
            EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), id)) << id;
        }
    }
    EXPECT_NE(std::string::npos, log().find("Сеанс связи с сервером длится дольше отведенных 2 с: прием писем "
                                            "ящика ivan@fake.test прерван"));

    // The next poll goes as usual: nothing comes again.
    setFakePop3Scenario(served + "}");
    ASSERT_TRUE(runEnds());
    EXPECT_EQ(0, gAgent.runNewMailCount);
    EXPECT_EQ(6u, idFile().size());
}
