// Settings values as they come from a damaged or hand-edited Korvel.ini.
#include "core/settings_values.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    parseProfileInt(text.c_str(), 7);

    // The profile functions hand over at most the buffer's capacity less one.
    char url[kServerUrlCapacity];
    size_t n = size < sizeof url - 1 ? size : sizeof url - 1;
    memcpy(url, data, n);
    url[n] = '\0';
    normaliseServerUrl(url, sizeof url, kDefaultUpdateServer);
    size_t len = strlen(url);
    if (len == 0 || url[len - 1] != '/') {
        __builtin_trap();
    }
    return 0;
}
