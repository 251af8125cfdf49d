#include "store/account_line.h"

#include "base/text.h"

#include <cstring>

void parseAccountLine(const char* line, size_t length, AccountEntry& entry) {
    memset(&entry, 0, sizeof entry);
    char* texts[] = {entry.alias, entry.identity, entry.password};
    size_t start = 0;
    for (int field = 0; field < 4; field++) {
        const void* hit = memchr(line + start, ';', length - start);
        if (hit == nullptr) {
            break;
        }
        size_t end = static_cast<size_t>(static_cast<const char*>(hit) - line);
        if (field == 0) {
            entry.state = end > start ? line[start] : '\0';
        } else {
            copyTextN(texts[field - 1], sizeof entry.alias, line + start, end - start);
        }
        start = end + 1;
    }
    copyTextN(entry.extra, sizeof entry.extra, line + start, length - start);
}

size_t formatAccountLine(const AccountEntry& e, char* buffer) {
    static_assert(4 * sizeof e.alias + 8 <= kAccountLineCapacity, "an account line must fit its buffer");
    char* out = buffer;
    if (e.state != '\0') {
        *out++ = e.state;
    }
    *out++ = ';';
    out = putBoundedText(out, e.alias, sizeof e.alias);
    *out++ = ';';
    out = putBoundedText(out, e.identity, sizeof e.identity);
    *out++ = ';';
    out = putBoundedText(out, e.password, sizeof e.password);
    *out++ = ';';
    out = putBoundedText(out, e.extra, sizeof e.extra);
    *out++ = '\r';
    *out++ = '\n';
    *out = '\0';
    return static_cast<size_t>(out - buffer);
}
