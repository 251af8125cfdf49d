// An IMAP header in the form a POP3 "TOP n 0" gives the same header, and the
// cache key of an IMAP message.
#include "retrieval/imap_header_text.h"

#include <gtest/gtest.h>

TEST(ImapHeaderText, HeaderTakesTheFormOfATopReply) {
    // The usual header: the empty line that ends it, then the "." line.
    EXPECT_EQ("From: a\r\nSubject: b\r\n\r\n.\r\n", pop3StyleHeader("From: a\r\nSubject: b\r\n\r\n"));
    // A line that begins with "." is doubled as POP3 sends it; one inside a
    // line is left alone.
    EXPECT_EQ("X: 1\r\n..dot\r\n\tfold.x\r\n\r\n.\r\n", pop3StyleHeader("X: 1\r\n.dot\r\n\tfold.x\r\n\r\n"));
    EXPECT_EQ("..\r\n\r\n.\r\n", pop3StyleHeader(".\r\n\r\n"));
    // A message without a body may lack the empty line, or even its last
    // line end.
    EXPECT_EQ("From: a\r\n\r\n.\r\n", pop3StyleHeader("From: a\r\n"));
    EXPECT_EQ("From: a\r\n\r\n.\r\n", pop3StyleHeader("From: a"));
    EXPECT_EQ("\r\n.\r\n", pop3StyleHeader(""));
    // Bare line ends stay as the server sent them; the empty line is there.
    EXPECT_EQ("From: a\n\n.\r\n", pop3StyleHeader("From: a\n\n"));
}

TEST(ImapHeaderText, CacheKeyChangesWithUidValidity) {
    EXPECT_EQ("1.7", imapCacheKey(1, 7));
    EXPECT_EQ("4294967295.4294967295", imapCacheKey(4294967295u, 4294967295u));
    EXPECT_NE(imapCacheKey(1, 17), imapCacheKey(11, 7));
}
