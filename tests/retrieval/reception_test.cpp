// Receptions against the session's dovecot server and its scripted server:
// the header blocks, the identifiers, deletions, and faults of the server.
#include "pop3_session_fixture.h"

TEST_F(Pop3Session, FirstRunTakesEveryMailSecondRunNone) {
    DovecotMailbox box;
    box.addCorpus();
    std::string line = "Работа;" + box.user() + ";" + box.password() + ";pop3.alpha.test;110";
    ASSERT_EQ(1, receive(line));

    std::vector<Block> got = blocks();
    ASSERT_EQ(corpusMailNames().size(), got.size());
    for (const Block& b : got) {
        EXPECT_EQ("Работа", b.alias);
        EXPECT_EQ(box.user(), b.address);
    }
    // Identifiers by their rules: brackets and ";" of a Message-ID; a
    // reception trace (the second one: one found after a line feed comes
    // before one on the first line); a Date on the first line.
    EXPECT_EQ("20261207101500.4711@mail.example.ru", got[0].id);
    EXPECT_EQ(" from mx1.relay6.example.ru (mx1.relay6.example.ru [10.6.1.7])__\tby mx2.mail.exa",
              got[5].id.substr(0, 80));
    EXPECT_EQ(127u, got[5].id.size());
    EXPECT_EQ(" Wed, 2 Dec 2026 09:00:00 +0300", got[6].id);
    EXPECT_EQ("semi_colon.10@example.ru", got[9].id);
    // The header text as the server sent it, the 32 KB one whole.
    EXPECT_EQ(0u, got[0].header.find("Received: from mx0.relay1"));
    EXPECT_GT(got[8].header.size(), 32768u);
    EXPECT_NE(std::string::npos, got[8].header.find("Message-ID: <long.header.9@example.ru>"));
    EXPECT_EQ(corpusMail(corpusMailNames()[3]).substr(0, 60), got[3].header.substr(0, 60));
    EXPECT_EQ(got.size(), seen().size());

    std::string text = log();
    EXPECT_EQ(std::string::npos, text.find("В заголовке письма не обнаружен идентификатор"));
    EXPECT_NE(std::string::npos, text.find("Соединение с сервером установлено"));
    EXPECT_NE(std::string::npos, text.find("PASS ********"));
    EXPECT_EQ(std::string::npos, text.find(box.password()));
    EXPECT_FALSE(gRetrieval.walkIncomplete);

    // Second run: every identifier is known.
    std::vector<MailId> known = gRetrieval.seenIds();
    gRetrieval.clear();
    gRetrieval.setKnownIds(known);
    clearHeaderFile();
    ASSERT_EQ(1, receive(line));
    EXPECT_TRUE(blocks().empty());
    EXPECT_EQ(known.size(), seen().size());
    EXPECT_EQ(known.size(), count(log(), "имеется в БД. Загрузка прервана."));
}

TEST_F(Pop3Session, MarkedMailIsDeletedOnTheServerAfterQuit) {
    DovecotMailbox box;
    box.addCorpus();
    size_t before = box.messageCount();
    setDeletionList(deletionRecord("a1b2c3d4@smtp.example.com") + deletionRecord("not-on-the-server"));
    gRetrieval.deletionListLoaded = true;
    ASSERT_EQ(1, receive(";" + box.user() + ";" + box.password() + ";127.0.0.1;110"));

    EXPECT_EQ(before - 1, box.messageCount());
    std::vector<MailEntry> left = gRetrieval.remainingDeletions();
    ASSERT_EQ(1u, left.size());
    EXPECT_STREQ("not-on-the-server", left[0].identity);
    // The deleted mail gets no block and is not among the identifiers seen.
    EXPECT_EQ(before - 1, blocks().size());
    for (const std::string& id : seen()) {
        EXPECT_NE("a1b2c3d4@smtp.example.com", id);
    }
    EXPECT_NE(std::string::npos, log().find("Письмо с ID=a1b2c3d4@smtp.example.com удалено с сервера."));
    // An empty alias is replaced by the address.
    EXPECT_EQ(box.user(), blocks()[0].alias);
}

TEST_F(Pop3Session, AccountLineWithoutServer) {
    // No extra field: neither server nor port.
    ASSERT_EQ(0, receive(";ivan@alpha.test;secret;"));
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Невозможно прочесть порт из файла MailBox.txt. Заменяем его на 110"));
    EXPECT_NE(std::string::npos, text.find("Невозможно прочесть имя сервера из файла MailBox.txt."));
    EXPECT_EQ(std::string::npos, text.find("Соединение с сервером установлено"));
}

TEST_F(Pop3Session, RepliesInAnyPiecesGiveTheSameBlocks) {
    setFakePop3Scenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeLine()));
    std::string whole = readFile(dir / "MailTmp.txt");
    ASSERT_EQ(4u, blocks().size());

    for (const char* variant : {"\"splitBytes\": true", "\"oneSegment\": true"}) {
        SCOPED_TRACE(variant);
        clearHeaderFile();
        gRetrieval.clear();
        setFakePop3Scenario(corpusScenario(variant));
        ASSERT_EQ(1, receive(fakeLine()));
        EXPECT_EQ(whole, readFile(dir / "MailTmp.txt"));
    }
}

TEST_F(Pop3Session, NegativeAndMalformedReplies) {
    setFakePop3Scenario(
        corpusScenario("\"replies\": {\"LIST 1\": \"-ERR no size\\r\\n\", \"TOP 2 0\": \"-ERR no header\\r\\n\","
                       " \"LIST 3\": \"garbage without status\\r\\n\"}"));
    ASSERT_EQ(1, receive(fakeLine()));
    std::vector<Block> got = blocks();
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ("0 байт", got[0].size);
    EXPECT_EQ("0 байт", got[1].size); // message 3
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("-ERR no size"));
    EXPECT_NE(std::string::npos, text.find("Отрицательный ответ Сервера на запрос заголовка письма:"));
    EXPECT_NE(std::string::npos, text.find("garbage without status"));
    // Message 2 was not read: its identifier is not known to be gone.
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_EQ("QUIT", fakePop3Transcript().back());
}

TEST_F(Pop3Session, StatWithoutDigitsEndsWithoutQuit) {
    setFakePop3Scenario(corpusScenario("\"replies\": {\"STAT\": \"+OK\\r\\n\"}"));
    EXPECT_EQ(0, receive(fakeLine()));
    EXPECT_TRUE(blocks().empty());
    std::vector<std::string> commands = fakePop3Transcript();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ("STAT", commands.back());

    setFakePop3Scenario(corpusScenario("\"replies\": {\"STAT\": \"+OK 0 0\\r\\n\"}"));
    EXPECT_EQ(1, receive(fakeLine()));
    EXPECT_EQ("STAT", fakePop3Transcript().back()); // an empty mailbox is left without QUIT
    EXPECT_NE(std::string::npos, log().find("Psevdo:Фейк\r\n"));
}

TEST_F(Pop3Session, ConnectionDroppedInTheMiddleOfAHeader) {
    setFakePop3Scenario(corpusScenario("\"dropOn\": {\"TOP 2 0\": 300}"));
    ASSERT_EQ(1, receive(fakeLine()));
    std::vector<Block> got = blocks();
    ASSERT_EQ(1u, got.size()); // only message 1; nothing of the broken header
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Ошибка при приеме заголовка письма:"));
    // Every remaining message logs its own failure: its LIST cannot go out,
    // or (when the reset has not arrived yet) its reply cannot be read.
    EXPECT_TRUE(text.find("Ошибка при прочтении размера письма:") != std::string::npos ||
                text.find("Ошибка при приеме размера письма:") != std::string::npos);
    EXPECT_TRUE(gRetrieval.walkIncomplete);
}

TEST_F(Pop3Session, SilentServerEndsWithALoggedFailure) {
    shortTimeouts();
    setFakePop3Scenario(corpusScenario("\"silentOn\": \"TOP 1 0\""));
    DWORD start = GetTickCount();
    ASSERT_EQ(1, receive(fakeLine()));
    EXPECT_LT(GetTickCount() - start, 20000u);
    EXPECT_NE(std::string::npos, log().find("Сервер не выдал заголовок письма. Ошибка: 10060"));
    EXPECT_TRUE(blocks().empty());

    setFakePop3Scenario("{\"silentOn\": \"greeting\"}");
    std::string result;
    gNetTimeouts.receiveMs = 500;
    EXPECT_EQ(0, test("ivan@fake.test;x", result));
    EXPECT_EQ("Ошибка! Прерывание связи.", result);
    EXPECT_NE(std::string::npos, log().find("При ответе сервера произошла ошибка: 10060"));
}

TEST_F(Pop3Session, HugeHeaderIsKeptUpToTheLimitAndTheSessionGoesOn) {
    setFakePop3Scenario(corpusScenario("\"hugeHeader\": 3000000"));
    ASSERT_EQ(1, receive(fakeLine()));
    std::vector<Block> got = blocks();
    ASSERT_EQ(4u, got.size());
    // Its Message-ID stands on the first line.
    EXPECT_EQ("huge@fake.test", got[0].id);
    EXPECT_LE(got[0].header.size(), kHeaderKeepLimit + 6);
    EXPECT_EQ("\r\n\r\n.\r\n", got[0].header.substr(got[0].header.size() - 7));
    EXPECT_NE(std::string::npos, log().find("сохранено его начало"));
    EXPECT_FALSE(gRetrieval.walkIncomplete);
}

TEST_F(Pop3Session, DeletionsWithoutAConfirmedQuitStay) {
    // DELE answered, then the connection breaks before QUIT: the server
    // keeps the mail, so the record must stay for the next run.
    setDeletionList(deletionRecord("20261207101500.4711@mail.example.ru"));
    gRetrieval.deletionListLoaded = true;
    setFakePop3Scenario(corpusScenario("\"dropOn\": {\"LIST 2\": 0}"));
    ASSERT_EQ(1, receive(fakeLine()));
    EXPECT_EQ(1u, gRetrieval.remainingDeletionCount());
    EXPECT_TRUE(fakePop3Deleted().empty());

    // QUIT sent but its answer lost: the server may or may not have deleted
    // the mail; the record stays (a record of a mail already gone is
    // harmless, a mail that stays on the server must not lose its record).
    gRetrieval.clear();
    setDeletionList(deletionRecord("20261207101500.4711@mail.example.ru"));
    gRetrieval.deletionListLoaded = true;
    setFakePop3Scenario(corpusScenario("\"dropOn\": {\"QUIT\": 0}"));
    ASSERT_EQ(1, receive(fakeLine()));
    EXPECT_EQ(1u, gRetrieval.remainingDeletionCount());

    // A negative DELE reply keeps it too.
    gRetrieval.clear();
    setDeletionList(deletionRecord("20261207101500.4711@mail.example.ru"));
    gRetrieval.deletionListLoaded = true;
    setFakePop3Scenario(corpusScenario("\"replies\": {\"DELE 1\": \"-ERR locked\\r\\n\"}"));
    ASSERT_EQ(1, receive(fakeLine()));
    EXPECT_EQ(1u, gRetrieval.remainingDeletionCount());
    EXPECT_NE(std::string::npos, log().find("Письмо с ID=20261207101500.4711@mail.example.ru не удалено с сервера!"));

    // Confirmed: gone.
    gRetrieval.clear();
    setDeletionList(deletionRecord("20261207101500.4711@mail.example.ru"));
    gRetrieval.deletionListLoaded = true;
    setFakePop3Scenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeLine()));
    EXPECT_EQ(0u, gRetrieval.remainingDeletionCount());
    ASSERT_EQ(1u, fakePop3Deleted().size());
    EXPECT_EQ("1", fakePop3Deleted()[0]);
}

// A silent server that does not notice the client's shutdown keeps no
// stopped session waiting: the stop wakes the blocked receive itself.
TEST_F(Pop3Session, AStopWakesASessionWhoseServerIgnoresTheShutdown) {
    EXPECT_LT(stopReceptionAtTheThirdMessage(fakeLine(), headerFile.get(), true), 2000u);
    EXPECT_EQ(2u, blocks().size());
    EXPECT_NE(std::string::npos, log().find("Приём почты прерван"));
}

TEST_F(Pop3Session, ASessionCanBeStoppedFromAnotherThread) {
    EXPECT_LT(stopReceptionAtTheThirdMessage(fakeLine(), headerFile.get()), 3000u);
    // Two whole blocks, nothing of the third.
    std::vector<Block> got = blocks();
    EXPECT_EQ(2u, got.size());
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_NE(std::string::npos, log().find("Приём почты прерван"));
}
