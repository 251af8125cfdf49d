// The program's texts are Windows-1251, whatever the system's code page. An
// A function would read them in the system's code page (garbled on a system
// whose code page is 1252 or UTF-8), so the interface hands them to the W
// functions converted explicitly.
#pragma once
#include <windows.h>

#include <cstddef>

#include <string>

constexpr UINT kTextCodePage = 1251;

// A Windows-1251 text as UTF-16; empty when it cannot be converted.
class WideText {
public:
    explicit WideText(const char* text);
    const wchar_t* get() const { return text_.c_str(); }

private:
    std::wstring text_;
};

// A Windows-1251 text as UTF-16 into wide (cut to capacity, always ended).
// Returns the length.
size_t widenText(const char* text, wchar_t* wide, size_t capacity);

// A UTF-16 text as Windows-1251 into text (cut to capacity): what Windows-1251
// cannot hold becomes its closest letter or "?". Returns the length.
size_t narrowText(const wchar_t* wide, char* text, size_t capacity);

// The window texts of the interface, in Windows-1251 both ways.
bool setWindowText(HWND window, const char* text);
bool setItemText(HWND dialog, int id, const char* text);
size_t windowText(HWND window, char* text, size_t capacity);
size_t itemText(HWND dialog, int id, char* text, size_t capacity);
