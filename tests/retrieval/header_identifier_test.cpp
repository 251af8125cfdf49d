// The identifier rules on header texts of every shape.
#include "retrieval/header_identifier.h"

#include <gtest/gtest.h>

#include <string>

namespace {

IdentifierResult idOf(const std::string& header) {
    return deriveIdentifier(header.data(), header.size());
}

} // namespace

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
