#include "retrieval/imap_header_text.h"

namespace {

// Whether the text's last line is empty (its line end CR LF or a bare LF).
bool endsWithEmptyLine(const std::string& text) {
    size_t n = text.size();
    if (n == 0 || text[n - 1] != '\n') {
        return false;
    }
    size_t lineEnd = n >= 2 && text[n - 2] == '\r' ? n - 2 : n - 1;
    return lineEnd == 0 || text[lineEnd - 1] == '\n';
}

} // namespace

std::string imapCacheKey(uint32_t uidValidity, uint32_t uid) {
    return std::to_string(uidValidity) + "." + std::to_string(uid);
}

std::string pop3StyleHeader(const std::string& header) {
    std::string text;
    text.reserve(header.size() + 8);
    size_t start = 0;
    while (start < header.size()) {
        size_t end = header.find('\n', start);
        end = end == std::string::npos ? header.size() : end + 1;
        if (header[start] == '.') {
            text += '.';
        }
        text.append(header, start, end - start);
        start = end;
    }
    if (!text.empty() && text.back() != '\n') {
        text += "\r\n";
    }
    if (!endsWithEmptyLine(text)) {
        text += "\r\n";
    }
    text += ".\r\n";
    return text;
}
