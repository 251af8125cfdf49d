// Header files as damaged or hostile as they may come: every block becomes
// one record line of exactly ten fields.
#include "retrieval/charset_names.h"
#include "retrieval/header_blocks.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

namespace {

// Hands the decoded bytes back as they are: line breaks, zero bytes and ";"
// from a converter must not break the record line either.
class PassingConverter : public CodePageConverter {
public:
    bool toAnsi(unsigned, const char* text, size_t length, char* ansi, size_t capacity) const override {
        size_t n = length < capacity - 1 ? length : capacity - 1;
        memcpy(ansi, text, n);
        ansi[n] = '\0';
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC0", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The header file image is terminated like the one processHeaders reads.
    std::unique_ptr<char[]> text(new char[size + 1]);
    memcpy(text.get(), data, size);
    text[size] = '\0';

    static const PassingConverter converter;
    std::unique_ptr<RecordLine> line(new RecordLine);
    size_t position = 0;
    size_t blocks = 0;
    HeaderBlock block;
    while (nextHeaderBlock(text.get(), size, &position, &block)) {
        if (position > size || ++blocks > size) {
            __builtin_trap();
        }
        formatHeaderRecord(block, static_cast<int>(blocks), &converter, line.get());
        const char* s = line->text;
        size_t n = line->length;
        if (n < 2 || n >= sizeof line->text || s[n] != '\0' || s[n - 2] != '\r' || s[n - 1] != '\n') {
            __builtin_trap();
        }
        int separators = 0;
        for (size_t i = 0; i + 2 < n; i++) {
            if (s[i] == '\r' || s[i] == '\n' || s[i] == '\0') {
                __builtin_trap();
            }
            separators += s[i] == ';';
        }
        if (separators != 9) {
            __builtin_trap();
        }
    }
    return 0;
}
