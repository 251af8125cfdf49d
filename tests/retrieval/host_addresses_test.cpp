// Servers found by name however they are reached: a host with only an IPv6
// address, and a host whose first address refuses so that the next is used.
#include "pop3_session_fixture.h"

TEST_F(Pop3Session, AServerWithOnlyAnIpv6AddressIsPolledAndFoundByTheTest) {
    DovecotMailbox box;
    box.addCorpus();
    std::string records;
    for (const char* server : {"pop3.alpha.test", "pop3.six.test"}) {
        SCOPED_TRACE(server);
        gRetrieval.clear();
        clearHeaderFile();
        ASSERT_EQ(1, receive("Работа;" + box.user() + ";" + box.password() + ";" + server + ";110"));
        std::string text = readFile(dir / "MailTmp.txt");
        if (records.empty()) {
            records = text;
            ASSERT_EQ(corpusMailNames().size(), blocks().size());
        }
        EXPECT_EQ(records, text);
    }

    // Nothing listens on 995 at that address: the test goes on to 110, where
    // the login goes in the clear.
    std::string result;
    ASSERT_EQ(kTestPassed, test(box.user() + "@six.test;" + box.password(), result));
    EXPECT_EQ("pop3.six.test;110", result);
}

TEST_F(Pop3Session, EveryAddressOfAServerIsTriedInTurn) {
    setFakePop3Scenario(corpusScenario());
    // pop3.mix.test is ::1, where nothing listens on 1110, then the scripted
    // server's address.
    ASSERT_EQ(1, receive("Фейк;ivan@fake.test;secret;pop3.mix.test;1110"));
    EXPECT_EQ(4u, blocks().size());
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Сервер по адресу ::1 не ответил - 10061, пробуем следующий адрес"));
    EXPECT_EQ(1u, count(text, "Соединение с сервером установлено"));

    // A name that resolves to nothing is logged as before.
    gRetrieval.clear();
    ASSERT_EQ(0, receive("Фейк;ivan@fake.test;secret;nowhere.test;110"));
    EXPECT_NE(std::string::npos, log().find("Сервер не найден! Ошибка - "));
}
