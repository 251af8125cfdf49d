#include "retrieval/header_identifier.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
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

// The Message-ID value without its angle brackets; empty when the header has
// none or an empty one.
std::string messageIdRule(const char* header, const char* end, IdentifierResult& result) {
    const char* value = findHeader(header, end, kMessageIdForms, 4);
    if (value == nullptr) {
        return std::string();
    }
    if (value >= end) {
        result.messageIdEndedEarly = true;
        return std::string();
    }
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
    // A one-character value cannot lose two brackets: it is kept as it is.
    // An empty one identifies nothing and the next rule is tried.
    std::string id = n >= 2 ? std::string(value + 1, n - 2) : std::string(value, n);
    if (id.size() > kMaxIdLength) {
        id.resize(kMaxIdLength);
    }
    return id;
}

// The reception trace: the next 127 bytes, across line ends.
bool receivedRule(const char* header, const char* end, IdentifierResult& result, std::string& id) {
    const char* value = findHeader(header, end, kReceivedForms, 3);
    if (value == nullptr) {
        return false;
    }
    if (value >= end) {
        result.receivedEndedEarly = true;
        return false;
    }
    size_t n = static_cast<size_t>(end - value);
    id.assign(value, n < kMaxIdLength ? n : kMaxIdLength);
    replaceAll(id, '\r', '_');
    replaceAll(id, '\n', '_');
    return true;
}

// The Date line, leading blank kept; empty when there is none.
std::string dateRule(const char* header, const char* end) {
    const char* value = findHeader(header, end, kDateForms, 3);
    if (value == nullptr || value >= end) {
        return std::string();
    }
    const char* stop = value;
    while (stop < end && !isLineEnd(*stop) && static_cast<size_t>(stop - value) < kMaxIdLength) {
        stop++;
    }
    return std::string(value, stop);
}

} // namespace

IdentifierResult deriveIdentifier(const char* header, size_t length) {
    IdentifierResult result;
    const char* end = header + length;
    std::string id = messageIdRule(header, end, result);
    if (id.empty() && !receivedRule(header, end, result, id)) {
        id = dateRule(header, end);
    }
    if (!id.empty()) {
        replaceAll(id, ';', '_');
        result.id = id;
        result.found = true;
        return result;
    }
    // Nothing identifies the mail: its header text does. The same mail gives
    // the same header at every poll, so the identifier is stable.
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
