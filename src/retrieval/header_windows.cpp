#include "retrieval/header_windows.h"

#include "base/event_log.h"
#include "base/win_util.h"
#include "retrieval/pop3_connection.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kDefaultWindowBytes = 4 * 1024 * 1024 + 64 * 1024;
// A block is its header, kept whole up to kHeaderKeepLimit, with its own
// lines (four fields of at most a few hundred bytes) and its terminator.
static_assert(kDefaultWindowBytes >= 2 * (kHeaderKeepLimit + 16 * 1024), "two of the longest blocks fit a window");

// The line that ends a block, with the line end of the line before it.
constexpr char kTerminator[] = "\r\n.\r\n";
constexpr size_t kTerminatorLength = sizeof kTerminator - 1;
// ReadFile takes a DWORD: a window is read in pieces of at most this.
constexpr size_t kLargestRead = 1u << 30;

// The offset just past the last terminator in text; 0 when there is none.
size_t pastLastTerminator(const char* text, size_t length) {
    for (size_t end = length; end >= kTerminatorLength; end--) {
        if (memcmp(text + end - kTerminatorLength, kTerminator, kTerminatorLength) == 0) {
            return end;
        }
    }
    return 0;
}

// The offset just past the first terminator in text; 0 when there is none.
size_t pastFirstTerminator(const char* text, size_t length) {
    const char* hit = std::search(text, text + length, kTerminator, kTerminator + kTerminatorLength);
    return hit == text + length ? 0 : static_cast<size_t>(hit - text) + kTerminatorLength;
}

} // namespace

size_t gHeaderWindowBytes = kDefaultWindowBytes;

bool HeaderWindows::open() {
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file_, &length)) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь определить длину файла %s\r\nОшибка %u: %s", path_, failure.code, failure.text);
        failed_ = true;
        return false;
    }
    size_ = static_cast<uint64_t>(length.QuadPart);
    if (size_ == 0) {
        return false;
    }
    capacity_ = std::max<size_t>(gHeaderWindowBytes, 2 * kTerminatorLength);
    if (!buffer_.allocate(capacity_)) {
        SystemError failure(GetLastError());
        writeLogf("Система не выделила память под буфер\r\nОшибка %u: %s", failure.code, failure.text);
        failed_ = true;
        return false;
    }
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file_, start, nullptr, FILE_BEGIN)) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь прочитать файл %s\r\nОшибка %u: %s", path_, failure.code, failure.text);
        failed_ = true;
        return false;
    }
    return true;
}

// Reads on until the buffer is full or the file ends.
bool HeaderWindows::fill() {
    while (filled_ < capacity_ && read_ < size_) {
        size_t want = std::min({capacity_ - filled_, static_cast<size_t>(size_ - read_), kLargestRead});
        DWORD got = 0;
        if (!ReadFile(file_, buffer_.bytes() + filled_, static_cast<DWORD>(want), &got, nullptr)) {
            SystemError failure(GetLastError());
            writeLogf("Затрудняюсь прочитать файл %s\r\nОшибка %u: %s", path_, failure.code, failure.text);
            failed_ = true;
            return false;
        }
        if (got == 0) {
            size_ = read_; // the file ended before the size it had
            break;
        }
        filled_ += got;
        read_ += got;
    }
    return true;
}

// Drops the rest of an oversized block, up to and including its terminator.
bool HeaderWindows::skipOversizedRest() {
    for (;;) {
        size_t past = pastFirstTerminator(buffer_.bytes(), filled_);
        if (past != 0) {
            memmove(buffer_.bytes(), buffer_.bytes() + past, filled_ - past);
            filled_ -= past;
            skipping_ = false;
            return true;
        }
        // A terminator may begin in the bytes kept and end in the next read.
        size_t keep = std::min(filled_, kTerminatorLength - 1);
        memmove(buffer_.bytes(), buffer_.bytes() + filled_ - keep, keep);
        filled_ = keep;
        if (read_ >= size_) {
            filled_ = 0;
            skipping_ = false;
            return true;
        }
        if (!fill()) {
            return false;
        }
    }
}

bool HeaderWindows::next(const char*& text, size_t& length) {
    // What the last window handed out goes, the rest moves to the front; of
    // an oversized block the last bytes stay for the search of its end.
    size_t from = skipping_ ? handed_ - std::min(handed_, kTerminatorLength - 1) : handed_;
    memmove(buffer_.bytes(), buffer_.bytes() + from, filled_ - from);
    filled_ -= from;
    handed_ = 0;
    if ((skipping_ && !skipOversizedRest()) || !fill() || filled_ == 0) {
        return false;
    }
    size_t cut = read_ >= size_ ? filled_ : pastLastTerminator(buffer_.bytes(), filled_);
    if (cut == 0) {
        // No session writes a block this long: as much of it as fits.
        cut = filled_;
        skipping_ = true;
    }
    handed_ = cut;
    text = buffer_.bytes();
    length = cut;
    return true;
}
