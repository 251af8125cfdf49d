#include "telegram/telegram_text.h"

#include "base/text.h"

#include <cstdio>
#include <cstring>

std::string percentEncode(const char* text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; p++) {
        unsigned char c = *p;
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string telegramQuery(const char* login, const char* password, int minId) {
    char number[16];
    snprintf(number, sizeof number, "%d", minId);
    return "login=" + percentEncode(login) + "&password=" + percentEncode(password) + "&min_id=" + number;
}

std::vector<std::string> replyRecords(const char* reply, size_t size) {
    std::vector<std::string> records;
    size_t at = 0;
    while (at < size) {
        const void* zero = memchr(reply + at, '\0', size - at);
        size_t end = zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - reply) : size;
        if (end == at) {
            break;
        }
        records.emplace_back(reply + at, end - at);
        at = end + 1;
    }
    return records;
}

std::string storedRecord(const std::string& record) {
    std::string out = record;
    int tabs = 0;
    for (char& c : out) {
        if (c == '\t') {
            c = tabs < 4 ? ';' : ' ';
            tabs++;
        } else if (c == '\r' || c == '\n') {
            // One telegram, one line of GetMess.txt.
            c = ' ';
        }
    }
    return out;
}
