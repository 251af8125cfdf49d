#include "retrieval/system_charsets.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Text of a code page in UTF-16; empty (null) when Windows cannot convert it.
// Several code pages (ISO-2022, UTF-7) take no flags; invalid sequences
// become U+FFFD, which Windows-1251 shows as "?".
std::unique_ptr<wchar_t[]> toWide(unsigned codePage, const char* text, int length, int* count) {
    *count = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    if (*count <= 0) {
        return nullptr;
    }
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[*count]);
    if (!wide || MultiByteToWideChar(codePage, 0, text, length, wide.get(), *count) != *count) {
        return nullptr;
    }
    return wide;
}

} // namespace

bool SystemCodePageConverter::toAnsi(unsigned codePage, const char* text, size_t length, char* ansi,
                                     size_t capacity) const {
    if (capacity == 0 || length > INT_MAX || !IsValidCodePage(codePage)) {
        return false;
    }
    if (length == 0) {
        ansi[0] = '\0';
        return true;
    }
    int wideCount = 0;
    std::unique_ptr<wchar_t[]> wide = toWide(codePage, text, static_cast<int>(length), &wideCount);
    if (!wide) {
        return false;
    }
    // Best fit is left on; the default character of Windows-1251 is "?".
    const DWORD flags = WC_COMPOSITECHECK;
    int ansiCount =
        WideCharToMultiByte(kCodePageWindows1251, flags, wide.get(), wideCount, nullptr, 0, nullptr, nullptr);
    if (ansiCount <= 0) {
        return false;
    }
    std::unique_ptr<char[]> converted(new (std::nothrow) char[ansiCount]);
    if (!converted || WideCharToMultiByte(kCodePageWindows1251, flags, wide.get(), wideCount, converted.get(),
                                          ansiCount, nullptr, nullptr) != ansiCount) {
        return false;
    }
    size_t n = static_cast<size_t>(ansiCount) < capacity ? static_cast<size_t>(ansiCount) : capacity - 1;
    memcpy(ansi, converted.get(), n);
    ansi[n] = '\0';
    return true;
}

const CodePageConverter& systemCodePageConverter() {
    static const SystemCodePageConverter converter;
    return converter;
}
