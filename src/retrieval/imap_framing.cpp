#include "retrieval/imap_framing.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t kMostLiteral = 4294967295ULL;

} // namespace

int literalMarker(const std::string& text, size_t partStart, size_t lineEnd, uint64_t& size, size_t& start) {
    // lineEnd is the offset of the LF; a CR before it belongs to the line end.
    size_t end = lineEnd;
    if (end > partStart && text[end - 1] == '\r') {
        end--;
    }
    if (end <= partStart || text[end - 1] != '}') {
        return 0;
    }
    size_t p = end - 1;
    if (p > partStart && text[p - 1] == '+') {
        p--;
    }
    size_t digitsEnd = p;
    while (p > partStart && text[p - 1] >= '0' && text[p - 1] <= '9') {
        p--;
    }
    if (p == digitsEnd || p == partStart || text[p - 1] != '{') {
        return 0;
    }
    start = p - 1;
    uint64_t value = 0;
    for (size_t i = p; i < digitsEnd; i++) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > kMostLiteral) {
            return -1;
        }
    }
    size = value;
    return 1;
}

size_t ImapResponseCollector::feed(const char* data, size_t size) {
    size_t taken = 0;
    while (taken < size && !complete_ && !failed()) {
        taken += inLiteral_ ? feedLiteral(data + taken, size - taken) : feedLine(data + taken, size - taken);
    }
    received_ += taken;
    return taken;
}

size_t ImapResponseCollector::feedLine(const char* data, size_t size) {
    size_t room = lineLimit_ - lineBytes_;
    const char* lf = static_cast<const char*>(memchr(data, '\n', std::min(size, room)));
    if (lf == nullptr) {
        size_t n = std::min(size, room);
        framed_.text.append(data, n);
        lineBytes_ += n;
        if (n < size) {
            tooLong_ = true; // the byte beyond the limit is not taken
        }
        return n;
    }
    size_t n = static_cast<size_t>(lf - data) + 1;
    framed_.text.append(data, n);
    lineBytes_ += n;
    endLine();
    return n;
}

void ImapResponseCollector::endLine() {
    uint64_t size = 0;
    int marker = literalMarker(framed_.text, partStart_, framed_.text.size() - 1, size, markerStart_);
    if (marker < 0) {
        badLiteral_ = true;
        return;
    }
    if (marker == 0) {
        complete_ = true;
        return;
    }
    inLiteral_ = true;
    literalCut_ = false;
    remaining_ = size;
    literalStart_ = framed_.text.size();
    if (remaining_ == 0) {
        endLiteral();
    }
}

size_t ImapResponseCollector::feedLiteral(const char* data, size_t size) {
    size_t n = remaining_ < size ? static_cast<size_t>(remaining_) : size;
    size_t keep = std::min(n, keepLimit_ - literalKept_);
    framed_.text.append(data, keep);
    literalKept_ += keep;
    literalCut_ = literalCut_ || keep < n;
    remaining_ -= n;
    if (remaining_ == 0) {
        endLiteral();
    }
    return n;
}

void ImapResponseCollector::endLiteral() {
    inLiteral_ = false;
    partStart_ = framed_.text.size();
    if (!literalCut_) {
        return;
    }
    // Keep whole lines only, each ending in CR LF, and close them with an
    // empty line, then announce the size that is left.
    std::string& text = framed_.text;
    size_t lastLf = text.rfind('\n');
    text.resize(lastLf == std::string::npos || lastLf < literalStart_ ? literalStart_ : lastLf + 1);
    if (text.size() > literalStart_ && (text.size() < literalStart_ + 2 || text[text.size() - 2] != '\r')) {
        text.insert(text.size() - 1, "\r");
    }
    text += "\r\n";
    size_t kept = text.size() - literalStart_;
    std::string marker = "{" + std::to_string(kept) + "}\r\n";
    text.replace(markerStart_, literalStart_ - markerStart_, marker);
    framed_.cutLiterals.push_back(markerStart_ + marker.size());
    partStart_ = text.size();
}

ImapFramed ImapResponseCollector::take() {
    ImapFramed framed;
    framed.text.swap(framed_.text);
    framed.cutLiterals.swap(framed_.cutLiterals);
    *this = ImapResponseCollector(lineLimit_, keepLimit_);
    return framed;
}
