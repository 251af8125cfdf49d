// IMAP responses collected from pieces of any size and parsed.
#include "retrieval/imap_framing.h"
#include "retrieval/imap_replies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr size_t kLineLimit = 4096;
constexpr size_t kKeepLimit = 2 * 1024 * 1024;

struct Collected {
    std::vector<ImapFramed> responses;
    std::string error;  // "tooLong" or "badLiteral" when the framing stopped
    std::string unused; // bytes after the last complete response
};

// Feeds the bytes in pieces of the given size, first cutting them at `split`.
Collected collect(const std::string& bytes, size_t chunk, size_t split = 0, size_t lineLimit = kLineLimit,
                  size_t keepLimit = kKeepLimit) {
    Collected out;
    ImapResponseCollector collector(lineLimit, keepLimit);
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = std::min(bytes.size(), at + chunk);
        if (at < split && split < end) {
            end = split;
        }
        size_t taken = collector.feed(bytes.data() + at, end - at);
        at += taken;
        if (collector.failed()) {
            out.error = collector.tooLong() ? "tooLong" : "badLiteral";
            return out;
        }
        if (collector.complete()) {
            out.responses.push_back(collector.take());
        } else if (taken == 0) {
            break;
        }
    }
    out.unused = collector.response().text;
    return out;
}

std::string literal(const std::string& bytes) {
    return "{" + std::to_string(bytes.size()) + "}\r\n" + bytes;
}

const std::string kHeader = "From: a@b.test\r\nSubject: (x) \"y\" {5}\r\n\r\n";

} // namespace

TEST(ImapFraming, ResponsesSplitAtEveryByteGiveTheSameResult) {
    const std::string stream = "* OK [CAPABILITY IMAP4rev1 LITERAL+] ready\r\n"
                               "* 1 FETCH (UID 7 BODY[HEADER] " +
                               literal(kHeader) + " RFC822.SIZE 120)\r\n" +
                               "* 2 FETCH (BODY[HEADER] {0}\r\n UID 8)\r\n" + "* 3 FETCH (X {3+}\r\nabc Y (" +
                               literal("a\r\n") + " " + literal("") + ") UID 9)\r\n" + "A0001 OK done\r\n";
    Collected whole = collect(stream, stream.size());
    ASSERT_EQ(5u, whole.responses.size());
    EXPECT_EQ("", whole.unused);
    std::string joined;
    for (const ImapFramed& r : whole.responses) {
        joined += r.text;
        EXPECT_TRUE(r.cutLiterals.empty());
    }
    EXPECT_EQ(stream, joined); // nothing cut, nothing lost
    for (size_t split = 1; split < stream.size(); split++) {
        Collected parts = collect(stream, stream.size(), split);
        ASSERT_EQ(whole.responses.size(), parts.responses.size()) << split;
        for (size_t i = 0; i < parts.responses.size(); i++) {
            ASSERT_EQ(whole.responses[i].text, parts.responses[i].text) << split;
        }
    }
    for (size_t chunk : {1u, 2u, 3u, 7u}) {
        Collected parts = collect(stream, chunk);
        ASSERT_EQ(whole.responses.size(), parts.responses.size()) << chunk;
        ImapResponse second = parseImapResponse(parts.responses[2]);
        EXPECT_EQ(8u, second.fetch.uid);
        EXPECT_TRUE(second.fetch.hasHeader);
        EXPECT_EQ("", second.fetch.header);
        EXPECT_EQ(9u, parseImapResponse(parts.responses[3]).fetch.uid);
    }
}

TEST(ImapFraming, LineLimitAndLiteralSizes) {
    std::string line = "* OK " + std::string(kLineLimit - 7, 'x') + "\r\n";
    ASSERT_EQ(kLineLimit, line.size());
    EXPECT_EQ(1u, collect(line, 100).responses.size());
    EXPECT_EQ("tooLong", collect("* OK x" + line, 100).error);
    EXPECT_EQ("tooLong", collect(std::string(100000, 'x'), 4096).error);
    // The line parts of one response count together; literals do not.
    std::string parts = "* 1 FETCH (A " + literal(std::string(5000, 'y')) + " B " + literal("z") + ")\r\n";
    EXPECT_EQ(1u, collect(parts, 512).responses.size());
    std::string longParts = "* 1 FETCH (A {0}\r\n" + std::string(kLineLimit - 10, ' ') + "{0}\r\n)\r\n";
    EXPECT_EQ("tooLong", collect(longParts, 512).error);

    EXPECT_EQ("badLiteral", collect("* 1 FETCH (BODY[HEADER] {4294967296}\r\nabc", 9).error);
    EXPECT_EQ("badLiteral", collect("* 1 FETCH (BODY[HEADER] {99999999999999999999999}\r\n", 9).error);
    // The largest size is taken and waited for.
    Collected most = collect("* 1 FETCH (BODY[HEADER] {4294967295+}\r\nabc", 9);
    EXPECT_EQ("", most.error);
    EXPECT_TRUE(most.responses.empty());
    // Braces without a size in them are text.
    ImapResponse text = parseImapResponse(collect("* OK {} {x}\r\n", 3).responses.at(0));
    EXPECT_EQ("{} {x}", text.text);
}

TEST(ImapFraming, HugeLiteralIsReadToItsEndButCutAtTheKeepLimit) {
    const size_t keep = 1000;
    std::string header;
    for (int i = 0; header.size() < 5000; i++) {
        header += "X-Line-" + std::to_string(i) + ": " + std::string(40, 'h') + "\r\n";
    }
    header += "\r\n";
    std::string stream = "* 1 FETCH (UID 4 BODY[HEADER] " + literal(header) + " FLAGS (\\Seen))\r\n" +
                         "* 2 FETCH (UID 5 BODY[HEADER] " + literal("Subject: s\r\n\r\n") + ")\r\nA1 OK";
    for (size_t chunk : {1u, 13u, 4096u}) {
        Collected got = collect(stream, chunk, 0, kLineLimit, keep);
        ASSERT_EQ(2u, got.responses.size());
        EXPECT_EQ("A1 OK", got.unused);
        ImapResponse first = parseImapResponse(got.responses[0]);
        ASSERT_EQ(ImapKind::Untagged, first.kind);
        EXPECT_EQ(4u, first.fetch.uid);
        EXPECT_TRUE(first.fetch.headerCut);
        EXPECT_EQ(std::vector<std::string>{"\\Seen"}, first.flags);
        // Whole lines only, closed by an empty line, within the limit.
        const std::string& cut = first.fetch.header;
        EXPECT_LE(cut.size(), keep + 2);
        EXPECT_GT(cut.size(), keep - 60);
        EXPECT_EQ(0u, header.compare(0, cut.size() - 2, cut, 0, cut.size() - 2));
        EXPECT_EQ("\r\n\r\n", cut.substr(cut.size() - 4));
        // The next response has a keep limit of its own.
        ImapResponse second = parseImapResponse(got.responses[1]);
        EXPECT_FALSE(second.fetch.headerCut);
        EXPECT_EQ("Subject: s\r\n\r\n", second.fetch.header);
    }
    // A literal without a line end within the limit keeps nothing but the
    // empty line; one with bare LFs gets CR LF at its cut.
    ImapResponse bare = parseImapResponse(
        collect("* 1 FETCH (UID 1 BODY[HEADER] " + literal(std::string(3000, 'z')) + ")\r\n", 64, 0, kLineLimit, keep)
            .responses.at(0));
    EXPECT_EQ("\r\n", bare.fetch.header);
    ImapResponse lf = parseImapResponse(
        collect("* 1 FETCH (UID 1 BODY[HEADER] " + literal("A: 1\nB: " + std::string(3000, 'z')) + ")\r\n", 64, 0,
                kLineLimit, keep)
            .responses.at(0));
    EXPECT_EQ("A: 1\r\n\r\n", lf.fetch.header);
}

TEST(ImapFraming, LiteralsThatLookLikeResponsesStayInsideTheirFetch) {
    std::string inner = "* 9 EXISTS\r\nA0001 OK fake\r\n+ go\r\n";
    std::string stream = "* 1 FETCH (UID 1 BODY[HEADER] " + literal(inner) + ")\r\n* 3 EXISTS\r\n* 1 EXPUNGE\r\n" +
                         "* 2 FETCH (UID 2 RFC822.SIZE 10 BODY[HEADER] NIL)\r\nA0001 OK FETCH done\r\n";
    Collected got = collect(stream, 5);
    ASSERT_EQ(5u, got.responses.size());
    std::vector<ImapResponse> r;
    for (const ImapFramed& f : got.responses) {
        r.push_back(parseImapResponse(f));
    }
    EXPECT_EQ(inner, r[0].fetch.header);
    EXPECT_EQ(ImapData::Exists, r[1].data);
    EXPECT_EQ(3u, r[1].number);
    EXPECT_EQ(ImapData::Expunge, r[2].data);
    EXPECT_TRUE(r[3].fetch.headerNil);
    EXPECT_EQ(10u, r[3].fetch.size);
    EXPECT_EQ(ImapKind::Tagged, r[4].kind);
    EXPECT_EQ("A0001", r[4].tag);
}

TEST(ImapReplies, StatusResponsesWithTheirCodes) {
    ImapResponse r = parseImapResponse("A0002 ok [CAPABILITY IMAP4rev1 auth=PLAIN idle LITERAL+] Logged in\r\n");
    EXPECT_EQ(ImapKind::Tagged, r.kind);
    EXPECT_EQ("A0002", r.tag);
    EXPECT_EQ(ImapStatus::Ok, r.status);
    EXPECT_EQ("CAPABILITY", r.code.name);
    EXPECT_EQ((std::vector<std::string>{"IMAP4REV1", "AUTH=PLAIN", "IDLE", "LITERAL+"}), r.capabilities);
    EXPECT_EQ("Logged in", r.text);

    r = parseImapResponse("* OK [UIDVALIDITY 4294967295] UIDs valid\r\n");
    EXPECT_EQ(ImapData::Status, r.data);
    EXPECT_TRUE(r.code.hasNumber);
    EXPECT_EQ(4294967295u, r.code.number);
    r = parseImapResponse("* OK [UIDNEXT 4392] Predicted next UID\r\n");
    EXPECT_EQ("UIDNEXT", r.code.name);
    EXPECT_EQ(4392u, r.code.number);
    r = parseImapResponse("* OK [PERMANENTFLAGS (\\Deleted \\Seen \\*)] Limited\r\n");
    EXPECT_EQ("(\\Deleted \\Seen \\*)", r.code.argument);
    r = parseImapResponse("A3 OK [READ-ONLY] EXAMINE completed\r\n");
    EXPECT_EQ("READ-ONLY", r.code.name);
    EXPECT_EQ("EXAMINE completed", r.text);
    r = parseImapResponse("* NO [ALERT] Quota \"[90%]\" reached\r\n");
    EXPECT_EQ(ImapStatus::No, r.status);
    EXPECT_EQ("ALERT", r.code.name);
    EXPECT_EQ("Quota \"[90%]\" reached", r.text);
    r = parseImapResponse("* BYE Autologout; idle for too long\r\n");
    EXPECT_EQ(ImapStatus::Bye, r.status);
    r = parseImapResponse("A4 BAD\r\n");
    EXPECT_EQ(ImapStatus::Bad, r.status);
    EXPECT_EQ("", r.text);
    r = parseImapResponse("* PREAUTH ready\r\n");
    EXPECT_EQ(ImapStatus::Preauth, r.status);
    r = parseImapResponse("+ idling\r\n");
    EXPECT_EQ(ImapKind::Continuation, r.kind);
    EXPECT_EQ("idling", r.text);
    EXPECT_EQ(ImapKind::Continuation, parseImapResponse("+\r\n").kind);

    // Numbers of codes are range-checked; unknown codes and data are no fault.
    EXPECT_EQ(ImapKind::Malformed, parseImapResponse("* OK [UIDVALIDITY 4294967296] x\r\n").kind);
    EXPECT_EQ(ImapKind::Malformed, parseImapResponse("* OK [UIDVALIDITY 0] x\r\n").kind);
    EXPECT_EQ(ImapKind::Malformed, parseImapResponse("* OK [UIDNEXT] x\r\n").kind);
    EXPECT_EQ(ImapKind::Malformed, parseImapResponse("* OK [ALERT x\r\n").kind);
    EXPECT_EQ(ImapData::Other, parseImapResponse("* LIST (\\HasNoChildren) \"/\" INBOX\r\n").data);
    EXPECT_EQ(ImapData::Other, parseImapResponse("* 4 XNEW (a b)\r\n").data);
}

TEST(ImapReplies, MailboxData) {
    ImapResponse r = parseImapResponse("* CAPABILITY IMAP4rev2 STARTTLS LoginDisabled UIDPLUS\r\n");
    EXPECT_EQ(ImapData::Capability, r.data);
    EXPECT_EQ((std::vector<std::string>{"IMAP4REV2", "STARTTLS", "LOGINDISABLED", "UIDPLUS"}), r.capabilities);
    r = parseImapResponse("* 172 EXISTS\r\n");
    EXPECT_EQ(ImapData::Exists, r.data);
    EXPECT_EQ(172u, r.number);
    EXPECT_EQ(ImapData::Exists, parseImapResponse("* 0 EXISTS\r\n").data);
    EXPECT_EQ(ImapData::Recent, parseImapResponse("* 1 RECENT\r\n").data);
    EXPECT_EQ(ImapData::Expunge, parseImapResponse("* 44 expunge\r\n").data);
    r = parseImapResponse("* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft $Forwarded)\r\n");
    EXPECT_EQ(ImapData::Flags, r.data);
    EXPECT_EQ(6u, r.flags.size());
    EXPECT_EQ("$Forwarded", r.flags.back());
    EXPECT_EQ(ImapData::Flags, parseImapResponse("* FLAGS ()\r\n").data);
    r = parseImapResponse("* SEARCH 2 84 882\r\n");
    EXPECT_EQ((std::vector<uint32_t>{2, 84, 882}), r.numbers);
    EXPECT_TRUE(parseImapResponse("* SEARCH\r\n").numbers.empty());
    r = parseImapResponse("* ESEARCH (TAG \"A285\") UID MIN 7 ALL 7:9,11,20:15 MAX 20\r\n");
    EXPECT_EQ(ImapData::Esearch, r.data);
    EXPECT_TRUE(r.uids);
    using Range = std::pair<uint32_t, uint32_t>;
    EXPECT_EQ((std::vector<Range>{{7, 9}, {11, 11}, {15, 20}}), r.ranges);
    EXPECT_EQ(ImapData::Esearch, parseImapResponse("* ESEARCH (TAG \"A1\") UID\r\n").data);

    for (const char* bad : {"* 4294967296 EXISTS\r\n", "* 0 EXPUNGE\r\n", "* 3 EXISTS now\r\n", "* SEARCH 1 x\r\n",
                            "* SEARCH 0\r\n", "* FLAGS (\\Seen\r\n", "* FLAGS \\Seen\r\n", "* CAPABILITY IMAP4 (x)\r\n",
                            "* ESEARCH ALL 3:0\r\n", "* ESEARCH ALL\r\n"}) {
        EXPECT_EQ(ImapKind::Malformed, parseImapResponse(bad).kind) << bad;
    }
}

TEST(ImapReplies, FetchItemsInAnyOrderWithUnknownOnesSkipped) {
    const std::string expected = "Subject: hi\r\n\r\n";
    // The header as a literal, a literal8 or a quoted string (which holds no
    // line end and has its escapes undone).
    for (const std::string& items :
         {"UID 17 RFC822.SIZE 2048 FLAGS (\\Seen $Label1) BODY[HEADER] " + literal(expected),
          "BODY[HEADER] " + literal(expected) + " FLAGS (\\Seen $Label1) UID 17 RFC822.SIZE 2048",
          "BODYSTRUCTURE (\"TEXT\" \"PLAIN\" (\"CHARSET\" \"a)(b\") NIL NIL \"7BIT\" 3 1) rfc822.size 2048 "
          "X-GM-LABELS (\\Inbox " +
              literal("a)b(") +
              " ((nested) \"q\\\"\")) uid 17 MODSEQ (12345) "
              "BODY[HEADER.FIELDS (DATE FROM)] {3}\r\nx\r\n INTERNALDATE \"17-Jul-1996 02:44:25 -0700\" "
              "BINARY.SIZE[1] 4 BODY[1]<0> NIL FLAGS (\\Seen $Label1) BODY[HEADER] \"Subject: hi\\\"\"",
          "UID 17 RFC822.SIZE 2048 FLAGS (\\Seen $Label1) BODY[HEADER] ~" + literal(expected)}) {
        ImapResponse r = parseImapResponse("* 12 FETCH (" + items + ")\r\n");
        ASSERT_EQ(ImapKind::Untagged, r.kind) << items;
        EXPECT_EQ(ImapData::Fetch, r.data);
        EXPECT_EQ(12u, r.number);
        EXPECT_EQ(17u, r.fetch.uid);
        EXPECT_EQ(2048u, r.fetch.size);
        EXPECT_EQ((std::vector<std::string>{"\\Seen", "$Label1"}), r.flags);
        EXPECT_TRUE(r.fetch.hasHeader);
        EXPECT_FALSE(r.fetch.headerNil);
        EXPECT_EQ(items.back() == '"' ? "Subject: hi\"" : expected, r.fetch.header);
    }
    // A flag update the server sends on its own has no UID; sizes and
    // headers always need one.
    ImapResponse update = parseImapResponse("* 3 FETCH (FLAGS (\\Deleted))\r\n");
    EXPECT_EQ(ImapData::Fetch, update.data);
    EXPECT_EQ(0u, update.fetch.uid);
    EXPECT_EQ(ImapKind::Malformed, parseImapResponse("* 3 FETCH (RFC822.SIZE 5)\r\n").kind);
    EXPECT_EQ(ImapKind::Malformed, parseImapResponse("* 3 FETCH (UID 0 RFC822.SIZE 5)\r\n").kind);
    EXPECT_EQ(ImapKind::Malformed, parseImapResponse("* 3 FETCH (UID 4294967296)\r\n").kind);
    EXPECT_EQ(ImapKind::Malformed, parseImapResponse("* 3 FETCH (UID 1 RFC822.SIZE 4294967296)\r\n").kind);
    EXPECT_EQ(4294967295u, parseImapResponse("* 3 FETCH (UID 4294967295)\r\n").fetch.uid);
}

TEST(ImapReplies, MalformedResponsesAreReportedNotReadPastTheirEnd) {
    for (const char* bad : {"",
                            "\r\n",
                            "*",
                            "* \r\n",
                            "A1\r\n",
                            "A1 MAYBE so\r\n",
                            " OK\r\n",
                            "* 1 FETCH (UID 1 BODY[HEADER] \"open\r\n",
                            "* 1 FETCH (UID 1 BODY[HEADER] \"bad \\escape\")\r\n",
                            "* 1 FETCH (UID 1 BODY[HEADER] {10}\r\nshort)\r\n",
                            "* 1 FETCH (UID 1 BODY[HEADER] {99999999999999999999}\r\nx)\r\n",
                            "* 1 FETCH (UID 1 X (a (b)\r\n",
                            "* 1 FETCH (UID 1\r\n",
                            "* 1 FETCH UID 1\r\n",
                            "* 1 FETCH (UID 1 X)\r\n",
                            "* 1 FETCH (UID 1 X (a)))\r\n",
                            "* 1 FETCH (UID 1 BODY[HEADER NIL)\r\n",
                            "* 1 FETCH (UID 1 BODY[HEADER] NILS)\r\n",
                            "* 1 FETCH (UID 1 FLAGS (\\))\r\n",
                            "* 1 FETCH (UID 1 BODY[HEADER] \"a\rb\")\r\n",
                            "* 1 FETCH (UID 1) extra\r\n"}) {
        ImapResponse r = parseImapResponse(bad);
        EXPECT_EQ(ImapKind::Malformed, r.kind) << bad;
    }
    // A text without its line end still reads to its last byte and no further.
    EXPECT_EQ(5u, parseImapResponse("* 5 EXISTS").number);
}
