#include "retrieval/header_date.h"

#include "base/text.h"
#include "retrieval/charset.h"

#include <climits>
#include <ctime>

namespace {

constexpr size_t kDateCopyCapacity = 1024;

const char* const kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};

// Splits text into tokens the way the C library's strtok does (skip leading
// separators, end the token at the next separator, continue after it), but
// with its state in the object rather than hidden in the runtime.
class Tokenizer {
public:
    explicit Tokenizer(char* text) : next_(text) {}

    char* next(const char* separators) {
        while (*next_ != '\0' && isSeparator(*next_, separators)) {
            next_++;
        }
        if (*next_ == '\0') {
            return nullptr;
        }
        char* token = next_;
        while (*next_ != '\0' && !isSeparator(*next_, separators)) {
            next_++;
        }
        if (*next_ != '\0') {
            *next_++ = '\0';
        }
        return token;
    }

private:
    static bool isSeparator(char c, const char* separators) {
        for (const char* s = separators; *s != '\0'; s++) {
            if (*s == c) {
                return true;
            }
        }
        return false;
    }
    char* next_;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The C library's atoi, held within the range of int instead of overflowing.
int readInt(const char* text) {
    int value = 0;
    parseLeadingInt(text, value);
    return value;
}

// Month 0-11 of a three-letter English name in any letter case; -1 otherwise.
int monthIndex(const char* token) {
    char name[4];
    for (int i = 0; i < 3; i++) {
        char c = token[i];
        if (c == '\0') {
            return -1;
        }
        name[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (token[3] != '\0') {
        return -1;
    }
    for (int m = 0; m < 12; m++) {
        if (name[0] == kMonths[m][0] && name[1] == kMonths[m][1] && name[2] == kMonths[m][2]) {
            return m;
        }
    }
    return -1;
}

// The year of a year token: obsolete two-digit years are 2000-2049 for 00-49
// and 1950-1999 for 50-99, three-digit years count from 1900.
long long readYear(const char* token) {
    int value = readInt(token);
    size_t digits = 0;
    while (isDigit(token[digits])) {
        digits++;
    }
    if (digits == 2) {
        return value < 50 ? 2000 + value : 1900 + value;
    }
    if (digits == 3) {
        return 1900 + value;
    }
    return value;
}

// Seconds of calendar time of the value, or 0 when it is not recognised.
uint32_t readDate(char* text) {
    Tokenizer tokens(text);
    const char* later = " ,\t:(";
    char* token = tokens.next(" ,\t:");
    if (token != nullptr && isAnsiLetter(static_cast<unsigned char>(token[0]))) {
        token = tokens.next(later); // the weekday is dropped
    }
    const char* day = token;
    const char* month = tokens.next(later);
    const char* year = tokens.next(later);
    const char* hour = tokens.next(later);
    const char* minute = tokens.next(later);
    const char* zone = tokens.next(later);
    const char* second = nullptr;
    // Seconds are optional: a token after the minutes that begins with a
    // digit is the seconds and the zone follows it.
    if (zone != nullptr && isDigit(zone[0])) {
        second = zone;
        zone = tokens.next(later);
    }
    if (day == nullptr || month == nullptr || year == nullptr || hour == nullptr || minute == nullptr ||
        zone == nullptr) {
        return 0;
    }
    int monthNumber = monthIndex(month);
    long long yearNumber = readYear(year) - 1900;
    if (monthNumber < 0 || yearNumber < INT_MIN || yearNumber > INT_MAX) {
        return 0;
    }

    struct tm fields = {};
    fields.tm_sec = second != nullptr ? readInt(second) : 0;
    fields.tm_min = readInt(minute);
    fields.tm_hour = readInt(hour);
    fields.tm_mday = readInt(day);
    fields.tm_mon = monthNumber;
    fields.tm_year = static_cast<int>(yearNumber);
    fields.tm_isdst = 0; // local standard time
    time_t local = mktime(&fields);
    if (local == static_cast<time_t>(-1)) {
        return 0;
    }

    long long result = static_cast<long long>(local);
    while (*zone == ' ' || *zone == '\t') {
        zone++;
    }
    if (*zone == '+' || *zone == '-') {
        long long z = readInt(zone + 1); // HHMM
        long long offset = (z - 40 * (z / 100)) * 60;
        result += *zone == '+' ? -offset : offset;
    }
    // The record keeps the number as 32-bit unsigned text.
    if (result <= 0 || result > static_cast<long long>(UINT32_MAX)) {
        return 0;
    }
    return static_cast<uint32_t>(result);
}

} // namespace

uint32_t parseHeaderDate(char* buffer, size_t capacity) {
    char copy[kDateCopyCapacity];
    copyTextN(copy, sizeof copy, buffer, capacity);
    uint32_t seconds = readDate(copy);
    formatText(buffer, capacity, "%u", static_cast<unsigned>(seconds));
    return seconds;
}
