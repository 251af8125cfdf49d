// Walks the lines of a file image. A line is the text before a "\r\n"; text
// after the last "\r\n" is an unfinished line and is never returned. The text
// may hold any bytes, NULs and lone CR or LF included.
#pragma once
#include <cstddef>

class LineReader {
public:
    LineReader(const char* text, size_t size) : text_(text), size_(size) {}

    // The next complete line without its "\r\n"; false when none is left.
    bool next(const char*& line, size_t& length);

private:
    const char* text_;
    size_t size_;
    size_t pos_ = 0;
};

// The number of complete lines of a file image.
size_t countLines(const char* text, size_t size);
