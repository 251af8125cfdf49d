// The framing of POP3 replies: one status line, or a multi-line reply up to
// its terminating "." line, collected however the bytes arrive.
#pragma once
#include <cstddef>
#include <string>

// Collects one reply line up to its line end (LF, normally after CR), however
// the bytes arrive. A line whose bytes, line end included, pass maxLength is
// too long: the collector stops taking bytes at the first one beyond.
class LineCollector {
public:
    explicit LineCollector(size_t maxLength) : maxLength_(maxLength) {}
    // Takes bytes until the line is complete or too long; returns how many it
    // took.
    size_t feed(const char* data, size_t size);
    bool complete() const { return complete_; }
    bool tooLong() const { return tooLong_; }
    const std::string& text() const { return text_; }

private:
    size_t maxLength_;
    bool complete_ = false;
    bool tooLong_ = false;
    std::string text_;
};

// Collects a multi-line reply after its status line up to and including the
// terminating line ".". Beyond keepLimit bytes the text is no longer kept, but
// reading goes on to the terminator; finish() then cuts the kept text at a
// line end and closes it with an empty line and the terminator, so that the
// result always ends with "\r\n.\r\n".
class MultilineCollector {
public:
    explicit MultilineCollector(size_t keepLimit) : keepLimit_(keepLimit) {}
    size_t feed(const char* data, size_t size);
    bool complete() const { return complete_; }
    bool cut() const { return cut_; }
    size_t received() const { return received_; }
    // The collected text, finished as described above.
    std::string finish();

private:
    size_t keepLimit_;
    bool complete_ = false;
    bool cut_ = false;
    size_t received_ = 0;
    size_t lineLength_ = 0;  // bytes of the current line so far
    bool lineIsDot_ = false; // the current line is "." so far (a CR may follow)
    std::string text_;
};
