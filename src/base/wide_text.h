// The program's texts are Windows-1251, whatever the system's code page. An
// A function would read them in the system's code page (garbled on a system
// whose code page is 1252 or UTF-8), so the interface hands them to the W
// functions converted explicitly.
#pragma once
#include <windows.h>

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
