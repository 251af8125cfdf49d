// Date values as mail headers carry them.
#include "retrieval/header_date.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "MSK-3", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char buffer[2048];
    size_t n = size < sizeof buffer - 1 ? size : sizeof buffer - 1;
    memcpy(buffer, data, n);
    buffer[n] = '\0';
    uint32_t seconds = parseHeaderDate(buffer, sizeof buffer);
    if (std::to_string(seconds) != buffer) {
        __builtin_trap();
    }
    return 0;
}
