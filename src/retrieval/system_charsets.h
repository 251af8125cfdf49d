// Header text in the charsets the program has no table of, converted by
// Windows: to UTF-16 from the charset's code page, then to Windows-1251.
#pragma once
#include "retrieval/charset_names.h"

class SystemCodePageConverter : public CodePageConverter {
public:
    // Characters Windows-1251 lacks become their best fit (a Latin letter
    // without its accent) or "?"; a letter followed by a combining accent
    // becomes the precomposed letter where the code page has one.
    bool toAnsi(unsigned codePage, const char* text, size_t length, char* ansi, size_t capacity) const override;
};

// The converter header processing hands to the decoding of encoded words.
const CodePageConverter& systemCodePageConverter();
