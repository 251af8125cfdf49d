// Message boxes and system error texts in the program's manner.
#pragma once
#include <windows.h>

#include <cstddef>

// Every message box and system error text uses the neutral language with the
// system default sub-language.
constexpr LANGID kMessageLanguage = 0x0800;

// Caption of the program's message boxes.
extern const char kAgentCaption[];

// Capacity of a system error text (at most 99 characters).
constexpr size_t kErrorTextCapacity = 100;

// The system's message text for an error code, without a trailing line end;
// empty when the system has none.
void systemErrorText(DWORD code, char* buffer, size_t capacity = kErrorTextCapacity);

// An error code with its system text, for the texts that end in
// "Ошибка %u: %s": writeLogf(format, ..., failure.code, failure.text).
struct SystemError {
    unsigned code;
    char text[kErrorTextCapacity];
    explicit SystemError(DWORD error) : code(error) { systemErrorText(error, text); }
};

// A system-modal message box of the program, owned by the owner's top-level
// window and brought to the foreground, its Windows-1251 texts shown right on
// any code page; returns the button chosen.
int showMessage(HWND owner, const char* text, const char* caption = kAgentCaption, UINT type = MB_OK);

// showMessage with printf formatting of the text (cut at 2048 bytes).
int showMessagef(HWND owner, const char* caption, UINT type, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
