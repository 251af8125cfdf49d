// UTF-8 text of decoded words, valid or not.
#include "retrieval/charset.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::unique_ptr<char[]> out(new char[size + 1]);
    size_t n = convertUtf8ToAnsi(text, size, out.get(), size + 1);
    if (n > size || out[n] != '\0') {
        __builtin_trap();
    }

    // The allocating form reads up to the first zero byte.
    std::string terminated(text, size);
    std::unique_ptr<char[]> ansi = utf8ToAnsi(terminated.c_str());
    size_t prefix = strlen(terminated.c_str());
    std::unique_ptr<char[]> expected(new char[prefix + 1]);
    convertUtf8ToAnsi(text, prefix, expected.get(), prefix + 1);
    if (!ansi || strcmp(ansi.get(), expected.get()) != 0) {
        __builtin_trap();
    }

    // A small buffer is cut, never overrun.
    char small[8];
    size_t cut = convertUtf8ToAnsi(text, size, small, sizeof small);
    if (cut >= sizeof small || strncmp(small, out.get(), cut) != 0) {
        __builtin_trap();
    }
    return 0;
}
