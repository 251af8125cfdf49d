// The reception of an IMAP mailbox: the same records as a POP3 poll of the
// same mails, no \Seen set, headers fetched once, deletions, the login's
// rules and the quirks of servers.
#include "pop3_session_fixture.h"

#include "retrieval/imap_login.h"
#include "retrieval/imap_tokens.h"
#include "store/tls_logins.h"

#include "imap_fixtures.h"

#include <algorithm>

namespace {

class ImapReception : public Pop3Session {
protected:
    // The ids the last session saw, made known to the next one (as the
    // identifier file would), and the state of the run cleared.
    std::vector<std::string> knowSeen() {
        std::vector<std::string> ids = seen();
        std::vector<MailId> known;
        for (const std::string& id : ids) {
            known.push_back(makeMailId(id.c_str()));
        }
        gRetrieval.clear();
        gRetrieval.setKnownIds(known);
        clearHeaderFile();
        return ids;
    }
    // DeleteMail.txt holds the mail of that identifier.
    void markForDeletion(const std::string& id) {
        setDeletionList(deletionRecord(id.c_str()));
        gRetrieval.deletionListLoaded = true;
    }
};

HANDLE gHeaderFileOfThread = INVALID_HANDLE_VALUE;

std::string fakeImapLine(const char* server = "fake.test;143") {
    return std::string("Фейк;ivan@fake.test;secret;") + server;
}

bool fakeImapSent(const std::string& prefix) {
    for (const std::string& line : fakeImapTranscript()) {
        std::string command = line.substr(line.find(' ') + 1);
        if (command.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

// The flags of every message of a dovecot mailbox (upper-cased, each
// followed by a blank), asked over IMAP in the clear on 127.0.0.1.
std::vector<std::string> dovecotFlags(const DovecotMailbox& box) {
    std::vector<std::string> flags;
    HostAddresses addresses;
    bool noSocket = false;
    char buffer[8] = "";
    Pop3Dialogue s(false, buffer, sizeof buffer);
    ImapSession m(s);
    ImapResponse done;
    auto take = [&flags](const ImapResponse& r) {
        if (r.data == ImapData::Fetch) {
            std::string joined;
            for (const std::string& flag : r.flags) {
                joined += imapUpper(flag) + " ";
            }
            flags.push_back(joined);
        }
    };
    EXPECT_EQ(0, resolveHost("127.0.0.1", addresses));
    EXPECT_EQ(0, s.connection.connectTo(addresses, kImapPort, noSocket));
    EXPECT_TRUE(imapLogin(m, "127.0.0.1", box.user(), box.password()));
    EXPECT_EQ(0, imapCommand(m, m.command("EXAMINE INBOX"), nullptr, done));
    EXPECT_EQ(0, imapCommand(m, m.command("FETCH 1:* (FLAGS)"), take, done));
    imapLogout(m);
    return flags;
}

DWORD WINAPI receiveOnThread(void* param) {
    auto* line = static_cast<std::string*>(param);
    char buffer[kAccountLineCapacity];
    copyText(buffer, sizeof buffer, line->c_str());
    return static_cast<DWORD>(runPop3Session(kSessionReception, buffer, sizeof buffer, gHeaderFileOfThread));
}

} // namespace

TEST_F(ImapReception, RefusedLoginAndEmptyMailbox) {
    DovecotMailbox box;
    ASSERT_EQ(0, receive("x;" + box.user() + ";wrong;pop3.delta.test;993"));
    EXPECT_NE(std::string::npos, log().find("Сервер не опознал указанные адрес и/или пароль."));
    EXPECT_TRUE(gRetrieval.walkIncomplete);

    gRetrieval.walkIncomplete = false;
    ASSERT_EQ(1, receive("Пусто;" + box.user() + ";" + box.password() + ";pop3.delta.test;993"));
    EXPECT_NE(std::string::npos, log().find("Psevdo:Пусто\r\n"));
    EXPECT_TRUE(blocks().empty());
    EXPECT_FALSE(gRetrieval.walkIncomplete);
    EXPECT_NE(std::string::npos, log().find("LOGOUT\r\n"));
}

TEST_F(ImapReception, BringsThePop3RecordsWithoutSeenAndReadsEachHeaderOnce) {
    DovecotMailbox box;
    box.addCorpus();
    ASSERT_EQ(1, receive("Работа;" + box.user() + ";" + box.password() + ";pop3.alpha.test;110"));
    const std::string pop3 = readFile(dir / "MailTmp.txt");
    const std::vector<std::string> pop3Ids = seen();
    ASSERT_EQ(corpusMailNames().size(), blocks().size());
    const char* servers[] = {"pop3.delta.test;993", "pop3.delta.test;143", "pop3.alpha.test;143"};
    for (const char* server : servers) {
        SCOPED_TRACE(server);
        gRetrieval.clear();
        clearHeaderFile();
        ASSERT_EQ(1, receive("Работа;" + box.user() + ";" + box.password() + ";" + server));
        EXPECT_EQ(pop3, readFile(dir / "MailTmp.txt"));
        EXPECT_EQ(pop3Ids, seen());
        EXPECT_FALSE(gRetrieval.walkIncomplete);
    }
    std::string text = log();
    EXPECT_EQ(1u, count(text, "Сервер не предлагает STARTTLS: пароль передается открытым текстом"));
    EXPECT_EQ(1u, count(text, "STARTTLS\r\n"));
    EXPECT_EQ(std::string::npos, text.find(box.password()));
    EXPECT_EQ(3u, count(text, "EXAMINE INBOX\r\n"));
    std::vector<std::string> flags = dovecotFlags(box);
    EXPECT_EQ(corpusMailNames().size(), flags.size());
    for (const std::string& joined : flags) {
        EXPECT_EQ(std::string::npos, joined.find("\\SEEN "));
    }

    // Known mails: the cache names them, and no header is fetched again.
    knowSeen();
    size_t fetches = count(log(), "BODY.PEEK[HEADER]");
    ASSERT_EQ(1, receive("Работа;" + box.user() + ";" + box.password() + ";pop3.delta.test;993"));
    EXPECT_EQ(fetches, count(log(), "BODY.PEEK[HEADER]"));
    EXPECT_TRUE(blocks().empty());
    EXPECT_EQ(pop3Ids, seen());
}

TEST_F(ImapReception, DeletionRemovesExactlyThatMail) {
    DovecotMailbox box;
    box.addCorpus();
    const std::string line = "Работа;" + box.user() + ";" + box.password() + ";pop3.delta.test;993";
    ASSERT_EQ(1, receive(line));
    std::vector<std::string> ids = knowSeen();
    ASSERT_GE(ids.size(), 3u);
    markForDeletion(ids[1]);
    ASSERT_EQ(1, receive(line));
    EXPECT_EQ(0u, gRetrieval.remainingDeletionCount());
    EXPECT_EQ(ids.size() - 1, box.messageCount());
    EXPECT_NE(std::string::npos, log().find("UID EXPUNGE"));

    knowSeen();
    ASSERT_EQ(1, receive(line));
    ids.erase(ids.begin() + 1);
    EXPECT_EQ(ids, seen());
    EXPECT_TRUE(blocks().empty());
}

TEST_F(ImapReception, ScriptedServerGivesTheSameHeadersHoweverItAnswers) {
    setFakeImapScenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeImapLine()));
    const std::string plain = readFile(dir / "MailTmp.txt");
    ASSERT_EQ(4u, blocks().size());
    struct {
        const char* scenario;
        const char* server;
    } cases[] = {
        {"\"splitBytes\": true", "fake.test;143"},
        {"\"interject\": [\"* 9 EXISTS\", \"* 1 FETCH (FLAGS (\\\\Seen))\", \"* OK still here\"]", "fakes.test;993"},
        {"\"starttls\": true, \"noUidplus\": true", "fakes.test;143"},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.scenario);
        setFakeImapScenario(corpusScenario(c.scenario));
        gRetrieval.clear();
        clearHeaderFile();
        ASSERT_EQ(1, receive(fakeImapLine(c.server)));
        EXPECT_EQ(plain, readFile(dir / "MailTmp.txt"));
        EXPECT_FALSE(gRetrieval.walkIncomplete);
        EXPECT_TRUE(fakeImapSeen().empty());
        EXPECT_TRUE(fakeImapSent("LOGOUT"));
    }
}

TEST_F(ImapReception, CacheAndUidValidity) {
    setFakeImapScenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeImapLine()));
    std::vector<std::string> ids = knowSeen();
    setFakeImapScenario(corpusScenario());
    ASSERT_EQ(1, receive(fakeImapLine()));
    EXPECT_FALSE(fakeImapSent("UID FETCH 1:4 (UID RFC822.SIZE BODY.PEEK[HEADER])"));
    EXPECT_TRUE(fakeImapSent("UID FETCH 1:* (UID RFC822.SIZE)"));
    EXPECT_EQ(ids, seen());

    // A new UIDVALIDITY names nothing cached: every header is read again,
    // and the mails, known by their identifiers, make no new blocks.
    knowSeen();
    setFakeImapScenario(corpusScenario("\"uidValidity\": 7, \"uids\": [3, 4, 5, 6]"));
    ASSERT_EQ(1, receive(fakeImapLine()));
    EXPECT_TRUE(fakeImapSent("UID FETCH 3:6 (UID RFC822.SIZE BODY.PEEK[HEADER])"));
    EXPECT_EQ(ids, seen());
    EXPECT_TRUE(blocks().empty());
}

TEST_F(ImapReception, DeletionCountsOnlyOnceTheServerConfirmedIt) {
    setFakeImapScenario(corpusScenario("\"noUidplus\": true"));
    ASSERT_EQ(1, receive(fakeImapLine()));
    std::vector<std::string> ids = knowSeen();
    markForDeletion(ids[2]);
    setFakeImapScenario(corpusScenario("\"noUidplus\": true"));
    ASSERT_EQ(1, receive(fakeImapLine()));
    EXPECT_EQ(std::vector<std::string>{"3"}, fakeImapExpunged());
    EXPECT_TRUE(fakeImapSent("UID STORE 3 +FLAGS.SILENT (\\Deleted)"));
    EXPECT_TRUE(fakeImapSent("EXPUNGE"));
    EXPECT_FALSE(fakeImapSent("UID EXPUNGE"));
    EXPECT_EQ(0u, gRetrieval.remainingDeletionCount());

    // An IMAP4rev2 server has UID EXPUNGE without offering UIDPLUS: it is
    // used there, so that only the marked mail can go.
    knowSeen();
    markForDeletion(ids[0]);
    const std::string rev2 = "\"capabilities\": [\"IMAP4rev2\", \"IDLE\", \"AUTH=PLAIN\"]";
    setFakeImapScenario(corpusScenario(rev2));
    ASSERT_EQ(1, receive(fakeImapLine()));
    EXPECT_EQ(std::vector<std::string>{"1"}, fakeImapExpunged());
    EXPECT_TRUE(fakeImapSent("UID EXPUNGE 1"));
    EXPECT_EQ(0u, gRetrieval.remainingDeletionCount());

    // The server goes away before it confirms the flag: the record stays
    // for the next poll, and the mail on the server.
    knowSeen();
    markForDeletion(ids[2]);
    setFakeImapScenario(corpusScenario("\"byeOn\": {\"UID STORE\": 0}"));
    ASSERT_EQ(1, receive(fakeImapLine()));
    EXPECT_TRUE(fakeImapExpunged().empty());
    EXPECT_EQ(1u, gRetrieval.remainingDeletionCount());
    EXPECT_NE(std::string::npos, log().find("не удалено с сервера!"));
}

TEST_F(ImapReception, ByeInTheMiddleAndAHugeHeader) {
    // The server leaves after two headers of the batch: those two are in,
    // and the walk counts as incomplete.
    setFakeImapScenario(corpusScenario("\"byeOn\": {\"UID FETCH 1:4\": 2}"));
    ASSERT_EQ(1, receive(fakeImapLine()));
    EXPECT_EQ(2u, blocks().size());
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_NE(std::string::npos, log().find("* BYE"));

    gRetrieval.clear();
    clearHeaderFile();
    setFakeImapScenario(corpusScenario("\"hugeHeader\": 3000000"));
    ASSERT_EQ(1, receive(fakeImapLine()));
    std::vector<Block> got = blocks();
    ASSERT_EQ(4u, got.size());
    EXPECT_LE(got[0].header.size(), kHeaderKeepLimit + 8);
    EXPECT_NE(std::string::npos, log().find("длиннее"));
    EXPECT_FALSE(gRetrieval.walkIncomplete);
}

TEST_F(ImapReception, PasswordGoesOnlyWhereTheRulesAllow) {
    // LOGIN disabled in the clear and no TLS offered: nothing is sent.
    setFakeImapScenario(corpusScenario("\"loginDisabled\": true"));
    EXPECT_EQ(0, receive(fakeImapLine()));
    EXPECT_FALSE(fakeImapSent("LOGIN") || fakeImapSent("AUTHENTICATE"));
    EXPECT_NE(std::string::npos, log().find("LOGINDISABLED"));

    // Over TLS with LOGIN disabled: AUTHENTICATE PLAIN, its response masked,
    // after the continuation request or, with SASL-IR, in the command.
    for (const char* saslIr : {"", ", \"SASL-IR\""}) {
        SCOPED_TRACE(saslIr);
        clearHeaderFile();
        setFakeImapScenario(corpusScenario("\"password\": \"secret\", \"capabilities\": "
                                           "[\"IMAP4rev1\", \"LOGINDISABLED\", \"AUTH=PLAIN\"" +
                                           std::string(saslIr) + "]"));
        EXPECT_EQ(1, receive(fakeImapLine("fakes.test;993")));
        EXPECT_TRUE(fakeImapSent("AUTHENTICATE PLAIN"));
        EXPECT_FALSE(fakeImapSent("LOGIN"));
        EXPECT_EQ(4u, blocks().size());
    }
    EXPECT_EQ(TlsLoginRecord::Present, tlsLoginRecord("ivan@fake.test", "fakes.test"));
    EXPECT_EQ(TlsLoginRecord::Absent, tlsLoginRecord("ivan@fake.test", "fake.test"));

    // A password of 8-bit bytes goes as a literal; without LITERAL+ its
    // bytes wait for the server's continuation request.
    clearHeaderFile();
    setFakeImapScenario(corpusScenario("\"password\": \"\\u00f9\\u00f3\\u00ea\\u00e07\", "
                                       "\"capabilities\": [\"IMAP4rev1\"]"));
    EXPECT_EQ(1, receive("Фейк;ivan@fake.test;щука7;fake.test;143"));
    EXPECT_EQ(4u, blocks().size());
    EXPECT_EQ(std::string::npos, log().find("щука7"));

    // A refused password.
    clearHeaderFile();
    setFakeImapScenario(corpusScenario("\"password\": \"other\""));
    EXPECT_EQ(0, receive(fakeImapLine()));
    EXPECT_NE(std::string::npos, log().find("Сервер не опознал указанные адрес и/или пароль."));

    // A mailbox that has logged in over TLS never sends its password where
    // the server stops offering STARTTLS.
    rememberTlsLogin("ivan@fake.test", "fake.test");
    setFakeImapScenario(corpusScenario());
    EXPECT_EQ(0, receive(fakeImapLine()));
    EXPECT_FALSE(fakeImapSent("LOGIN"));
    EXPECT_NE(std::string::npos, log().find("больше не предлагает STARTTLS"));
    EXPECT_EQ(std::string::npos, log().find("secret"));
    EXPECT_EQ(std::string::npos, log().find("AGl2YW5AZmFrZS50ZXN0AHNlY3JldA=="));
}

TEST_F(ImapReception, StopsWhenCancelledFromAnotherThreadOrOverdue) {
    setFakeImapScenario(corpusScenario("\"silentOn\": \"UID FETCH 1:4\""));
    std::string line = "A;" + fakeImapLine();
    gHeaderFileOfThread = headerFile.get();
    UniqueHandle thread(CreateThread(nullptr, 0, receiveOnThread, &line, 0, nullptr));
    ASSERT_TRUE(thread.valid());
    bool asked = false;
    for (int i = 0; i < 500 && !asked; i++) {
        asked = fakeImapSent("UID FETCH 1:4");
        if (!asked) {
            Sleep(20);
        }
    }
    cancelPop3Session();
    bool ended = WaitForSingleObject(thread.get(), 3000) == WAIT_OBJECT_0;
    if (!ended) {
        WaitForSingleObject(thread.get(), INFINITE); // it reads line
    }
    EXPECT_TRUE(asked);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(blocks().empty());
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_NE(std::string::npos, log().find("Приём почты прерван"));
    EXPECT_FALSE(fakeImapSent("LOGOUT"));

    // A server that falls silent while it owes the headers: the wait ends
    // with the session's allowance.
    gRetrieval.clear();
    resetPop3Cancel();
    gNetTimeouts.sessionBaseMs = 1000;
    gNetTimeouts.sessionPerMessageMs = 0;
    gNetTimeouts.sessionPerMiBMs = 0;
    setFakeImapScenario(corpusScenario("\"silentOn\": \"UID FETCH 1:4\""));
    EXPECT_EQ(1, receive(fakeImapLine()));
    EXPECT_TRUE(blocks().empty());
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_NE(std::string::npos, log().find("длится дольше отведенных 1 с"));
}
