// The mailbox test: the server guessed from the address, the ports tried,
// the login, and what a test hands back.
#include "pop3_session_fixture.h"

#include "retrieval/pop3_login.h"

#include "imap_fixtures.h"

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
        ASSERT_EQ(kTestPassed, test(params + ";" + box.password(), result));
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
        if (tested == kTestPassed) {
            sendFailure = log().find("Ошибка при завершении сеанса связи с сервером: ", logged);
        }
    }
    ASSERT_EQ(kTestPassed, tested);
    EXPECT_EQ("fake.test;110", result);
    std::string text = log();
    ASSERT_NE(std::string::npos, sendFailure);
    EXPECT_NE(std::string::npos, text.find("Ошибка при приеме данных: ", sendFailure));

    // QUIT goes out, no reply comes.
    size_t receiveFailures = count(log(), "Ошибка при приеме данных: ");
    size_t sendFailures = count(log(), "Ошибка при завершении сеанса связи с сервером: ");
    setFakePop3Scenario("{\"dropOn\": {\"QUIT\": 0}}");
    ASSERT_EQ(kTestPassed, test("ivan@fake.test;x", result));
    EXPECT_EQ("fake.test;110", result);
    EXPECT_EQ(receiveFailures + 1, count(log(), "Ошибка при приеме данных: "));
    EXPECT_EQ(sendFailures, count(log(), "Ошибка при завершении сеанса связи с сервером: "));
}

// Something answers on 995 but no TLS comes of it: the test ends with the
// TLS failure and never tries 110, where a server without STLS would get the
// password in the clear. (The scripted server of fake.test, with nothing on
// 995, shows the fall back to 110 above.)
TEST_F(Pop3Session, TestModeNeverTriesTheClearPortAfterAFailedHandshake) {
    shortTimeouts(); // a greeting in the clear reads as the start of a long TLS record
    for (const char* broken : {"clear", "close"}) {
        SCOPED_TRACE(broken);
        setFakePop3Scenario(std::string("{\"brokenTls\": \"") + broken + "\"}");
        std::string result;
        EXPECT_EQ(0, test("ivan@fakes.test;x", result));
        EXPECT_TRUE(result == kNoSecureLink || result == kConnectionBroken) << result;
        EXPECT_TRUE(fakePop3Transcript().empty());
    }
    EXPECT_EQ(std::string::npos, log().find("USER"));
}

// A server without TLS: the test stops before USER until the user agrees,
// and hands back the server it found all the same.
TEST_F(Pop3Session, TestModeSendsNoPasswordInTheClearUntilTheUserAgrees) {
    setFakePop3Scenario("{}");
    std::string result;
    ASSERT_EQ(kTestWantsClearText, test("ivan@fake.test;secret", result, false));
    EXPECT_EQ("fake.test;110", result);
    EXPECT_EQ((std::vector<std::string>{"CAPA", "QUIT"}), fakePop3Transcript());

    ASSERT_EQ(kTestPassed, test("ivan@fake.test;secret", result, true));
    EXPECT_EQ("fake.test;110", result);
    EXPECT_TRUE(sent("PASS secret"));
}

// Domains without a POP3 server (the test session's hosts): the test looks
// for IMAP, "imap." + domain first and the domain after it, 993 before 143.
TEST_F(Pop3Session, TestModeFindsImapWhereNoPop3ServerAnswers) {
    DovecotMailbox box;
    std::string result;
    // No POP3 name resolves: dovecot's TLS address under the imap. name.
    ASSERT_EQ(kTestPassed, test(box.user() + "@iota.test;" + box.password(), result, false));
    EXPECT_EQ("imap.iota.test;993", result);
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Сервер с именем pop.iota.test не найден!"));
    EXPECT_NE(std::string::npos, text.find("Сервер POP3 для домена iota.test не отвечает, ищем сервер IMAP"));
    EXPECT_NE(std::string::npos, text.find("Сервер с именем imap.iota.test обнаружен"));
    EXPECT_EQ(1u, count(text, " LOGIN "));
    EXPECT_EQ(std::string::npos, text.find(box.password()));

    // pop3.lambda.test resolves but nothing answers there; imap.lambda.test
    // does not resolve; lambda.test has IMAP over TLS.
    ASSERT_EQ(kTestPassed, test(box.user() + "@lambda.test;" + box.password(), result, false));
    EXPECT_EQ("lambda.test;993", result);
    text = log();
    EXPECT_NE(std::string::npos, text.find("Сервер pop3.lambda.test не принимает соединений на порту 995 - "));
    EXPECT_NE(std::string::npos, text.find("Сервер pop3.lambda.test не принимает соединений на порту 110 - "));
    EXPECT_NE(std::string::npos, text.find("Сервер с именем imap.lambda.test не найден!"));

    // IMAP in the clear on 143 alone: the password waits for the user.
    ASSERT_EQ(kTestWantsClearText, test(box.user() + "@kappa.test;" + box.password(), result, false));
    EXPECT_EQ("imap.kappa.test;143", result);
    EXPECT_NE(std::string::npos, log().find("Сервер imap.kappa.test не принимает соединений на порту 993 - "));
    EXPECT_EQ(2u, count(log(), " LOGIN "));
    ASSERT_EQ(kTestPassed, test(box.user() + "@kappa.test;" + box.password(), result, true));
    EXPECT_EQ("imap.kappa.test;143", result);

    EXPECT_EQ(0, test(box.user() + "@iota.test;wrong", result));
    EXPECT_EQ(kNotRecognised, result);
}

// A server that an account line names with an IMAP port is tested there over
// IMAP alone: fake.test has a POP3 server that a guess would find first.
TEST_F(Pop3Session, TestModeGoesStraightToANamedImapServer) {
    setFakePop3Scenario("{}");
    setFakeImapScenario("{\"password\": \"secret\"}");
    std::string result;
    ASSERT_EQ(kTestPassed, test("ivan@fake.test;secret\nfakes.test;993", result, false));
    EXPECT_EQ("fakes.test;993", result);
    std::vector<std::string> commands = fakeImapTranscript();
    ASSERT_FALSE(commands.empty());
    EXPECT_NE(std::string::npos, commands.back().find("LOGOUT"));

    ASSERT_EQ(kTestWantsClearText, test("ivan@fake.test;secret\nfake.test;143", result, false));
    EXPECT_EQ("fake.test;143", result);
    ASSERT_EQ(kTestPassed, test("ivan@fake.test;secret\nfake.test;143", result, true));
    EXPECT_EQ("fake.test;143", result);

    // Nothing listens on 993 there: no other port, no other server.
    EXPECT_EQ(0, test("ivan@fake.test;secret\nfake.test;993", result));
    EXPECT_EQ(kNoAnswer, result);
    EXPECT_TRUE(fakePop3Transcript().empty());
    EXPECT_EQ(std::string::npos, log().find("не найден!"));

    // A POP3 server named so is guessed again, as any mailbox is.
    ASSERT_EQ(kTestPassed, test("ivan@fake.test;secret\nfakes.test;995", result));
    EXPECT_EQ("fake.test;110", result);
    EXPECT_FALSE(fakePop3Transcript().empty());
}
