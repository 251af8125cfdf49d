// The header file MailTmp.txt read a window at a time: a first poll of a
// big mailbox leaves a file of many megabytes, and the records are made from
// it without holding it all in memory.
#pragma once
#include "base/file_io.h"

#include <cstddef>

// The bytes a window holds: room for two of the longest blocks a session
// writes (a header kept whole up to 2 MiB, with the block's own lines), so
// that the rest of a block cut by the window's end always fits beside it.
// Tests make it small.
extern size_t gHeaderWindowBytes;

// Hands out the file's text in windows that each end right after a block's
// terminator line (the last one at the end of the file), so no block is
// ever cut between two windows. A block longer than a whole window (no
// session writes one) is handed out as far as it fits, and its rest skipped.
class HeaderWindows {
public:
    // file: the open header file, read from its start; path for the log.
    HeaderWindows(HANDLE file, const char* path) : file_(file), path_(path) {}

    // The file's size and the window's memory; false (logged) when either
    // fails. empty() then tells an empty file (not logged).
    bool open();
    bool empty() const { return size_ == 0; }
    // The next window; false at the end of the file or when a read failed
    // (logged, failed() tells).
    bool next(const char*& text, size_t& length);
    bool failed() const { return failed_; }

private:
    bool fill();
    bool skipOversizedRest();

    HANDLE file_;
    const char* path_;
    VirtualBlock buffer_;
    size_t capacity_ = 0;
    size_t filled_ = 0;     // bytes in the buffer
    size_t handed_ = 0;     // of them, handed out in the last window
    uint64_t size_ = 0;     // the file's size
    uint64_t read_ = 0;     // bytes read from it
    bool skipping_ = false; // the rest of an oversized block is due
    bool failed_ = false;
};
