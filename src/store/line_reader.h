// Walks the lines of a file image. A line is the text before a "\r\n". Text
// after the last "\r\n" is an unfinished line: in the mail files a record cut
// short, never returned; in the account files a line typed without its line
// end, returned as the last line when asked for. The text may hold any
// bytes, NULs and lone CR or LF included.
#pragma once
#include <cstddef>

enum class UnfinishedLine { Skip, Read };

class LineReader {
public:
    LineReader(const char* text, size_t size, UnfinishedLine last = UnfinishedLine::Skip)
        : text_(text), size_(size), last_(last) {}

    // The next line without its "\r\n"; false when none is left.
    bool next(const char*& line, size_t& length);

private:
    const char* text_;
    size_t size_;
    UnfinishedLine last_;
    size_t pos_ = 0;
};

// The number of lines of a file image that a LineReader returns.
size_t countLines(const char* text, size_t size, UnfinishedLine last = UnfinishedLine::Skip);
