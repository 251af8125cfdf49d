#include "retrieval/reply_framing.h"

size_t LineCollector::feed(const char* data, size_t size) {
    size_t i = 0;
    while (i < size && !complete_ && !tooLong_) {
        if (text_.size() >= maxLength_) {
            tooLong_ = true;
            break;
        }
        char c = data[i++];
        text_ += c;
        complete_ = c == '\n';
    }
    return i;
}

size_t MultilineCollector::feed(const char* data, size_t size) {
    size_t i = 0;
    while (i < size && !complete_) {
        char c = data[i++];
        received_++;
        if (text_.size() < keepLimit_) {
            text_ += c;
        } else {
            cut_ = true;
        }
        if (c == '\n') {
            // The terminator is a line holding only "." (before its CR LF).
            if (lineIsDot_) {
                complete_ = true;
            }
            lineLength_ = 0;
            lineIsDot_ = false;
            continue;
        }
        lineLength_++;
        if (lineLength_ == 1) {
            lineIsDot_ = c == '.';
        } else if (!(lineLength_ == 2 && lineIsDot_ && c == '\r')) {
            lineIsDot_ = false;
        }
    }
    return i;
}

std::string MultilineCollector::finish() {
    std::string text = text_;
    if (cut_) {
        // Keep whole lines only, then close the header and the reply.
        size_t lastLineEnd = text.rfind('\n');
        text.resize(lastLineEnd == std::string::npos ? 0 : lastLineEnd + 1);
        if (!text.empty() && text.back() == '\n' && (text.size() < 2 || text[text.size() - 2] != '\r')) {
            text.insert(text.size() - 1, "\r");
        }
        text += "\r\n.\r\n";
        return text;
    }
    static const char kTerminator[] = "\r\n.\r\n";
    if (text.size() >= 5 && text.compare(text.size() - 5, 5, kTerminator) == 0) {
        return text;
    }
    // A terminator without CR, or a reply that is only the terminator: the
    // "." line is replaced by the usual form.
    size_t dot = text.rfind('.');
    text.resize(dot == std::string::npos ? 0 : dot);
    text += kTerminator;
    return text;
}
