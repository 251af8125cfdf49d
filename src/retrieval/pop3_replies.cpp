#include "retrieval/pop3_replies.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool parseStatCount(const char* reply, int& count) {
    if (reply[0] == '\0') {
        return false;
    }
    const char* p = reply + 1;
    while (*p != '\0' && (*p < '0' || *p > '9')) {
        p++;
    }
    if (*p == '\0') {
        return false;
    }
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (value < 1000000000LL) {
            value = value * 10 + (*p - '0');
        }
    }
    // More messages than any mailbox holds: kept within int.
    count = value > 2147483647LL ? 2147483647 : static_cast<int>(value);
    return true;
}

uint64_t parseStatOctets(const char* reply) {
    if (reply[0] == '\0') {
        return 0;
    }
    const char* p = reply + 1;
    while (*p != '\0' && (*p < '0' || *p > '9')) {
        p++;
    }
    while (*p >= '0' && *p <= '9') {
        p++;
    }
    while (*p == ' ' || *p == '\t') {
        p++;
    }
    uint64_t octets = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (octets < 1000000000000000ULL) {
            octets = octets * 10 + static_cast<uint64_t>(*p - '0');
        }
    }
    return octets;
}

uint64_t sessionAllowanceMs(uint64_t baseMs, uint64_t perMessageMs, uint64_t perMiBMs, int count, uint64_t octets) {
    constexpr double kMostMs = 30.0 * 24 * 3600 * 1000;
    double ms = static_cast<double>(baseMs) + static_cast<double>(count > 0 ? count : 0) * perMessageMs +
                static_cast<double>(octets) / 1048576.0 * perMiBMs;
    return ms < kMostMs ? static_cast<uint64_t>(ms) : static_cast<uint64_t>(kMostMs);
}

double parseListSize(const char* reply) {
    const char* blank = strrchr(reply, ' ');
    if (blank == nullptr) {
        return 0.0;
    }
    double size = strtod(blank + 1, nullptr);
    // A malformed reply must not turn into a negative or endless size text.
    if (!std::isfinite(size) || size < 0.0) {
        return 0.0;
    }
    return size > 1e15 ? 1e15 : size;
}

std::string formatSizeLine(double size) {
    char line[64];
    if (size < 1000.0) {
        snprintf(line, sizeof line, "MailSize:%.0f байт\r\n", size);
    } else if (size < 1048576.0) {
        snprintf(line, sizeof line, "MailSize:%.1f Кб\r\n", size / 1024.0);
    } else {
        snprintf(line, sizeof line, "MailSize:%.2f Mб\r\n", size / 1048576.0);
    }
    return line;
}

std::string loggableCommand(const std::string& command) {
    if (command.compare(0, 5, "PASS ") != 0) {
        return command;
    }
    return "PASS ********\r\n";
}

namespace {

// Calls visit(line, length) for each line of a multi-line text (without its
// line end) up to the "." line or the end of the text.
template <typename Visit>
void forEachLine(const char* text, size_t length, Visit visit) {
    const char* p = text;
    const char* end = text + length;
    while (p < end) {
        const char* eol = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* next = eol == nullptr ? end : eol + 1;
        const char* stop = eol == nullptr ? end : eol;
        if (stop > p && stop[-1] == '\r') {
            stop--;
        }
        size_t n = static_cast<size_t>(stop - p);
        if (n == 1 && *p == '.') {
            return;
        }
        if (!visit(p, n)) {
            return;
        }
        p = next;
    }
}

bool sameWord(const char* word, size_t length, const char* name) {
    size_t n = strlen(name);
    if (length != n) {
        return false;
    }
    for (size_t i = 0; i < n; i++) {
        char c = word[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != name[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

Pop3Capabilities parseCapabilities(const char* text, size_t length) {
    Pop3Capabilities caps;
    forEachLine(text, length, [&](const char* line, size_t n) {
        size_t word = 0;
        while (word < n && line[word] != ' ' && line[word] != '\t') {
            word++;
        }
        caps.uidl = caps.uidl || sameWord(line, word, "UIDL");
        caps.pipelining = caps.pipelining || sameWord(line, word, "PIPELINING");
        caps.stls = caps.stls || sameWord(line, word, "STLS");
        caps.top = caps.top || sameWord(line, word, "TOP");
        return true;
    });
    return caps;
}

bool parseListing(const char* text, size_t length, int count, std::vector<std::string>& lines) {
    lines.assign(count > 0 ? static_cast<size_t>(count) : 0, std::string());
    std::vector<char> listed(lines.size(), 0);
    bool ok = true;
    forEachLine(text, length, [&](const char* line, size_t n) {
        size_t digits = 0;
        unsigned long long number = 0;
        while (digits < n && line[digits] >= '0' && line[digits] <= '9' && number <= lines.size()) {
            number = number * 10 + static_cast<unsigned>(line[digits] - '0');
            digits++;
        }
        if (digits == 0 || digits >= n || line[digits] != ' ' || number < 1 || number > lines.size() ||
            listed[number - 1]) {
            ok = false;
            return false;
        }
        listed[number - 1] = 1;
        lines[number - 1].assign(line, n);
        return true;
    });
    return ok;
}

std::string listingUid(const std::string& line) {
    size_t blank = line.find(' ');
    if (blank == std::string::npos) {
        return std::string();
    }
    size_t begin = line.find_first_not_of(' ', blank);
    if (begin == std::string::npos) {
        return std::string();
    }
    size_t end = line.find(' ', begin);
    return line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}
