// Reply lines and multi-line replies collected from pieces of any size.
#include "retrieval/reply_framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

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
