#include "retrieval/pop3_text.h"

#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Bounded search (the header text may hold any byte).
const char* findText(const char* begin, const char* end, const char* needle) {
    size_t n = strlen(needle);
    if (static_cast<size_t>(end - begin) < n) {
        return nullptr;
    }
    for (const char* p = begin; p + n <= end; p++) {
        if (*p == needle[0] && memcmp(p, needle, n) == 0) {
            return p;
        }
    }
    return nullptr;
}

// The first of the header forms ("\nName:") that occurs anywhere, at its
// first occurrence; returns the position after its colon. When none does, the
// first line of the text has no line feed before it: a form without its line
// feed that opens the text is taken. Only then, so that a name found after a
// line feed gives the same identifier as it always has.
const char* findHeader(const char* begin, const char* end, const char* const* forms, size_t count) {
    for (size_t i = 0; i < count; i++) {
        const char* hit = findText(begin, end, forms[i]);
        if (hit != nullptr) {
            return hit + strlen(forms[i]);
        }
    }
    for (size_t i = 0; i < count; i++) {
        const char* name = forms[i] + 1;
        size_t n = strlen(name);
        if (static_cast<size_t>(end - begin) >= n && memcmp(begin, name, n) == 0) {
            return begin + n;
        }
    }
    return nullptr;
}

void replaceAll(std::string& text, char from, char to) {
    for (char& c : text) {
        if (c == from) {
            c = to;
        }
    }
}

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

const char* const kMessageIdForms[] = {"\nMessage-Id:", "\nmessage-id:", "\nMessage-ID:", "\nMESSAGE-ID:"};
const char* const kReceivedForms[] = {"\nReceived:", "\nreceived:", "\nRECEIVED:"};
const char* const kDateForms[] = {"\nDate:", "\ndate:", "\nDATE:"};

constexpr size_t kMaxIdLength = kMailIdCapacity - 1;

} // namespace

AccountLineError splitAccountLine(const char* line, AccountLineFields& fields) {
    fields = AccountLineFields();
    std::string rest = line;
    auto cutLast = [&rest](std::string& field) {
        size_t semicolon = rest.rfind(';');
        if (semicolon == std::string::npos) {
            return false;
        }
        field = rest.substr(semicolon + 1);
        rest.resize(semicolon);
        return true;
    };
    if (!cutLast(fields.port)) {
        fields.portMissing = true;
        fields.port = "110";
    }
    if (!cutLast(fields.server)) {
        return AccountLineError::Server;
    }
    if (!cutLast(fields.password)) {
        return AccountLineError::Password;
    }
    if (!cutLast(fields.address)) {
        return AccountLineError::Address;
    }
    // An alias holding ";" keeps only its text before the first one.
    fields.alias = rest.substr(0, rest.find(';'));
    if (fields.alias.empty()) {
        fields.alias = fields.address;
    }
    return AccountLineError::None;
}

bool splitTestParams(const char* text, std::string& address, std::string& password, std::string& domain) {
    const char* semicolon = strchr(text, ';');
    const char* at = strchr(text, '@');
    if (semicolon == nullptr || at == nullptr || at > semicolon) {
        return false;
    }
    address.assign(text, semicolon);
    password.assign(semicolon + 1);
    domain.assign(at + 1, semicolon);
    return true;
}

unsigned short parsePort(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return 110;
    }
    long port = strtol(text.c_str(), nullptr, 10);
    return port >= 1 && port <= 65535 ? static_cast<unsigned short>(port) : 110;
}

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

IdentifierResult deriveIdentifier(const char* header, size_t length) {
    IdentifierResult result;
    const char* end = header + length;

    // 1. Message-ID: the value without its angle brackets.
    const char* value = findHeader(header, end, kMessageIdForms, 4);
    if (value != nullptr && value >= end) {
        result.messageIdEndedEarly = true;
    } else if (value != nullptr) {
        while (value < end && (*value == ' ' || *value == '\t')) {
            value++;
        }
        const char* stop = value;
        while (stop < end && !isLineEnd(*stop)) {
            stop++;
        }
        while (stop > value && (stop[-1] == ' ' || stop[-1] == '\t')) {
            stop--;
        }
        size_t n = static_cast<size_t>(stop - value);
        // A one-character value cannot lose two brackets: it is kept as it
        // is. An empty one identifies nothing and the next rule is tried.
        std::string id = n >= 2 ? std::string(value + 1, n - 2) : std::string(value, n);
        if (id.size() > kMaxIdLength) {
            id.resize(kMaxIdLength);
        }
        if (!id.empty()) {
            replaceAll(id, ';', '_');
            result.id = id;
            result.found = true;
            return result;
        }
    }

    // 2. The reception trace: the next 127 bytes, across line ends.
    value = findHeader(header, end, kReceivedForms, 3);
    if (value != nullptr && value >= end) {
        result.receivedEndedEarly = true;
    } else if (value != nullptr) {
        size_t n = static_cast<size_t>(end - value);
        std::string id(value, n < kMaxIdLength ? n : kMaxIdLength);
        replaceAll(id, '\r', '_');
        replaceAll(id, '\n', '_');
        replaceAll(id, ';', '_');
        result.id = id;
        result.found = true;
        return result;
    }

    // 3. The Date line, leading blank kept.
    value = findHeader(header, end, kDateForms, 3);
    if (value != nullptr && value < end) {
        const char* stop = value;
        while (stop < end && !isLineEnd(*stop) && static_cast<size_t>(stop - value) < kMaxIdLength) {
            stop++;
        }
        std::string id(value, stop);
        replaceAll(id, ';', '_');
        if (!id.empty()) {
            result.id = id;
            result.found = true;
            return result;
        }
    }

    // 4. Nothing identifies the mail: its header text does. The same mail
    // gives the same header at every poll, so the identifier is stable.
    result.id = headerTextId(header, length);
    result.fromHeaderText = true;
    return result;
}

std::string headerTextId(const char* header, size_t length) {
    uint64_t hash = 14695981039346656037ULL;
    for (size_t i = 0; i < length; i++) {
        hash ^= static_cast<unsigned char>(header[i]);
        hash *= 1099511628211ULL;
    }
    char id[40];
    snprintf(id, sizeof id, "<header-fnv1a64-%016" PRIx64 ">", hash);
    return id;
}

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
