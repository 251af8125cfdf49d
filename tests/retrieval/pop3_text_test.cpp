#include "retrieval/pop3_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

IdentifierResult idOf(const std::string& header) {
    return deriveIdentifier(header.data(), header.size());
}

std::string collectLine(const std::string& bytes, size_t chunk, size_t max = 32767) {
    LineCollector line(max);
    size_t at = 0;
    while (at < bytes.size() && !line.complete() && !line.tooLong()) {
        size_t n = std::min(chunk, bytes.size() - at);
        at += line.feed(bytes.data() + at, n);
    }
    if (line.tooLong()) {
        return "<too long>";
    }
    return line.complete() ? line.text() : "<incomplete>";
}

// Feeds the bytes in pieces of the given size; returns the finished text and
// how many bytes were left after the terminator.
std::string collectReply(const std::string& bytes, size_t chunk, size_t keep, size_t* left = nullptr,
                         bool* cut = nullptr) {
    MultilineCollector reply(keep);
    size_t at = 0;
    while (at < bytes.size() && !reply.complete()) {
        size_t n = std::min(chunk, bytes.size() - at);
        at += reply.feed(bytes.data() + at, n);
    }
    if (left != nullptr) {
        *left = bytes.size() - at;
    }
    if (cut != nullptr) {
        *cut = reply.cut();
    }
    return reply.complete() ? reply.finish() : "<incomplete>";
}

} // namespace

TEST(AccountLine, SplitFromTheRight) {
    AccountLineFields f;
    ASSERT_EQ(AccountLineError::None, splitAccountLine("Работа;ivan@alpha.test;secret;pop3.alpha.test;110", f));
    EXPECT_EQ("Работа", f.alias);
    EXPECT_EQ("ivan@alpha.test", f.address);
    EXPECT_EQ("secret", f.password);
    EXPECT_EQ("pop3.alpha.test", f.server);
    EXPECT_EQ("110", f.port);
    EXPECT_FALSE(f.portMissing);

    // A ";" in the alias: the fields are found from the right, the alias
    // keeps its text before the first ";".
    ASSERT_EQ(AccountLineError::None, splitAccountLine("Дом;дача;ivan@alpha.test;secret;host;995", f));
    EXPECT_EQ("Дом", f.alias);
    EXPECT_EQ("ivan@alpha.test", f.address);
    EXPECT_EQ("995", f.port);

    ASSERT_EQ(AccountLineError::None, splitAccountLine(";ivan@alpha.test;secret;pop3.alpha.test;110", f));
    EXPECT_EQ("ivan@alpha.test", f.alias); // an empty alias becomes the address
    EXPECT_EQ("ivan@alpha.test", f.address);
}

TEST(AccountLine, MissingFieldsAreNamed) {
    AccountLineFields f;
    EXPECT_EQ(AccountLineError::Server, splitAccountLine("only-one-field", f));
    EXPECT_TRUE(f.portMissing);
    EXPECT_EQ("110", f.port);
    EXPECT_EQ(AccountLineError::Server, splitAccountLine("server;110", f));
    EXPECT_EQ(AccountLineError::Password, splitAccountLine("secret;server;110", f));
    EXPECT_EQ(AccountLineError::Address, splitAccountLine("addr@x;secret;server;110", f));
    EXPECT_EQ(AccountLineError::None, splitAccountLine("alias;addr@x;secret;server;110", f));
    EXPECT_EQ(AccountLineError::Server, splitAccountLine("", f));
}

TEST(TestParams, AddressPasswordAndDomain) {
    std::string address, password, domain;
    ASSERT_TRUE(splitTestParams("ivan@alpha.test;se;cret", address, password, domain));
    EXPECT_EQ("ivan@alpha.test", address);
    EXPECT_EQ("se;cret", password);
    EXPECT_EQ("alpha.test", domain);
    EXPECT_FALSE(splitTestParams("ivan.alpha.test;secret", address, password, domain));
    EXPECT_FALSE(splitTestParams("ivan@alpha.test", address, password, domain));
    EXPECT_FALSE(splitTestParams("ivan;p@ss", address, password, domain));
}

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

TEST(Identifier, MessageIdInAngleBrackets) {
    IdentifierResult r = idOf("Received: x\r\nMessage-ID: <a;b@example.ru>  \t\r\nDate: y\r\n\r\n.\r\n");
    EXPECT_TRUE(r.found);
    EXPECT_EQ("a_b@example.ru", r.id);
    // The four spellings, in their order of preference.
    EXPECT_EQ("first", idOf("X: 1\r\nmessage-id: <second>\r\nMessage-Id: <first>\r\n").id);
    EXPECT_EQ("second", idOf("X: 1\r\nMessage-ID: <third>\r\nmessage-id: <second>\r\n").id);
    EXPECT_EQ("upper", idOf("X: 1\r\nMESSAGE-ID: <upper>\r\n").id);
    // Another spelling is not a message identifier: the Date line is used.
    EXPECT_EQ(" Mon", idOf("X: 1\r\nMessage-id: <other>\r\nDate: Mon\r\n").id);
    // On the very first line there is no line feed before the name: found
    // there too.
    EXPECT_EQ("first-line", idOf("Message-ID: <first-line>\r\nDate: Tue\r\n").id);
    // Without brackets the first and last characters still go.
    EXPECT_EQ("bc", idOf("X: 1\r\nMessage-ID: abcd\r\n").id);
    EXPECT_EQ("x", idOf("X: 1\r\nMessage-ID: x\r\n").id);
    // 127 characters at most.
    std::string longId = "X: 1\r\nMessage-ID: <" + std::string(300, 'z') + ">\r\n";
    EXPECT_EQ(127u, idOf(longId).id.size());
}

TEST(Identifier, ReceivedTraceAndDate) {
    std::string header = "X: 1\r\nReceived: from mx.example.ru;\r\n\tby relay; Mon, 7 Dec 2026\r\nDate: Mon\r\n";
    IdentifierResult r = idOf(header);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(' ', r.id[0]);
    EXPECT_EQ(" from mx.example.ru___\tby relay_ Mon, 7 Dec 2026__Date: Mon__", r.id);

    std::string longTrace = "X: 1\r\nReceived: " + std::string(500, 'r') + "\r\n";
    EXPECT_EQ(127u, idOf(longTrace).id.size());

    EXPECT_EQ(" Wed, 2 Dec 2026 09:00:00 +0300", idOf("X: 1\r\nDate: Wed, 2 Dec 2026 09:00:00 +0300\r\n").id);
    IdentifierResult none = idOf("X: 1\r\nSubject: nothing\r\n\r\n.\r\n");
    EXPECT_FALSE(none.found);
    EXPECT_TRUE(none.fromHeaderText);
    // An empty Message-ID falls through to the next rule.
    EXPECT_EQ(" Thu", idOf("X: 1\r\nMessage-ID: <>\r\nDate: Thu\r\n").id);
}

TEST(Identifier, HeaderOnTheFirstLine) {
    struct {
        const char* header;
        const char* id;
    } cases[] = {
        {"message-id: <low@x>\r\nReceived: by y\r\n", "low@x"},
        // A name found after a line feed keeps winning, as it always has.
        {"Message-ID: <first@x>\r\nX: 1\r\nMessage-Id: <later@x>\r\n", "later@x"},
        {"Received: from a\r\n\r\n.\r\n", " from a____.__"},
        {"Received: from a\r\nReceived: from b\r\n\r\n.\r\n", " from b____.__"},
        {"DATE: Wed\r\nX: 1\r\n", " Wed"},
        {"XMessage-ID: <not-a-name>\r\nDate: Thu\r\n", " Thu"},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.header);
        IdentifierResult r = idOf(c.header);
        EXPECT_TRUE(r.found);
        EXPECT_EQ(c.id, r.id);
    }
}

TEST(Identifier, WithoutIdentifyingHeaderTheHeaderTextIdentifies) {
    std::string plain = "From: a@b\r\nSubject: x\r\n\r\n.\r\n";
    IdentifierResult r = idOf(plain);
    EXPECT_FALSE(r.found);
    EXPECT_TRUE(r.fromHeaderText);
    // 64-bit FNV-1a, the same on every platform and at every poll.
    EXPECT_EQ("<header-fnv1a64-bf7db36b08fef71a>", r.id);
    EXPECT_EQ("<header-fnv1a64-cbf29ce484222325>", headerTextId("", 0));

    // An empty Date value, or one cut off by the end, identifies nothing.
    std::string emptyDate = "From: a@b\r\nDate:\r\n\r\n.\r\n";
    EXPECT_EQ(headerTextId(emptyDate.data(), emptyDate.size()), idOf(emptyDate).id);
    EXPECT_TRUE(idOf("From: a@b\r\nDate:").fromHeaderText);
    // One byte more or less is another mail.
    EXPECT_NE(r.id, idOf("From: a@c\r\nSubject: x\r\n\r\n.\r\n").id);
    EXPECT_NE(r.id, idOf(emptyDate).id);
}

TEST(Identifier, HeaderEndingRightAfterTheName) {
    IdentifierResult r = idOf("X: 1\r\nDate: Fri\r\nMessage-ID:");
    EXPECT_TRUE(r.messageIdEndedEarly);
    EXPECT_EQ(" Fri", r.id);
    r = idOf("X: 1\r\nReceived:");
    EXPECT_TRUE(r.receivedEndedEarly);
    EXPECT_FALSE(r.found);
    // Bytes after a NUL still count: the length is what was received.
    std::string withNul("X: 1\r\n\0\r\nMessage-ID: <after-nul>\r\n", 33);
    EXPECT_EQ("after-nul", idOf(withNul).id);
}

TEST(Framing, LinesArriveInAnyPieces) {
    for (size_t chunk : {1u, 2u, 5u, 1000u}) {
        SCOPED_TRACE(chunk);
        EXPECT_EQ("+OK 2 320\r\n", collectLine("+OK 2 320\r\n+OK next\r\n", chunk));
    }
    EXPECT_EQ("+OK bare\n", collectLine("+OK bare\nrest", 3));
    EXPECT_EQ("<incomplete>", collectLine("+OK no end", 4));
    // A line that passes the limit, its line end included, is an error as
    // soon as it does, whether a line end ever comes or not.
    EXPECT_EQ(100u, collectLine("+OK " + std::string(94, 'x') + "\r\n", 7, 100).size());
    EXPECT_EQ("<too long>", collectLine("+OK " + std::string(95, 'x') + "\r\n", 7, 100));
    EXPECT_EQ("<too long>", collectLine("+OK " + std::string(100000, 'x'), 4096, 100));
}

TEST(Framing, MultilineReplyUpToTheTerminator) {
    std::string header = "From: a@b\r\nSubject: x\r\n\r\n.\r\n";
    for (size_t chunk : {1u, 3u, 7u, 4096u}) {
        SCOPED_TRACE(chunk);
        size_t left = 0;
        EXPECT_EQ(header, collectReply(header + "+OK next\r\n", chunk, 1 << 20, &left));
        EXPECT_EQ(10u, left); // the bytes of the next reply stay unread
    }
    // A dot-stuffed line and a dot inside a line are no terminator.
    std::string stuffed = "X-A: 1\r\n..hidden\r\nY: a.\r\n\r\n.\r\n";
    EXPECT_EQ(stuffed, collectReply(stuffed, 2, 1 << 20));
    // An empty header is closed in the usual form.
    EXPECT_EQ("\r\n.\r\n", collectReply(".\r\n", 1, 1 << 20));
    // A terminator without CR.
    EXPECT_EQ("A: 1\n\n\r\n.\r\n", collectReply("A: 1\n\n.\n", 1, 1 << 20));
    EXPECT_EQ("<incomplete>", collectReply("A: 1\r\n\r\n", 1, 1 << 20));
}

TEST(Framing, HugeReplyIsCutAtALineAndStillReadToItsEnd) {
    std::string header;
    for (int i = 0; i < 30000; i++) {
        header += "X-Filler: " + std::string(60, 'f') + "\r\n";
    }
    header += "\r\n.\r\n+OK";
    size_t left = 0;
    bool cut = false;
    std::string got = collectReply(header, 65536, 1 << 20, &left, &cut);
    EXPECT_TRUE(cut);
    EXPECT_EQ(3u, left);
    EXPECT_LE(got.size(), (1u << 20) + 5);
    EXPECT_EQ("\r\n\r\n.\r\n", got.substr(got.size() - 7));
    EXPECT_EQ(0u, got.find("X-Filler: "));
}

TEST(Pop3Text, CapabilitiesAndPort) {
    const char list[] = "USER\r\nstls\r\nSASL PLAIN LOGIN\r\nTOP\r\nSTLSX\r\n.\r\n";
    Pop3Capabilities caps = parseCapabilities(list, sizeof list - 1);
    EXPECT_TRUE(caps.stls); // any case
    EXPECT_TRUE(caps.top);
    EXPECT_FALSE(caps.uidl);
    const char noStls[] = "X-STLS\r\nSASL STLS\r\nUIDL";
    caps = parseCapabilities(noStls, sizeof noStls - 1);
    EXPECT_FALSE(caps.stls); // only the first word of a line counts
    EXPECT_TRUE(caps.uidl);  // also on a last line without its end

    EXPECT_EQ(995, parsePort("995"));
    for (const char* bad : {"", "0", "65536", "99999999", "11O", " 110"}) {
        EXPECT_EQ(110, parsePort(bad)) << bad;
    }
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

TEST(Listings, CacheLinesReadBackAndBadOnesSkipped) {
    std::string text = formatUidCacheLine("u1", 1500.0, " Wed, 2 Dec 2026 09:00:00 +0300") +
                       formatUidCacheLine("u2", 12.0, "id@x") + "no-size-here\r\nu3 1x2 id\r\nu4 5 unfinished";
    UidCache cache;
    parseUidCache(text.data(), text.size(), cache);
    ASSERT_EQ(2u, cache.size());
    EXPECT_EQ("1500", cache["u1"].size);
    EXPECT_EQ(" Wed, 2 Dec 2026 09:00:00 +0300", cache["u1"].id); // blanks of the identifier kept
    EXPECT_EQ("id@x", cache["u2"].id);

    // Four Windows-1251 letters, a slash and a colon become "_".
    const char* address = "\xC8\xE2\xE0\xED/ivan:x@mail.ru";
    std::string name = uidCacheFileName(address, "pop.mail.ru");
    EXPECT_EQ(0u, name.find("Uidl______ivan_x@mail.ru_")) << name;
    EXPECT_EQ(name.size() - 4, name.find(".txt"));
    EXPECT_NE(name, uidCacheFileName(address, "pop3.mail.ru"));
}
