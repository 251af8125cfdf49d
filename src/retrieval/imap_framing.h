// The framing of IMAP responses: one line, or a line interrupted by literals
// ("{n}" or "{n+}" at its end, then n bytes, then the rest of the line),
// collected however the bytes arrive and within bounded memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One whole response as collected: its line parts and literals in the order
// they came. Each literal follows its size marker, and a literal kept only in
// part has its marker rewritten to the size kept, so that the text reads as a
// well-formed response whatever was cut.
struct ImapFramed {
    std::string text;
    // The offsets in text of the first byte of each literal kept only in part.
    std::vector<size_t> cutLiterals;
};

// Collects one response. The line parts together may hold at most lineLimit
// bytes (line ends included); one more byte is an error (tooLong) and the
// collector takes no more. The literals together keep at most keepLimit
// bytes: beyond it a literal is read to its end but kept only up to its last
// line end within the limit, closed with an empty line as a cut header is.
// A literal size that is not a 32-bit number is an error (badLiteral).
class ImapResponseCollector {
public:
    ImapResponseCollector(size_t lineLimit, size_t keepLimit) : lineLimit_(lineLimit), keepLimit_(keepLimit) {}
    // Takes bytes until the response is complete or an error stops it;
    // returns how many it took (the rest belongs to the next response).
    size_t feed(const char* data, size_t size);
    bool complete() const { return complete_; }
    bool tooLong() const { return tooLong_; }
    bool badLiteral() const { return badLiteral_; }
    bool failed() const { return tooLong_ || badLiteral_; }
    // The bytes the response took on the wire, the skipped ones included.
    uint64_t received() const { return received_; }
    const ImapFramed& response() const { return framed_; }
    // Hands the response over and makes the collector ready for the next.
    ImapFramed take();

private:
    size_t feedLine(const char* data, size_t size);
    size_t feedLiteral(const char* data, size_t size);
    void endLine();
    void endLiteral();

    size_t lineLimit_;
    size_t keepLimit_;
    ImapFramed framed_;
    size_t lineBytes_ = 0;    // bytes of line parts so far
    size_t literalKept_ = 0;  // bytes of literals kept so far
    size_t partStart_ = 0;    // offset of the current line part in the text
    size_t markerStart_ = 0;  // offset of the "{" of the current literal
    size_t literalStart_ = 0; // offset of the current literal's first byte
    uint64_t remaining_ = 0;  // bytes of the current literal still to come
    bool inLiteral_ = false;
    bool literalCut_ = false;
    bool complete_ = false;
    bool tooLong_ = false;
    bool badLiteral_ = false;
    uint64_t received_ = 0;
};

// The size of the literal announced at the end of a line part ("...{n}" or
// "...{n+}" before its line end): 1 when there is one, 0 when the part ends
// otherwise, -1 when the braces hold digits that are no 32-bit number. start
// receives the offset of the "{".
int literalMarker(const std::string& text, size_t partStart, size_t lineEnd, uint64_t& size, size_t& start);
