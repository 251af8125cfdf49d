// The numbers, capabilities and listings read from POP3 replies, and the
// texts made of them.
#include "retrieval/pop3_replies.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

TEST(Replies, StatCountAndListSize) {
    int count = -1;
    ASSERT_TRUE(parseStatCount("+OK 12 3456\r\n", count));
    EXPECT_EQ(12, count);
    ASSERT_TRUE(parseStatCount("+OK 0 0\r\n", count));
    EXPECT_EQ(0, count);
    ASSERT_TRUE(parseStatCount("+OK mailbox has 3 messages\r\n", count));
    EXPECT_EQ(3, count);
    ASSERT_TRUE(parseStatCount("+OK 99999999999999999999 1\r\n", count));
    EXPECT_GT(count, 0);
    EXPECT_FALSE(parseStatCount("+OK\r\n", count));
    EXPECT_FALSE(parseStatCount("", count));
    EXPECT_FALSE(parseStatCount("7", count)); // the first character is never the number

    EXPECT_EQ(3456u, parseStatOctets("+OK 12 3456\r\n"));
    EXPECT_EQ(0u, parseStatOctets("+OK 12\r\n"));
    EXPECT_EQ(0u, parseStatOctets(""));

    EXPECT_DOUBLE_EQ(12345.0, parseListSize("+OK 1 12345\r\n"));
    EXPECT_DOUBLE_EQ(0.0, parseListSize("+OK\r\n"));
    EXPECT_DOUBLE_EQ(0.0, parseListSize("+OK 1 -500\r\n"));
    EXPECT_DOUBLE_EQ(0.0, parseListSize("+OK 1 nan\r\n"));
    EXPECT_DOUBLE_EQ(0.0, parseListSize("+OK 1 garbage\r\n"));
}

TEST(Replies, SessionAllowanceGrowsWithTheMailbox) {
    EXPECT_EQ(120000u + 10 * 2000u + 2 * 8000u, sessionAllowanceMs(120000, 2000, 8000, 10, 2 * 1048576));
    EXPECT_EQ(5000u, sessionAllowanceMs(5000, 2000, 8000, -1, 0));
    // A server's claims cannot overflow it.
    EXPECT_EQ(30ull * 24 * 3600 * 1000, sessionAllowanceMs(4294967295u, 4294967295u, 4294967295u, 2147483647,
                                                           parseStatOctets("+OK 1 99999999999999999999999")));
}

TEST(Replies, SizeLines) {
    EXPECT_EQ("MailSize:0 байт\r\n", formatSizeLine(0));
    EXPECT_EQ("MailSize:999 байт\r\n", formatSizeLine(999));
    EXPECT_EQ("MailSize:1.0 Кб\r\n", formatSizeLine(1000));
    EXPECT_EQ("MailSize:12.5 Кб\r\n", formatSizeLine(12800));
    EXPECT_EQ("MailSize:1.00 Mб\r\n", formatSizeLine(1048576));
    // The megabyte unit is a Latin M and a Cyrillic be.
    std::string mb = formatSizeLine(2 * 1048576.0);
    EXPECT_EQ('M', mb[mb.size() - 4]);
    EXPECT_EQ('\xE1', mb[mb.size() - 3]);
}

TEST(Replies, PasswordNeverReachesTheLog) {
    EXPECT_EQ("PASS ********\r\n", loggableCommand("PASS s3cr;et\r\n"));
    EXPECT_EQ("USER ivan@alpha.test\r\n", loggableCommand("USER ivan@alpha.test\r\n"));
    EXPECT_EQ("STAT\r\n", loggableCommand("STAT\r\n"));
}

TEST(Replies, Capabilities) {
    const char list[] = "USER\r\nstls\r\nSASL PLAIN LOGIN\r\nTOP\r\nSTLSX\r\n.\r\n";
    Pop3Capabilities caps = parseCapabilities(list, sizeof list - 1);
    EXPECT_TRUE(caps.stls); // any case
    EXPECT_TRUE(caps.top);
    EXPECT_FALSE(caps.uidl);
    const char noStls[] = "X-STLS\r\nSASL STLS\r\nUIDL";
    caps = parseCapabilities(noStls, sizeof noStls - 1);
    EXPECT_FALSE(caps.stls); // only the first word of a line counts
    EXPECT_TRUE(caps.uidl);  // also on a last line without its end
}

TEST(Listings, CapabilitiesAreFirstWordsOfAnyCase) {
    std::string text = "TOP\r\nuidl\r\nSASL PLAIN\r\nPipelining\r\nX-STLS-LIKE\r\n.\r\nSTLS\r\n";
    Pop3Capabilities caps = parseCapabilities(text.data(), text.size());
    EXPECT_TRUE(caps.top);
    EXPECT_TRUE(caps.uidl);
    EXPECT_TRUE(caps.pipelining);
    EXPECT_FALSE(caps.stls); // only after the terminator
}

TEST(Listings, MessagesByNumberAndMalformedListingsRefused) {
    std::vector<std::string> lines;
    std::string uidl = "1 abc\r\n3 x;y\r\n.\r\n";
    ASSERT_TRUE(parseListing(uidl.data(), uidl.size(), 3, lines));
    EXPECT_EQ("1 abc", lines[0]);
    EXPECT_EQ("", lines[1]); // left out
    EXPECT_EQ("x;y", listingUid(lines[2]));
    EXPECT_EQ("", listingUid(lines[1]));

    struct Case {
        const char* text;
        const char* why;
    } refused[] = {{"1 a\r\n1 b\r\n.\r\n", "number twice"},
                   {"4 a\r\n.\r\n", "beyond the count"},
                   {"0 a\r\n.\r\n", "zero"},
                   {"1a\r\n.\r\n", "no blank"},
                   {"99999999999999999999999 a\r\n.\r\n", "huge number"}};
    for (const Case& c : refused) {
        EXPECT_FALSE(parseListing(c.text, strlen(c.text), 3, lines)) << c.why;
    }
}
