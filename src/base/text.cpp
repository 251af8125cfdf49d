#include "base/text.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

size_t copyTextN(char* dst, size_t capacity, const char* src, size_t count) {
    if (capacity == 0) {
        return 0;
    }
    size_t n = 0;
    if (src) {
        while (n < count && n + 1 < capacity && src[n] != '\0') {
            dst[n] = src[n];
            n++;
        }
    }
    dst[n] = '\0';
    return n;
}

size_t copyText(char* dst, size_t capacity, const char* src) {
    return copyTextN(dst, capacity, src, static_cast<size_t>(-1));
}

size_t appendText(char* dst, size_t capacity, const char* src) {
    if (capacity == 0) {
        return 0;
    }
    size_t len = strnlen(dst, capacity - 1);
    return len + copyText(dst + len, capacity - len, src);
}

size_t formatTextV(char* dst, size_t capacity, const char* format, va_list args) {
    if (capacity == 0) {
        return 0;
    }
    int n = vsnprintf(dst, capacity, format, args);
    if (n < 0) {
        dst[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < capacity ? static_cast<size_t>(n) : capacity - 1;
}

size_t formatText(char* dst, size_t capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    size_t n = formatTextV(dst, capacity, format, args);
    va_end(args);
    return n;
}

bool ensureTrailingBackslash(char* dst, size_t capacity) {
    size_t len = strnlen(dst, capacity);
    if (len == 0 || len >= capacity) {
        return false;
    }
    if (dst[len - 1] == '\\') {
        return true;
    }
    if (len + 2 > capacity) {
        return false;
    }
    dst[len] = '\\';
    dst[len + 1] = '\0';
    return true;
}

bool parseLeadingInt(const char* text, int& value) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        p++;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    if (*p < '0' || *p > '9') {
        value = 0;
        return false;
    }
    long long n = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (n <= 2147483648LL) {
            n = n * 10 + (*p - '0');
        }
    }
    if (negative) {
        n = -n;
    }
    if (n > 2147483647LL) {
        n = 2147483647LL;
    } else if (n < -2147483647LL - 1) {
        n = -2147483647LL - 1;
    }
    value = static_cast<int>(n);
    return true;
}

int leadingNumber(const char* text) {
    int value = 0;
    parseLeadingInt(text, value);
    return value;
}

size_t matchPrefixIgnoringCase(const char* text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; i++) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return 0;
        }
    }
    return i;
}

char* putBoundedText(char* out, const char* text, size_t capacity) {
    size_t n = strnlen(text, capacity - 1);
    memcpy(out, text, n);
    return out + n;
}

const char* findByte(const char* text, char c, size_t size) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    const uint64_t pattern = kOnes * static_cast<unsigned char>(c);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        memcpy(&word, text + i, sizeof word);
        word ^= pattern; // the bytes equal to c become zero
        if (((word - kOnes) & ~word & kHighs) != 0) {
            break; // a zero byte in this word: found below
        }
    }
    for (; i < size; i++) {
        if (text[i] == c) {
            return text + i;
        }
    }
    return nullptr;
}
