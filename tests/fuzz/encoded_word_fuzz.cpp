// Encoded words as any server may send them in a sender or subject.
#include "retrieval/charset_names.h"
#include "retrieval/encoded_word.h"

#include <cstdint>
#include <cstring>

namespace {

// Hands the decoded bytes back as they are, cut to the room; code pages with
// an odd number fail, so both ways out of a conversion are taken.
class PassingConverter : public CodePageConverter {
public:
    bool toAnsi(unsigned codePage, const char* text, size_t length, char* ansi, size_t capacity) const override {
        if (codePage % 2 != 0 || capacity == 0) {
            return false;
        }
        size_t n = length < capacity - 1 ? length : capacity - 1;
        memcpy(ansi, text, n);
        ansi[n] = '\0';
        return true;
    }
};

void decodeIn(const uint8_t* data, size_t size, size_t capacity, const CodePageConverter* converter) {
    char buffer[kHeaderWorkCapacity];
    size_t n = size < capacity - 1 ? size : capacity - 1;
    memcpy(buffer, data, n);
    buffer[n] = '\0';
    size_t length = strlen(buffer);
    size_t consumed = decodeEncodedWord(buffer, capacity, converter);
    if (strnlen(buffer, capacity) >= capacity || consumed > length || (length > 0 && consumed == 0)) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const PassingConverter converter;
    decodeIn(data, size, kHeaderWorkCapacity, &converter);
    decodeIn(data, size, kHeaderWorkCapacity, nullptr);
    decodeIn(data, size, 16, &converter); // a buffer shorter than the text
    return 0;
}
