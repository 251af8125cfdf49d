// Base64 data of encoded words: the first byte gives the room for the output.
#include "retrieval/encoded_word.h"

#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    size_t room = data[0];
    const char* text = reinterpret_cast<const char*>(data + 1);
    size_t length = size - 1;
    // Exactly the room, so that the sanitizer sees every write beyond it.
    std::unique_ptr<unsigned char[]> out(new unsigned char[room + 1]);
    size_t capacity = room;
    bool fitted = decodeBase64(text, length, out.get(), &capacity);

    size_t symbols = 0;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/') {
            symbols++;
        }
    }
    static const size_t kTail[4] = {0, 0, 1, 2};
    size_t expected = symbols / 4 * 3 + kTail[symbols % 4];
    if (capacity != expected || fitted != (expected <= room)) {
        __builtin_trap();
    }
    return 0;
}
