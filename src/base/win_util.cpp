#include "base/win_util.h"

#include "base/text.h"
#include "base/wide_text.h"
#include "base/win_handles.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

const char kAgentCaption[] = "Lumetra Агент";

void systemErrorText(DWORD code, char* buffer, size_t capacity) {
    if (capacity == 0) {
        return;
    }
    buffer[0] = '\0';
    // The system allocates the text: a fixed buffer would make FormatMessage
    // fail for every message longer than it instead of cutting it. It comes
    // as UTF-16 and is made Windows-1251, the program's texts' code page,
    // whatever the system's is.
    LocalMemory<wchar_t> text;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    DWORD n =
        FormatMessageW(flags, nullptr, code, kMessageLanguage, reinterpret_cast<wchar_t*>(text.out()), 0, nullptr);
    if (n == 0) {
        // Systems without texts in that language still have them in their own.
        n = FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(text.out()), 0, nullptr);
    }
    int size = n != 0 && text.get() != nullptr
                   ? WideCharToMultiByte(kTextCodePage, 0, text.get(), -1, nullptr, 0, nullptr, nullptr)
                   : 0;
    if (size <= 1) {
        return;
    }
    std::string narrow(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(kTextCodePage, 0, text.get(), -1, &narrow[0], size, nullptr, nullptr) != size) {
        return;
    }
    size_t len = copyText(buffer, capacity, narrow.c_str());
    while (len > 0 && (buffer[len - 1] == '\r' || buffer[len - 1] == '\n' || buffer[len - 1] == ' ')) {
        buffer[--len] = '\0';
    }
}

// A box asked for by a window is owned by its top-level window, so that it
// stays in front of it and the window waits for the answer; every box asks
// to come to the foreground, also one that background work shows while the
// user is in another program, which would otherwise open behind it.
int showMessage(HWND owner, const char* text, const char* caption, UINT type) {
    HWND topLevel = owner != nullptr ? GetAncestor(owner, GA_ROOT) : nullptr;
    return MessageBoxExW(topLevel != nullptr ? topLevel : owner, WideText(text).get(), WideText(caption).get(),
                         type | MB_SYSTEMMODAL | MB_SETFOREGROUND, kMessageLanguage);
}

int showMessagef(HWND owner, const char* caption, UINT type, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    formatTextV(text, sizeof text, format, args);
    va_end(args);
    return showMessage(owner, text, caption, type);
}
