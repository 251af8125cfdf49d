#include "agent/version_file.h"

#include <string>

namespace {

// The leading decimal number by the atoi rules (white space, an optional
// sign, digits; none gives 0). False when it lies outside the range of int:
// a saturated number would be taken for a real version.
bool readNumber(const char* text, int& value) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        p++;
    }
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') {
        p++;
    }
    long long n = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        n = n * 10 + (*p - '0');
        if (n > 2147483648LL) {
            return false;
        }
    }
    if (negative) {
        n = -n;
    }
    if (n > 2147483647LL) {
        return false;
    }
    value = static_cast<int>(n);
    return true;
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The hash after the second comma, trimmed.
bool readHash(const std::string& field, char* out) {
    size_t begin = 0;
    size_t end = field.size();
    while (begin < end && isSpace(field[begin])) {
        begin++;
    }
    while (end > begin && isSpace(field[end - 1])) {
        end--;
    }
    return normaliseSha256Hex(field.data() + begin, end - begin, out);
}

} // namespace

VersionFile parseVersionFile(const char* text, size_t length) {
    VersionFile file;
    // Two bytes or fewer cannot be a version file.
    if (length <= 2) {
        return file;
    }
    std::string content(text, length);
    content.resize(content.find('\0') == std::string::npos ? content.size() : content.find('\0'));
    // Numbers beyond any real version or updater are damage, not an offer.
    if (!readNumber(content.c_str(), file.version) || file.version > kMaxAnnouncedVersion) {
        return file;
    }
    size_t comma = content.find(',');
    if (comma != std::string::npos) {
        file.hasSize = true;
        if (!readNumber(content.c_str() + comma + 1, file.size) || file.size > kMaxUpdateSize) {
            return file;
        }
        size_t second = content.find(',', comma + 1);
        if (second != std::string::npos && !readHash(content.substr(second + 1), file.hash)) {
            return file;
        }
    }
    file.valid = true;
    return file;
}
