// The texts of IMAP commands: tags, strings, logged forms and UID sets.
#include "retrieval/imap_commands.h"
#include "retrieval/imap_replies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

TEST(ImapCommands, TagsCountUp) {
    ImapTags tags;
    EXPECT_EQ("A0001", tags.next());
    EXPECT_EQ("A0002", tags.next());
    for (int i = 3; i < 10000; i++) {
        tags.next();
    }
    EXPECT_EQ("A10000", tags.next());
}

TEST(ImapCommands, StringsAreQuotedOrSentAsLiterals) {
    ImapCommandParts quoted = imapLoginCommand("A1", "ivan@alpha.test", "p\"w\\1 x", false);
    EXPECT_EQ(ImapCommandParts{"A1 LOGIN \"ivan@alpha.test\" \"p\\\"w\\\\1 x\"\r\n"}, quoted);
    EXPECT_EQ(ImapCommandParts{"A1 LOGIN \"\" \"\"\r\n"}, imapLoginCommand("A1", "", "", false));
    // Line ends, NUL and 8-bit bytes need a literal: without LITERAL+ its
    // bytes wait for the server's continuation.
    ImapCommandParts sync = imapLoginCommand("A2", "anna", "\xEF\xE0\xF0\xEE\xEB\xFC", false);
    EXPECT_EQ((ImapCommandParts{"A2 LOGIN \"anna\" {6}\r\n", "\xEF\xE0\xF0\xEE\xEB\xFC\r\n"}), sync);
    ImapCommandParts plus = imapLoginCommand("A2", "a\rb", std::string("x\0y", 3), true);
    EXPECT_EQ(ImapCommandParts{std::string("A2 LOGIN {3+}\r\na\rb {3+}\r\nx\0y\r\n", 30)}, plus);
    ImapCommandParts both = imapLoginCommand("A3", "a\nb", "c\nd", false);
    EXPECT_EQ((ImapCommandParts{"A3 LOGIN {3}\r\n", "a\nb {3}\r\n", "c\nd\r\n"}), both);

    // Whatever the value, the server reads back the same bytes.
    for (const std::string& value : {std::string("plain"), std::string("\"\\\"\\"), std::string("a\r\nb\0c", 6),
                                     std::string("\xFF\x80 ()[]{5}")}) {
        ImapCommandParts parts{"* 1 FETCH (UID 1 BODY[HEADER] "};
        appendImapString(parts, value, true);
        parts.back() += ")\r\n";
        EXPECT_EQ(value, parseImapResponse(parts.back()).fetch.header);
    }
}

TEST(ImapCommands, SecretsNeverReachTheLog) {
    EXPECT_EQ("A1 LOGIN \"ivan\" ********\r\n", loggableImapCommand(imapLoginCommand("A1", "ivan", "s3 \"x\"", false)));
    EXPECT_EQ("A1 LOGIN \"ivan\" ********\r\n", loggableImapCommand(imapLoginCommand("A1", "ivan", "\xE9\r\n", false)));
    EXPECT_EQ("A1 LOGIN {5+}\r\na\r\nbc ********\r\n",
              loggableImapCommand(imapLoginCommand("A1", "a\r\nbc", "pw", true)));
    // A user that cannot be read leaves nothing after LOGIN shown.
    EXPECT_EQ("A1 login ********\r\n", loggableImapCommand({"A1 login \"ivan pw\r\n"}));
    EXPECT_EQ("A1 LOGIN ********\r\n", loggableImapCommand({"A1 LOGIN {99}\r\nivan pw\r\n"}));
    EXPECT_EQ("A2 AUTHENTICATE PLAIN ********\r\n", loggableImapCommand({"A2 AUTHENTICATE PLAIN AGl2YW4AcHc=\r\n"}));
    EXPECT_EQ("A2 AUTHENTICATE PLAIN\r\n", loggableImapCommand({"A2 AUTHENTICATE PLAIN\r\n"}));
    EXPECT_EQ("A3 UID FETCH 1:4 (UID BODY.PEEK[HEADER])\r\n",
              loggableImapCommand({"A3 UID FETCH 1:4 (UID BODY.PEEK[HEADER])\r\n"}));
    EXPECT_EQ("A4 LOGINX a b\r\n", loggableImapCommand({"A4 LOGINX a b\r\n"}));
}

TEST(ImapCommands, UidSetsInBatches) {
    using Sets = std::vector<std::string>;
    EXPECT_EQ(Sets{"1:5,7,9:12"}, imapUidSets({1, 2, 3, 4, 5, 7, 9, 10, 11, 12}, 100, 100));
    EXPECT_EQ(Sets{}, imapUidSets({}, 100, 100));
    EXPECT_EQ(Sets{"3,4294967295"}, imapUidSets({0, 3, 3, 4294967295u, 4294967295u}, 100, 100));
    EXPECT_EQ(Sets{"4294967294:4294967295"}, imapUidSets({4294967294u, 4294967295u}, 100, 100));
    // No set passes the length; a range is never split for it.
    EXPECT_EQ((Sets{"10,20", "30,40", "50"}), imapUidSets({10, 20, 30, 40, 50}, 5, 100));
    std::vector<uint32_t> run;
    for (uint32_t uid = 100; uid <= 200; uid++) {
        run.push_back(uid);
    }
    run.push_back(300);
    EXPECT_EQ((Sets{"100:200", "300"}), imapUidSets(run, 3, 1000));
    // Nor names more UIDs than the count, ranges included.
    EXPECT_EQ((Sets{"1:3", "4:5,7", "8:10"}), imapUidSets({1, 2, 3, 4, 5, 7, 8, 9, 10}, 100, 3));
    EXPECT_EQ((Sets{"1,3", "5"}), imapUidSets({1, 3, 5}, 100, 2));
    std::vector<uint32_t> many;
    for (uint32_t uid = 1; uid <= 50000; uid += 2) {
        many.push_back(uid);
    }
    Sets sets = imapUidSets(many, 1000, 500);
    size_t named = 0;
    for (const std::string& set : sets) {
        EXPECT_LE(set.size(), 1000u);
        named += static_cast<size_t>(std::count(set.begin(), set.end(), ',')) + 1;
    }
    EXPECT_EQ(many.size(), named);
}
