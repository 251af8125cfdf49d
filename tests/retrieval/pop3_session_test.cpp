// POP3 sessions against the session's dovecot server and its scripted server.
#include "core/agent_state.h"
#include "base/event_log.h"
#include "base/text.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/pop3_session.h"
#include "retrieval/pop3_text.h"
#include "retrieval/retrieval_state.h"

#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

struct Block {
    std::string alias, address, size, id, header;
};

// Cuts a header file into its blocks: four lines, then the header text up to
// and including its terminator line.
std::vector<Block> readBlocks(const std::string& text) {
    std::vector<Block> blocks;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n.\r\n", pos);
        EXPECT_NE(std::string::npos, end) << "block without terminator at " << pos;
        if (end == std::string::npos) {
            break;
        }
        end += 5;
        std::string raw = text.substr(pos, end - pos);
        Block b;
        std::string* fields[] = {&b.alias, &b.address, &b.size, &b.id};
        const char* names[] = {"Psevdo:", "MailAddr:", "MailSize:", "MailIdent:"};
        size_t at = 0;
        for (int i = 0; i < 4; i++) {
            size_t lineEnd = raw.find("\r\n", at);
            std::string line = raw.substr(at, lineEnd - at);
            EXPECT_EQ(0u, line.find(names[i])) << line;
            *fields[i] = line.substr(strlen(names[i]));
            at = lineEnd + 2;
        }
        b.header = raw.substr(at);
        blocks.push_back(b);
        pos = end;
    }
    return blocks;
}

class Pop3Session : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dovecotFolder().empty()) << "run under tools/test.sh (POP3 servers)";
        copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, dir.path().c_str());
        ASSERT_EQ(0u, openEventLog((dir / "MAInLog.txt").c_str()));
        gRetrieval.clear();
        gRetrieval.headerFile = CreateFileA((dir / "MailTmp.txt").c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, gRetrieval.headerFile);
        savedTimeouts = gNetTimeouts;
        resetPop3Cancel();
    }
    void TearDown() override {
        CloseHandle(gRetrieval.headerFile);
        gRetrieval.headerFile = INVALID_HANDLE_VALUE;
        gRetrieval.clear();
        closeEventLog("end");
        gNetTimeouts = savedTimeouts;
        resetPop3Cancel();
    }

    int receive(const std::string& accountLine) {
        char buffer[2048];
        copyText(buffer, sizeof buffer, accountLine.c_str());
        return runPop3Session(kSessionReception, buffer, sizeof buffer);
    }
    int test(const std::string& params, std::string& result) {
        char buffer[520];
        copyText(buffer, sizeof buffer, params.c_str());
        int ok = runPop3Session(kSessionTest, buffer, sizeof buffer);
        result = buffer;
        return ok;
    }
    std::vector<Block> blocks() { return readBlocks(readFile(dir / "MailTmp.txt")); }
    std::string log() { return readFile(dir / "MAInLog.txt"); }
    std::vector<std::string> seen() {
        std::vector<std::string> ids;
        for (const MailId& id : gRetrieval.seenIds()) {
            ids.push_back(id.text);
        }
        return ids;
    }
    // Short time-outs for the scripted server's silences.
    void shortTimeouts() {
        gNetTimeouts.receiveMs = 700;
        gNetTimeouts.connectMs = 700;
    }

    TempFolder dir;
    NetTimeouts savedTimeouts;
};

// A DeleteMail.txt line of mail 57 with the identity.
std::string deletionRecord(const char* identity) {
    return std::string("57;0;;;;") + identity + ";;;;\r\n";
}

void setDeletionList(const std::string& lines) {
    gRetrieval.setDeletionList(lines.data(), lines.size());
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        n++;
    }
    return n;
}

} // namespace

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
    SetFilePointer(gRetrieval.headerFile, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(gRetrieval.headerFile);
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

TEST_F(Pop3Session, RefusedLoginAndEmptyMailbox) {
    DovecotMailbox box;
    ASSERT_EQ(0, receive("x;" + box.user() + ";wrong;127.0.0.1;110"));
    EXPECT_NE(std::string::npos, log().find("Сервер не опознал указанные адрес и/или пароль."));
    EXPECT_TRUE(gRetrieval.walkIncomplete);

    gRetrieval.walkIncomplete = false;
    ASSERT_EQ(1, receive("Пусто;" + box.user() + ";" + box.password() + ";127.0.0.1;110"));
    EXPECT_NE(std::string::npos, log().find("Psevdo:Пусто\r\n"));
    EXPECT_TRUE(blocks().empty());
    EXPECT_FALSE(gRetrieval.walkIncomplete);
}

TEST_F(Pop3Session, AccountLineWithoutServer) {
    ASSERT_EQ(0, receive("ivan@alpha.test;secret"));
    std::string text = log();
    // Read from the right, "secret" is the port and nothing is left for
    // the password after the server.
    EXPECT_NE(std::string::npos, text.find("Невозможно прочесть имя сервера из файла MailBox.txt."));
    EXPECT_EQ(std::string::npos, text.find("Соединение с сервером установлено"));
}

TEST_F(Pop3Session, TestModeGuessesTheServerName) {
    DovecotMailbox box;
    std::string result;
    // The dovecot server answers to these names (the test session's hosts):
    // the guess goes by the domain after "@".
    struct {
        const char* domain;
        const char* host;
    } cases[] = {{"alpha.test", "pop3.alpha.test"}, {"beta.test", "pop.beta.test"}, {"gamma.test", "gamma.test"}};
    for (auto c : cases) {
        SCOPED_TRACE(c.domain);
        std::string params = box.user() + "@" + c.domain;
        ASSERT_EQ(1, test(params + ";" + box.password(), result));
        EXPECT_EQ(std::string(c.host) + ";110", result);
    }
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Сервер с именем pop3.beta.test не найден!"));
    EXPECT_NE(std::string::npos, text.find("Сервер с именем pop.gamma.test не найден!"));
    EXPECT_NE(std::string::npos, text.find("Сервер с именем gamma.test обнаружен"));

    EXPECT_EQ(0, test(box.user() + "@alpha.test;wrong", result));
    EXPECT_EQ("Ошибка! Адрес и/или пароль неопознаны.", result);
    EXPECT_EQ(0, test("nobody@nowhere.test;x", result));
    EXPECT_EQ("Ошибка! Сервер не ответил.", result);
    EXPECT_EQ(0, test("no-at-sign;x", result));
    EXPECT_EQ("Ошибка! Сервер не ответил.", result);
    EXPECT_NE(std::string::npos, log().find("Ошибка! Затрудняюсь определить имя почтового сервера."));
}

namespace {

std::string fakeLine() {
    return "Фейк;ivan@fake.test;secret;fake.test;110";
}

std::string corpusScenario(const std::string& extra = "") {
    std::vector<std::string> names = corpusMailNames();
    names.resize(4);
    std::string json = "{\"messages\": " + corpusJsonList(names);
    if (!extra.empty()) {
        json += ", " + extra;
    }
    return json + "}";
}

} // namespace

TEST_F(Pop3Session, RepliesInAnyPiecesGiveTheSameBlocks) {
    setFakePop3Scenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeLine()));
    std::string whole = readFile(dir / "MailTmp.txt");
    ASSERT_EQ(4u, blocks().size());

    for (const char* variant : {"\"splitBytes\": true", "\"oneSegment\": true"}) {
        SCOPED_TRACE(variant);
        SetFilePointer(gRetrieval.headerFile, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(gRetrieval.headerFile);
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
    gNetTimeouts.receiveMs = 1000;
    EXPECT_EQ(0, test("ivan@fake.test;x", result));
    EXPECT_EQ("Ошибка! Прерывание связи.", result);
    EXPECT_NE(std::string::npos, log().find("При ответе сервера произошла ошибка: 10060"));
}

TEST_F(Pop3Session, TestModeReadsTheQuitReplyWhateverBecameOfTheSend) {
    std::string result;
    // The connection is reset after the STAT reply: QUIT cannot go out; the
    // reply is still read, and its failure logged. The reset races with the
    // STAT reply on one side (a reset may discard a reply not yet read, and
    // the test then fails at STAT) and with the sending of QUIT on the other
    // (QUIT may leave before the reset arrives): tries go on until a session
    // met the reset between the two.
    setFakePop3Scenario("{\"resetAfter\": \"STAT\"}");
    int tested = 0;
    size_t sendFailure = std::string::npos;
    for (int attempt = 0; attempt < 20 && sendFailure == std::string::npos; attempt++) {
        size_t logged = log().size();
        tested = test("ivan@fake.test;x", result);
        if (tested == 1) {
            sendFailure = log().find("Ошибка при завершении сеанса связи с сервером: ", logged);
        }
    }
    ASSERT_EQ(1, tested);
    EXPECT_EQ("fake.test;110", result);
    std::string text = log();
    ASSERT_NE(std::string::npos, sendFailure);
    EXPECT_NE(std::string::npos, text.find("Ошибка при приеме данных: ", sendFailure));

    // QUIT goes out, no reply comes.
    size_t receiveFailures = count(log(), "Ошибка при приеме данных: ");
    size_t sendFailures = count(log(), "Ошибка при завершении сеанса связи с сервером: ");
    setFakePop3Scenario("{\"dropOn\": {\"QUIT\": 0}}");
    ASSERT_EQ(1, test("ivan@fake.test;x", result));
    EXPECT_EQ("fake.test;110", result);
    EXPECT_EQ(receiveFailures + 1, count(log(), "Ошибка при приеме данных: "));
    EXPECT_EQ(sendFailures, count(log(), "Ошибка при завершении сеанса связи с сервером: "));
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

namespace {

DWORD WINAPI runSilentSession(void* param) {
    char buffer[2048];
    copyText(buffer, sizeof buffer, static_cast<const char*>(param));
    return static_cast<DWORD>(runPop3Session(kSessionReception, buffer, sizeof buffer));
}

} // namespace

TEST_F(Pop3Session, ASessionCanBeStoppedFromAnotherThread) {
    setFakePop3Scenario(corpusScenario("\"silentOn\": \"TOP 3 0\""));
    std::string line = fakeLine();
    HANDLE thread = CreateThread(nullptr, 0, runSilentSession, &line[0], 0, nullptr);
    ASSERT_NE(nullptr, thread);
    Sleep(1500); // messages 1 and 2 are in, the session waits for 3
    DWORD start = GetTickCount();
    cancelPop3Session();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    EXPECT_LT(GetTickCount() - start, 3000u);
    CloseHandle(thread);
    // Two whole blocks, nothing of the third.
    std::vector<Block> got = blocks();
    EXPECT_EQ(2u, got.size());
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_NE(std::string::npos, log().find("Приём почты прерван"));
}

// TLS: dovecot's pop3.delta.test (127.0.0.3) has implicit TLS on 995 and
// STLS on 110; its 127.0.0.1 has no TLS. The scripted server has TLS on 995
// on fakes.test (127.0.0.4) and STLS there when a scenario offers it, with
// the certificate the scenario names.
namespace {

std::string fakeTlsLine(const char* port = "995") {
    return std::string("Фейк;ivan@fake.test;secret;fakes.test;") + port;
}

bool sawLogin() {
    for (const std::string& command : fakePop3Transcript()) {
        if (command.compare(0, 4, "USER") == 0 || command.compare(0, 4, "PASS") == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST_F(Pop3Session, PollsOverTlsBringTheSameRecordsAsTheClearPoll) {
    DovecotMailbox box;
    box.addCorpus();
    const char* servers[] = {"pop3.alpha.test;110", "pop3.delta.test;995", "pop3.delta.test;110"};
    std::string clear;
    for (const char* server : servers) {
        SCOPED_TRACE(server);
        gRetrieval.clear();
        SetFilePointer(gRetrieval.headerFile, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(gRetrieval.headerFile);
        ASSERT_EQ(1, receive("Работа;" + box.user() + ";" + box.password() + ";" + server));
        std::string text = readFile(dir / "MailTmp.txt");
        if (clear.empty()) {
            clear = text;
            ASSERT_EQ(corpusMailNames().size(), blocks().size());
        }
        EXPECT_EQ(clear, text);
        EXPECT_FALSE(gRetrieval.walkIncomplete);
    }
    std::string text = log();
    // The clear server is used, and the log says so; the others are not.
    EXPECT_EQ(1u, count(text, "Сервер не предлагает STLS: пароль передается открытым текстом"));
    EXPECT_EQ(2u, count(text, "Установлено защищенное соединение с сервером (TLS)"));
    EXPECT_EQ(1u, count(text, "STLS\r\n"));

    std::string result;
    ASSERT_EQ(1, test(box.user() + "@delta.test;" + box.password(), result));
    EXPECT_EQ("pop3.delta.test;995", result);
}

TEST_F(Pop3Session, RefusedTlsSendsNoPassword) {
    struct {
        const char* scenario;
        const char* port;
        const char* logged;
    } cases[] = {
        {"{\"cert\": \"wrongname\"}", "995", "сертификат выдан для другого имени сервера"},
        {"{\"cert\": \"expired\"}", "995", "срок действия сертификата истек или не наступил"},
        {"{\"cert\": \"unknown\"}", "995", "сертификат выдан неизвестным центром сертификации"},
        {"{\"cert\": \"untrusted\"}", "995", "сертификат выдан неизвестным центром сертификации"},
        {"{\"cert\": \"wrongname\", \"stls\": true}", "110", "сертификат выдан для другого имени сервера"},
        {"{\"stls\": true, \"replies\": {\"STLS\": \"-ERR not now\\r\\n\"}}", "110",
         "Сервер отказал в STLS. Пароль не отправлен."},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.scenario);
        setFakePop3Scenario(c.scenario);
        EXPECT_EQ(0, receive(fakeTlsLine(c.port)));
        EXPECT_NE(std::string::npos, log().find(c.logged));
        EXPECT_FALSE(sawLogin());
    }
    EXPECT_EQ(6u, count(log(), "Пароль не отправлен."));

    // The mailbox test: a certificate refused on 995 is not retried in the
    // clear on 110.
    setFakePop3Scenario("{\"cert\": \"expired\"}");
    std::string result;
    EXPECT_EQ(0, test("ivan@fakes.test;x", result));
    EXPECT_EQ("Ошибка! Сертификат сервера не прошел проверку.", result);
    EXPECT_FALSE(sawLogin());
}

TEST_F(Pop3Session, FaultsOverTls) {
    // Replies one byte a record give the same blocks as the clear poll.
    setFakePop3Scenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeLine()));
    std::string whole = readFile(dir / "MailTmp.txt");
    for (const char* variant : {"\"splitBytes\": true", "\"stls\": true, \"splitBytes\": true"}) {
        SCOPED_TRACE(variant);
        SetFilePointer(gRetrieval.headerFile, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(gRetrieval.headerFile);
        gRetrieval.clear();
        setFakePop3Scenario(corpusScenario(variant));
        ASSERT_EQ(1, receive(fakeTlsLine(strstr(variant, "stls") ? "110" : "995")));
        EXPECT_EQ(whole, readFile(dir / "MailTmp.txt"));
    }

    // A connection dropped in the middle of a header.
    SetFilePointer(gRetrieval.headerFile, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(gRetrieval.headerFile);
    gRetrieval.clear();
    setFakePop3Scenario(corpusScenario("\"dropOn\": {\"TOP 2 0\": 300}"));
    ASSERT_EQ(1, receive(fakeTlsLine()));
    EXPECT_EQ(1u, blocks().size());
    EXPECT_NE(std::string::npos, log().find("Ошибка при приеме заголовка письма:"));
    EXPECT_TRUE(gRetrieval.walkIncomplete);

    // Silence.
    SetFilePointer(gRetrieval.headerFile, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(gRetrieval.headerFile);
    shortTimeouts();
    setFakePop3Scenario(corpusScenario("\"silentOn\": \"TOP 1 0\""));
    ASSERT_EQ(1, receive(fakeTlsLine()));
    EXPECT_NE(std::string::npos, log().find("Сервер не выдал заголовок письма. Ошибка: 10060"));
    EXPECT_TRUE(blocks().empty());
}

TEST_F(Pop3Session, ASessionOverTlsCanBeStoppedFromAnotherThread) {
    setFakePop3Scenario(corpusScenario("\"silentOn\": \"TOP 3 0\""));
    std::string line = fakeTlsLine();
    HANDLE thread = CreateThread(nullptr, 0, runSilentSession, &line[0], 0, nullptr);
    ASSERT_NE(nullptr, thread);
    Sleep(2000); // messages 1 and 2 are in, the session waits for 3
    cancelPop3Session();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    CloseHandle(thread);
    EXPECT_EQ(2u, blocks().size());
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_NE(std::string::npos, log().find("Приём почты прерван"));
}

namespace {

constexpr char kFullCapa[] = "\"capa\": [\"TOP\", \"UIDL\", \"PIPELINING\"]";

bool sent(const std::string& command) {
    std::vector<std::string> commands = fakePop3Transcript();
    return std::find(commands.begin(), commands.end(), command) != commands.end();
}

std::string uidsJson(std::initializer_list<const char*> uids) {
    std::string json = "\"uids\": [";
    for (const char* uid : uids) {
        json += std::string(json.back() == '[' ? "\"" : ", \"") + uid + "\"";
    }
    return json + "]";
}

} // namespace

// However the server offers its listings and takes its commands, the header
// file is the walk's; with unique ids a poll that knows every mail reads no
// header.
TEST_F(Pop3Session, EveryExchangeGivesTheBlocksOfTheWalk) {
    setFakePop3Scenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeLine()));
    std::string whole = readFile(dir / "MailTmp.txt");
    std::vector<MailId> known = gRetrieval.seenIds();
    ASSERT_EQ(4u, known.size());
    struct Variant {
        const char* scenario;
        bool uidl;
    } variants[] = {
        {"\"capa\": [\"UIDL\"]", true},
        {"\"capa\": [\"PIPELINING\"]", false},
        {"\"capa\": [\"UIDL\", \"PIPELINING\"]", true},
        {"\"capa\": [\"UIDL\", \"PIPELINING\"], \"batchReplies\": true", true},
        {"\"capa\": [\"UIDL\", \"PIPELINING\"], \"splitBytes\": true", true},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.scenario);
        for (const std::vector<MailId>& knownIds : {std::vector<MailId>(), known}) {
            SetFilePointer(gRetrieval.headerFile, 0, nullptr, FILE_BEGIN);
            SetEndOfFile(gRetrieval.headerFile);
            gRetrieval.clear();
            gRetrieval.setKnownIds(knownIds);
            setFakePop3Scenario(corpusScenario(v.scenario));
            ASSERT_EQ(1, receive(fakeLine()));
            EXPECT_EQ(knownIds.empty() ? whole : "", readFile(dir / "MailTmp.txt"));
            EXPECT_EQ(!v.uidl, sent("LIST 1"));
            // The second time the cache of the first names every mail.
            EXPECT_EQ(!v.uidl || knownIds.empty(), sent("TOP 1 0"));
            EXPECT_EQ(4u, seen().size());
            EXPECT_FALSE(gRetrieval.walkIncomplete);
        }
        DeleteFileA((dir / uidCacheFileName("ivan@fake.test", "fake.test")).c_str());
    }
}

TEST_F(Pop3Session, BrokenBatchesAndRepeatedOrReusedUniqueIds) {
    // The connection drops in the middle of the header batch: what came
    // before stays, and the next poll reads only the rest.
    setFakePop3Scenario(corpusScenario(std::string(kFullCapa) + ", \"dropOn\": {\"TOP 3 0\": 100}"));
    ASSERT_EQ(1, receive(fakeLine()));
    EXPECT_EQ(2u, blocks().size());
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_FALSE(sent("QUIT"));
    std::vector<MailId> known = gRetrieval.seenIds();
    gRetrieval.clear();
    gRetrieval.setKnownIds(known);
    setFakePop3Scenario(corpusScenario(kFullCapa));
    ASSERT_EQ(1, receive(fakeLine()));
    std::vector<Block> got = blocks();
    ASSERT_EQ(4u, got.size());
    EXPECT_FALSE(sent("TOP 2 0"));
    EXPECT_TRUE(sent("TOP 3 0"));
    known = gRetrieval.seenIds();
    ASSERT_EQ(4u, known.size());

    // A unique id given twice names neither message: both headers are read.
    for (int poll = 0; poll < 2; poll++) {
        gRetrieval.clear();
        gRetrieval.setKnownIds(known);
        setFakePop3Scenario(corpusScenario(std::string(kFullCapa) + ", " + uidsJson({"a", "a", "c", "d"})));
        ASSERT_EQ(1, receive(fakeLine()));
    }
    EXPECT_TRUE(sent("TOP 1 0"));
    EXPECT_TRUE(sent("TOP 2 0"));
    EXPECT_FALSE(sent("TOP 3 0"));

    // After a deletion the server gives mail 1's unique id to another mail:
    // its size differs, so its header is read and it comes as new.
    std::vector<std::string> names = corpusMailNames();
    ASSERT_NE(corpusMail(names[0]).size(), corpusMail(names[5]).size());
    for (const std::string& name : {names[0], names[5]}) {
        SetFilePointer(gRetrieval.headerFile, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(gRetrieval.headerFile);
        gRetrieval.clear();
        gRetrieval.setKnownIds(known);
        setFakePop3Scenario("{\"messages\": " + corpusJsonList({name}) + ", " + kFullCapa + ", " + uidsJson({"a"}) +
                            "}");
        ASSERT_EQ(1, receive(fakeLine()));
    }
    got = blocks();
    ASSERT_EQ(1u, got.size());
    EXPECT_NE(known[0].text, got[0].id);
    EXPECT_TRUE(sent("TOP 1 0"));
}
