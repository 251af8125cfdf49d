// Encoded words as any server may send them in a sender or subject.
#include "retrieval/encoded_word.h"

#include <cstdint>
#include <cstring>

namespace {

void decodeIn(const uint8_t* data, size_t size, size_t capacity) {
    char buffer[kHeaderWorkCapacity];
    size_t n = size < capacity - 1 ? size : capacity - 1;
    memcpy(buffer, data, n);
    buffer[n] = '\0';
    size_t length = strlen(buffer);
    size_t consumed = decodeEncodedWord(buffer, capacity);
    if (strnlen(buffer, capacity) >= capacity || consumed > length || (length > 0 && consumed == 0)) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decodeIn(data, size, kHeaderWorkCapacity);
    decodeIn(data, size, 16); // a buffer shorter than the text
    return 0;
}
