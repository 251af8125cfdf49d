// The login of a session: refused logins, TLS on port 995 and through STLS,
// refused certificates, and faults of a connection over TLS.
#include "pop3_session_fixture.h"

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

TEST_F(Pop3Session, PollsOverTlsBringTheSameRecordsAsTheClearPoll) {
    DovecotMailbox box;
    box.addCorpus();
    const char* servers[] = {"pop3.alpha.test;110", "pop3.delta.test;995", "pop3.delta.test;110"};
    std::string clear;
    for (const char* server : servers) {
        SCOPED_TRACE(server);
        gRetrieval.clear();
        clearHeaderFile();
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
        clearHeaderFile();
        gRetrieval.clear();
        setFakePop3Scenario(corpusScenario(variant));
        ASSERT_EQ(1, receive(fakeTlsLine(strstr(variant, "stls") ? "110" : "995")));
        EXPECT_EQ(whole, readFile(dir / "MailTmp.txt"));
    }

    // A connection dropped in the middle of a header.
    clearHeaderFile();
    gRetrieval.clear();
    setFakePop3Scenario(corpusScenario("\"dropOn\": {\"TOP 2 0\": 300}"));
    ASSERT_EQ(1, receive(fakeTlsLine()));
    EXPECT_EQ(1u, blocks().size());
    EXPECT_NE(std::string::npos, log().find("Ошибка при приеме заголовка письма:"));
    EXPECT_TRUE(gRetrieval.walkIncomplete);

    // Silence.
    clearHeaderFile();
    shortTimeouts();
    setFakePop3Scenario(corpusScenario("\"silentOn\": \"TOP 1 0\""));
    ASSERT_EQ(1, receive(fakeTlsLine()));
    EXPECT_NE(std::string::npos, log().find("Сервер не выдал заголовок письма. Ошибка: 10060"));
    EXPECT_TRUE(blocks().empty());
}

TEST_F(Pop3Session, ASessionOverTlsCanBeStoppedFromAnotherThread) {
    EXPECT_NE(kSessionNotStopped, stopReceptionAtTheThirdMessage(fakeTlsLine(), headerFile.get()));
    EXPECT_EQ(2u, blocks().size());
    EXPECT_TRUE(gRetrieval.walkIncomplete);
    EXPECT_NE(std::string::npos, log().find("Приём почты прерван"));
}
