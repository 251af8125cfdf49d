// Conversions of header text into Windows-1251, the code page of every text
// the agent keeps and shows. They are the program's own tables, so the result
// does not depend on the code pages installed on the computer.
#pragma once
#include <cstddef>
#include <memory>

// Converts NUL-terminated UTF-8 text to NUL-terminated Windows-1251 text in a
// new buffer; nullptr when no memory was available.
std::unique_ptr<char[]> utf8ToAnsi(const char* utf8);

// Converts length bytes of UTF-8 text into ansi (capacity bytes, always
// terminated) and returns the length written. The result is never longer than
// the input, so a buffer of the input's size plus one always suffices.
//  - A character that Windows-1251 has is written as its byte.
//  - A letter followed by a combining accent is written as the precomposed
//    letter when Windows-1251 has it (И + breve gives Й, е + diaeresis gives ё).
//  - Every other character becomes "?", one for each UTF-16 unit it takes, so
//    a character beyond U+FFFF (an emoji) becomes "??".
//  - Each maximal invalid part of a sequence becomes one "?".
size_t convertUtf8ToAnsi(const char* utf8, size_t length, char* ansi, size_t capacity);

// The Windows-1251 byte of a KOI8-R byte: the Cyrillic letters (ё and Ё
// included) and the few signs Windows-1251 also has; "?" for the pseudo-graphic
// characters it lacks. Bytes below 0x80 are ASCII in both.
unsigned char koi8rToAnsi(unsigned char c);

// True for the letters of Windows-1251: ASCII letters, the Cyrillic letters and
// the other letters of the code page (Ђ, Ѓ, Ї, µ, ...).
bool isAnsiLetter(unsigned char c);
