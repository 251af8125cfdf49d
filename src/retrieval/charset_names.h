// Charset names as encoded words and MIME parts carry them, and the Windows
// code pages that hold those charsets.
#pragma once
#include <cstddef>

// The code pages the program converts with its own tables, whatever the
// system has installed.
constexpr unsigned kCodePageKoi8r = 20866;
constexpr unsigned kCodePageWindows1251 = 1251;
constexpr unsigned kCodePageUtf8 = 65001;

// The code page of the charset name of length bytes, or 0 for a name not
// known. Letter case does not matter, and a language after "*" (as in
// "utf-8*ru") is ignored. Besides the names of the table, "windows-N",
// "cpN", "x-cpN" and "ibmN" name code page N.
unsigned codePageOfCharset(const char* name, size_t length);

// Turns text of some code page into Windows-1251. Header decoding is handed
// one: the program's converts through the system, tests hand their own.
class CodePageConverter {
public:
    virtual ~CodePageConverter() = default;

    // Converts length bytes of text in codePage into ansi (capacity bytes,
    // always NUL-terminated, the text cut to it). False, with ansi
    // untouched, when the code page cannot be converted.
    virtual bool toAnsi(unsigned codePage, const char* text, size_t length, char* ansi, size_t capacity) const = 0;
};
