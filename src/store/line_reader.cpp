#include "store/line_reader.h"

#include "base/text.h"

#include <cstring>

bool LineReader::next(const char*& line, size_t& length) {
    size_t search = pos_;
    while (search < size_) {
        const char* hit = findByte(text_ + search, '\n', size_ - search);
        if (hit == nullptr) {
            break;
        }
        size_t lf = static_cast<size_t>(hit - text_);
        if (lf > pos_ && text_[lf - 1] == '\r') {
            line = text_ + pos_;
            length = lf - 1 - pos_;
            pos_ = lf + 1;
            return true;
        }
        // A lone LF belongs to the line.
        search = lf + 1;
    }
    size_t start = pos_;
    pos_ = size_;
    if (last_ == UnfinishedLine::Skip) {
        return false;
    }
    // The half of a line end that the unfinished line may carry is no text.
    size_t end = size_;
    while (end > start && (text_[end - 1] == '\r' || text_[end - 1] == '\n')) {
        end--;
    }
    if (end == start) {
        return false;
    }
    line = text_ + start;
    length = end - start;
    return true;
}

size_t countLines(const char* text, size_t size, UnfinishedLine last) {
    LineReader reader(text, size, last);
    const char* line;
    size_t length;
    size_t count = 0;
    while (reader.next(line, length)) {
        count++;
    }
    return count;
}
