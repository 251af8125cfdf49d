#include "retrieval/uid_cache_text.h"

#include "retrieval/header_identifier.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

void parseUidCache(const char* text, size_t length, UidCache& cache) {
    const char* p = text;
    const char* end = text + length;
    while (p < end) {
        const char* eol = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
        if (eol == nullptr) {
            return; // an unfinished last line is not trusted
        }
        const char* stop = eol > p && eol[-1] == '\r' ? eol - 1 : eol;
        std::string line(p, stop);
        size_t uidEnd = line.find(' ');
        size_t sizeEnd = uidEnd == std::string::npos ? std::string::npos : line.find(' ', uidEnd + 1);
        if (uidEnd != std::string::npos && uidEnd > 0 && sizeEnd != std::string::npos && sizeEnd > uidEnd + 1 &&
            line.find_first_not_of("0123456789", uidEnd + 1) == sizeEnd) {
            CachedMail mail;
            mail.size = line.substr(uidEnd + 1, sizeEnd - uidEnd - 1);
            mail.id = line.substr(sizeEnd + 1, kMailIdCapacity - 1);
            cache[line.substr(0, uidEnd)] = std::move(mail);
        }
        p = eol + 1;
    }
}

std::string cacheSizeText(double size) {
    char text[32];
    snprintf(text, sizeof text, "%.0f", size);
    return text;
}

std::string formatUidCacheLine(const std::string& uid, double size, const std::string& id) {
    return uid + " " + cacheSizeText(size) + " " + id + "\r\n";
}

std::string uidCacheFileName(const std::string& address, const std::string& server) {
    std::string name = "Uidl_";
    for (size_t i = 0; i < address.size() && i < 64; i++) {
        char c = address[i];
        bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '@' ||
                    c == '.' || c == '_' || c == '-';
        name += safe ? c : '_';
    }
    uint32_t hash = 2166136261u;
    std::string key = address + ";" + server;
    for (unsigned char c : key) {
        hash ^= c;
        hash *= 16777619u;
    }
    char tail[16];
    snprintf(tail, sizeof tail, "_%08x.txt", static_cast<unsigned>(hash));
    return name + tail;
}
