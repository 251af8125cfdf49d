// Where a mailbox is: its account line, a test's "address;password" and the
// port text.
#include "retrieval/pop3_address.h"

#include <gtest/gtest.h>

#include <string>

TEST(AccountLine, ReadAsTheStoreReadsIt) {
    MailboxLogin f;
    ASSERT_TRUE(readMailboxLine("A;Работа;ivan@alpha.test;secret;pop3.alpha.test;110\r\n", f));
    EXPECT_EQ("Работа", f.alias);
    EXPECT_EQ("ivan@alpha.test", f.address);
    EXPECT_EQ("secret", f.password);
    EXPECT_EQ("pop3.alpha.test", f.server);
    EXPECT_EQ("110", f.port);
    EXPECT_FALSE(f.portMissing);

    // The fields are read from the left, as the mailbox page reads them;
    // the server and the port are the last two of the extra field.
    ASSERT_TRUE(readMailboxLine("A;Дом;ivan@alpha.test;sec;ret;host;995", f));
    EXPECT_EQ("Дом", f.alias);
    EXPECT_EQ("ivan@alpha.test", f.address);
    EXPECT_EQ("sec", f.password);
    EXPECT_EQ("ret;host", f.server);
    EXPECT_EQ("995", f.port);

    ASSERT_TRUE(readMailboxLine("A;;ivan@alpha.test;secret;pop3.alpha.test;110", f));
    EXPECT_EQ("ivan@alpha.test", f.alias); // an empty alias becomes the address
    EXPECT_EQ("ivan@alpha.test", f.address);
}

TEST(AccountLine, MissingServerOrPort) {
    MailboxLogin f;
    // An extra field without ";" is the server; the port is then 110.
    ASSERT_TRUE(readMailboxLine("A;a;addr@x;secret;server", f));
    EXPECT_TRUE(f.portMissing);
    EXPECT_EQ("110", f.port);
    EXPECT_EQ("server", f.server);
    EXPECT_FALSE(readMailboxLine("A;a;addr@x;secret;", f));
    EXPECT_TRUE(f.portMissing);
    EXPECT_FALSE(readMailboxLine("A;a;addr@x;secret;;110", f));
    EXPECT_FALSE(f.portMissing);
    EXPECT_FALSE(readMailboxLine("", f));
}

TEST(TestParams, AddressPasswordDomainAndServer) {
    std::string address, password, domain, server = "stale";
    ASSERT_TRUE(splitTestParams("ivan@alpha.test;se;cret", address, password, domain, server));
    EXPECT_EQ("ivan@alpha.test", address);
    EXPECT_EQ("se;cret", password);
    EXPECT_EQ("alpha.test", domain);
    EXPECT_EQ("", server);
    // The server of an account line follows a line end; the password still
    // takes every ";" before it.
    ASSERT_TRUE(splitTestParams("ivan@alpha.test;se;cret\nimap.x.test;993", address, password, domain, server));
    EXPECT_EQ("se;cret", password);
    EXPECT_EQ("alpha.test", domain);
    EXPECT_EQ("imap.x.test;993", server);
    EXPECT_FALSE(splitTestParams("ivan.alpha.test;secret", address, password, domain, server));
    EXPECT_FALSE(splitTestParams("ivan@alpha.test", address, password, domain, server));
    EXPECT_FALSE(splitTestParams("ivan;p@ss", address, password, domain, server));
}

TEST(TestParams, Port) {
    EXPECT_EQ(995, parsePort("995"));
    for (const char* bad : {"", "0", "65536", "99999999", "11O", " 110"}) {
        EXPECT_EQ(110, parsePort(bad)) << bad;
    }
}

TEST(AccountLine, ProtocolFromThePort) {
    struct Case {
        const char* line;
        MailProtocol protocol;
        bool implicitTls;
    };
    const Case cases[] = {
        {"A;a;ivan@alpha.test;pw;imap.alpha.test;993", MailProtocol::Imap, true},
        {"A;a;ivan@alpha.test;pw;imap.alpha.test;143\r\n", MailProtocol::Imap, false},
        {"A;a;ivan@alpha.test;pw;pop3.alpha.test;995", MailProtocol::Pop3, true},
        {"A;a;ivan@alpha.test;pw;pop3.alpha.test;110", MailProtocol::Pop3, false},
        {"A;a;ivan@alpha.test;pw;pop3.alpha.test;1143", MailProtocol::Pop3, false},
        // A port the reception reads as 110 is POP3 whatever its text holds.
        {"A;a;ivan@alpha.test;pw;pop3.alpha.test", MailProtocol::Pop3, false},
        {"A;a;ivan@alpha.test;pw;pop3.alpha.test;993x", MailProtocol::Pop3, false},
        {"A;a;ivan@alpha.test;pw;pop3.alpha.test; 143", MailProtocol::Pop3, false},
        // Only the last field is the port: "993" inside the server name is not.
        {"A;a;ivan@alpha.test;pw;993;110", MailProtocol::Pop3, false},
    };
    for (const Case& c : cases) {
        MailboxLogin login;
        login.protocol = MailProtocol::Imap; // a reused login is read afresh
        login.implicitTls = true;
        readMailboxLine(c.line, login);
        EXPECT_EQ(c.protocol, login.protocol) << c.line;
        EXPECT_EQ(c.implicitTls, login.implicitTls) << c.line;
    }
}
