#include "retrieval/encoded_word.h"

#include "base/text.h"

#include "retrieval/charset.h"

#include <cstring>

namespace {

enum class Charset { Koi8r, Windows1251, Utf8 };

struct WordPrefix {
    const char* text; // lower case
    Charset charset;
    bool base64;
};

const WordPrefix kPrefixes[] = {
    {"=?koi8-r?b?", Charset::Koi8r, true},
    {"=?koi8-r?q?", Charset::Koi8r, false},
    {"=?windows-1251?b?", Charset::Windows1251, true},
    {"=?windows-1251?q?", Charset::Windows1251, false},
    {"=?utf-8?b?", Charset::Utf8, true},
    {"=?utf-8?q?", Charset::Utf8, false},
};

int base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

// A hexadecimal digit of the Q encoding. Lower-case digits are accepted as
// well: some mailers write them, and reading them as 0 would put a zero byte
// into the text and cut it off. Anything else counts as 0.
unsigned hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<unsigned>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    return 0;
}

// Decodes Q text from text up to "?=" or the end into out (NUL-terminated).
// Returns the position after the "?=", or the end of the text.
size_t decodeQ(const char* text, size_t start, size_t length, char* out, size_t capacity) {
    size_t i = start;
    size_t n = 0;
    while (i < length && n + 1 < capacity) {
        char c = text[i];
        if (c == '?' && text[i + 1] == '=') {
            i += 2;
            break;
        }
        if (c == '=' && i + 2 < length) {
            out[n++] = static_cast<char>(hexValue(text[i + 1]) << 4 | hexValue(text[i + 2]));
            i += 3;
        } else {
            out[n++] = c == '_' ? ' ' : c;
            i++;
        }
    }
    out[n] = '\0';
    return i;
}

// Turns the decoded text of a word (NUL-terminated in a buffer of capacity
// bytes) into Windows-1251 in place. False when UTF-8 bytes do not convert.
bool convertToAnsi(Charset charset, char* decoded, size_t capacity) {
    switch (charset) {
    case Charset::Koi8r:
        for (char* p = decoded; *p != '\0'; p++) {
            *p = static_cast<char>(koi8rToAnsi(static_cast<unsigned char>(*p)));
        }
        return true;
    case Charset::Windows1251:
        return true;
    case Charset::Utf8: {
        std::unique_ptr<char[]> ansi = utf8ToAnsi(decoded);
        if (!ansi) {
            return false;
        }
        strncpy(decoded, ansi.get(), capacity - 1);
        decoded[capacity - 1] = '\0';
        return true;
    }
    }
    return true;
}

} // namespace

bool decodeBase64(const char* input, size_t length, unsigned char* output, size_t* capacity) {
    size_t room = *capacity;
    if (input == nullptr) {
        *capacity = 0;
        return false;
    }
    size_t total = 0;
    auto emit = [&](unsigned value) {
        if (total < room) {
            output[total] = static_cast<unsigned char>(value);
        }
        total++;
    };
    unsigned group = 0; // bits of the symbols read, left-aligned at the end
    int symbols = 0;
    for (size_t i = 0; i < length; i++) {
        int v = base64Value(static_cast<unsigned char>(input[i]));
        if (v < 0) {
            continue;
        }
        group = group << 6 | static_cast<unsigned>(v);
        if (++symbols == 4) {
            emit(group >> 16 & 0xFF);
            emit(group >> 8 & 0xFF);
            emit(group & 0xFF);
            group = 0;
            symbols = 0;
        }
    }
    if (symbols >= 2) {
        group <<= 6 * (4 - symbols);
        emit(group >> 16 & 0xFF);
        if (symbols == 3) {
            emit(group >> 8 & 0xFF);
        }
    }
    *capacity = total;
    return total <= room;
}

size_t decodeEncodedWord(char* buffer, size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    size_t length = strnlen(buffer, capacity - 1);
    buffer[length] = '\0';

    const WordPrefix* word = nullptr;
    size_t prefixLength = 0;
    for (const WordPrefix& p : kPrefixes) {
        prefixLength = matchPrefixIgnoringCase(buffer, p.text);
        if (prefixLength != 0) {
            word = &p;
            break;
        }
    }
    if (word == nullptr) {
        return length;
    }

    // The decoded bytes are never longer than the word's text.
    char decoded[kHeaderWorkCapacity];
    size_t consumed;
    if (word->base64) {
        const char* end = strstr(buffer, "?=");
        if (end == nullptr) {
            return length;
        }
        size_t endPos = static_cast<size_t>(end - buffer);
        buffer[endPos] = '\0';
        size_t dataLength = endPos > prefixLength ? endPos - prefixLength : 0;
        size_t size = sizeof decoded - 1;
        if (!decodeBase64(buffer + prefixLength, dataLength, reinterpret_cast<unsigned char*>(decoded), &size)) {
            return endPos;
        }
        decoded[size] = '\0';
        consumed = endPos + 2;
    } else {
        consumed = decodeQ(buffer, prefixLength, length, decoded, sizeof decoded);
    }

    if (!convertToAnsi(word->charset, decoded, sizeof decoded)) {
        // B: the text is already cut at its "?="; Q: still unchanged.
        return word->base64 ? strlen(buffer) : length;
    }
    size_t n = strnlen(decoded, capacity - 1);
    memcpy(buffer, decoded, n);
    buffer[n] = '\0';
    return consumed;
}
