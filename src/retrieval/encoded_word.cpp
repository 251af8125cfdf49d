#include "retrieval/encoded_word.h"

#include "base/text.h"

#include "retrieval/charset.h"
#include "retrieval/charset_names.h"

#include <cstring>

namespace {

// Longest charset name looked at between "=?" and "?".
constexpr size_t kMaxCharsetName = 64;

// The start of an encoded word: "=?", the charset, "?", "B" or "Q" (either
// case), "?".
struct WordStart {
    unsigned codePage; // 0 for a charset not known
    bool base64;
    size_t prefixLength; // up to the "?" before the encoded text
};

bool readWordStart(const char* text, WordStart* word) {
    if (text[0] != '=' || text[1] != '?') {
        return false;
    }
    size_t end = 2;
    while (text[end] != '?' && end - 2 <= kMaxCharsetName) {
        unsigned char c = static_cast<unsigned char>(text[end]);
        if (c <= ' ' || c >= 0x7F) {
            return false;
        }
        end++;
    }
    char letter = text[end] == '?' ? text[end + 1] : '\0';
    if (end == 2 || (letter != 'B' && letter != 'b' && letter != 'Q' && letter != 'q') || text[end + 2] != '?') {
        return false;
    }
    word->codePage = codePageOfCharset(text + 2, end - 2);
    word->base64 = letter == 'B' || letter == 'b';
    word->prefixLength = end + 3;
    return true;
}

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
// bytes) into Windows-1251 in place. KOI8-R, Windows-1251 and UTF-8 go by the
// program's own tables; other code pages through the converter, when there
// is one. False when the text does not convert.
bool convertToAnsi(unsigned codePage, char* decoded, size_t capacity, const CodePageConverter* converter) {
    switch (codePage) {
    case kCodePageKoi8r:
        for (char* p = decoded; *p != '\0'; p++) {
            *p = static_cast<char>(koi8rToAnsi(static_cast<unsigned char>(*p)));
        }
        return true;
    case kCodePageWindows1251:
        return true;
    case kCodePageUtf8: {
        std::unique_ptr<char[]> ansi = utf8ToAnsi(decoded);
        if (!ansi) {
            return false;
        }
        strncpy(decoded, ansi.get(), capacity - 1);
        decoded[capacity - 1] = '\0';
        return true;
    }
    default: {
        char ansi[kHeaderWorkCapacity];
        if (converter == nullptr || !converter->toAnsi(codePage, decoded, strlen(decoded), ansi, sizeof ansi)) {
            return false;
        }
        copyText(decoded, capacity, ansi);
        return true;
    }
    }
}

// Whether the program converts the code page itself.
bool ownCodePage(unsigned codePage) {
    return codePage == kCodePageKoi8r || codePage == kCodePageWindows1251 || codePage == kCodePageUtf8;
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

size_t decodeEncodedWord(char* buffer, size_t capacity, const CodePageConverter* converter) {
    if (capacity == 0) {
        return 0;
    }
    size_t length = strnlen(buffer, capacity - 1);
    buffer[length] = '\0';

    WordStart word;
    if (!readWordStart(buffer, &word) || word.codePage == 0 || (!ownCodePage(word.codePage) && converter == nullptr)) {
        return length;
    }

    // The decoded bytes are never longer than the word's text.
    char decoded[kHeaderWorkCapacity];
    size_t consumed;
    size_t endPos = length; // where a B word's text was cut
    if (word.base64) {
        const char* end = strstr(buffer, "?=");
        if (end == nullptr) {
            return length;
        }
        endPos = static_cast<size_t>(end - buffer);
        buffer[endPos] = '\0';
        size_t dataLength = endPos > word.prefixLength ? endPos - word.prefixLength : 0;
        size_t size = sizeof decoded - 1;
        if (!decodeBase64(buffer + word.prefixLength, dataLength, reinterpret_cast<unsigned char*>(decoded), &size)) {
            return endPos;
        }
        decoded[size] = '\0';
        consumed = endPos + 2;
    } else {
        consumed = decodeQ(buffer, word.prefixLength, length, decoded, sizeof decoded);
    }

    if (!convertToAnsi(word.codePage, decoded, sizeof decoded, converter)) {
        if (ownCodePage(word.codePage)) {
            // B: the text is already cut at its "?="; Q: still unchanged.
            return word.base64 ? endPos : length;
        }
        // A code page the system cannot convert is left like an unknown one.
        if (word.base64) {
            buffer[endPos] = '?';
        }
        return length;
    }
    size_t n = strnlen(decoded, capacity - 1);
    memcpy(buffer, decoded, n);
    buffer[n] = '\0';
    return consumed;
}
