#include "store/mail_date.h"

#include "base/text.h"

#include <cstdint>
#include <cstring>
#include <ctime>

namespace {

struct MonthName {
    const char* english;
    const char* shown;
};

// January carries its own trailing blank, as the list has always shown it.
constexpr MonthName kMonths[] = {
    {"Jan", "янв "}, {"Feb", "Фев"}, {"Mar", "мар"}, {"Apr", "апр"}, {"May", "май"}, {"Jun", "июн"},
    {"Jul", "июл"},  {"Aug", "авг"}, {"Sep", "сен"}, {"Oct", "окт"}, {"Nov", "ноя"}, {"Dec", "дек"},
};

constexpr const char* kEnglishDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// The latest time the Windows runtime converts: 3001-01-01 07:59:59 UTC.
// Later values are refused on every platform alike.
constexpr int64_t kLatestConvertible = 32535244799LL;

bool isSeparator(char c) {
    return c == ' ' || c == ',' || c == '\t' || c == '\n';
}

// Splits text at separators into at most count tokens of up to 15 bytes.
int splitClockText(const char* text, char tokens[][16], int count) {
    int n = 0;
    const char* p = text;
    while (*p != '\0' && n < count) {
        while (*p != '\0' && isSeparator(*p)) {
            p++;
        }
        if (*p == '\0') {
            break;
        }
        const char* start = p;
        while (*p != '\0' && !isSeparator(*p)) {
            p++;
        }
        copyTextN(tokens[n], sizeof tokens[n], start, static_cast<size_t>(p - start));
        n++;
    }
    return n;
}

const char* shownMonth(const char* english) {
    for (const MonthName& m : kMonths) {
        if (strcmp(m.english, english) == 0) {
            return m.shown;
        }
    }
    return nullptr;
}

// The decimal value of a stored date: leading digits, nothing else before
// them. False for a text without digits or beyond 64 bits.
bool parseStoredDate(const char* text, int64_t& value) {
    uint64_t v = 0;
    size_t i = 0;
    while (text[i] >= '0' && text[i] <= '9') {
        uint64_t digit = static_cast<uint64_t>(text[i] - '0');
        if (v > (static_cast<uint64_t>(INT64_MAX) - digit) / 10) {
            return false;
        }
        v = v * 10 + digit;
        i++;
    }
    value = static_cast<int64_t>(v);
    return i > 0;
}

bool runtimeLocalTime(int64_t seconds, struct tm& local) {
#ifdef _WIN32
    __time64_t t = seconds;
    return _localtime64_s(&local, &t) == 0;
#else
    time_t t = static_cast<time_t>(seconds);
    return localtime_r(&t, &local) != nullptr;
#endif
}

void fail(char* out, size_t capacity) {
    copyText(out, capacity, kUnknownMailDate);
}

} // namespace

bool shownDateFromClockText(const char* clockText, char* out, size_t capacity) {
    char tokens[5][16];
    if (splitClockText(clockText, tokens, 5) < 5) {
        fail(out, capacity);
        return false;
    }
    const char* month = shownMonth(tokens[1]);
    const char* day = tokens[2];
    if (day[0] == '0' && day[1] != '\0') {
        day++;
    }
    const char* year = tokens[4];
    if (month == nullptr || strlen(year) < 3) {
        fail(out, capacity);
        return false;
    }
    char shown[64];
    size_t n = formatText(shown, sizeof shown, "%s %s %s, %s", day, month, year + 2, tokens[3]);
    if (n <= 10) {
        fail(out, capacity);
        return false;
    }
    copyText(out, capacity, shown);
    return true;
}

long mailDateBias() {
#ifdef _WIN32
    _tzset();
    return _timezone;
#else
    tzset();
    return timezone;
#endif
}

bool formatMailDate(char* text, size_t capacity) {
    return showMailDate(text, text, capacity, mailDateBias());
}

bool showMailDate(const char* storedDate, char* out, size_t capacity, long bias) {
    if (capacity == 0) {
        return false;
    }
    // The stored date is read whole before out is written.
    int64_t value = 0;
    if (!parseStoredDate(storedDate, value)) {
        fail(out, capacity);
        return false;
    }
    // Times before the epoch cannot be converted (for the date "0" that is
    // every zone west of UTC).
    int64_t t = 0;
    struct tm local = {};
    if (__builtin_sub_overflow(value, static_cast<int64_t>(bias), &t) || t < 0 || t > kLatestConvertible ||
        !runtimeLocalTime(t, local) || local.tm_mon < 0 || local.tm_mon > 11 || local.tm_wday < 0 ||
        local.tm_wday > 6) {
        fail(out, capacity);
        return false;
    }
    // The runtime's ctime form, made here so that every runtime gives the same.
    char clockText[64];
    formatText(clockText, sizeof clockText, "%s %s %02d %02d:%02d:%02d %d\n", kEnglishDays[local.tm_wday],
               kMonths[local.tm_mon].english, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
               local.tm_year + 1900);
    return shownDateFromClockText(clockText, out, capacity);
}

const char* entryShownDate(MailEntry& entry, long bias) {
    // A made date is never empty: it is a date or kUnknownMailDate.
    if (entry.shownDate[0] == '\0') {
        showMailDate(entry.storedDate, entry.shownDate, sizeof entry.shownDate, bias);
    }
    return entry.shownDate;
}
