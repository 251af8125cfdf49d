// Decodes encoded words for encoded_word_differential.py: each line of
// standard input is one entry text in hexadecimal; each output line is the
// buffer after decodeEncodedWord in hexadecimal, a blank and the count of
// characters the result stands for. Built for Windows it hands the decoder
// the system's converter, as header processing does; built natively none.
#include "retrieval/encoded_word.h"

#ifdef _WIN32
#include "retrieval/system_charsets.h"
#endif

#include <cstdio>
#include <iostream>
#include <string>

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 0;
}

} // namespace

int main() {
#ifdef _WIN32
    const CodePageConverter* converter = &systemCodePageConverter();
#else
    const CodePageConverter* converter = nullptr;
#endif
    std::string line;
    while (std::getline(std::cin, line)) {
        char buffer[kHeaderWorkCapacity];
        size_t n = 0;
        for (size_t i = 0; i + 1 < line.size() && n + 1 < sizeof buffer; i += 2) {
            buffer[n++] = static_cast<char>(hexDigit(line[i]) << 4 | hexDigit(line[i + 1]));
        }
        buffer[n] = '\0';
        size_t consumed = decodeEncodedWord(buffer, sizeof buffer, converter);
        for (const char* p = buffer; *p != '\0'; p++) {
            printf("%02x", static_cast<unsigned char>(*p));
        }
        printf(" %zu\n", consumed);
    }
    return 0;
}
