// Bounded text helpers for the fixed-size character buffers of the program.
// Every copy is cut to the buffer's capacity less one and always terminated.
#pragma once
#include <cstdarg>
#include <cstddef>

// Copies src into dst (capacity bytes) and returns the length copied.
size_t copyText(char* dst, size_t capacity, const char* src);

// Copies at most count bytes of src (stopping at a NUL) into dst.
size_t copyTextN(char* dst, size_t capacity, const char* src, size_t count);

// Appends src to the text in dst and returns the new length.
size_t appendText(char* dst, size_t capacity, const char* src);

// printf into dst, cut to the capacity; returns the length written.
size_t formatText(char* dst, size_t capacity, const char* format, ...) __attribute__((format(printf, 3, 4)));
size_t formatTextV(char* dst, size_t capacity, const char* format, va_list args) __attribute__((format(printf, 3, 0)));

// Appends a backslash unless the text already ends with one. Returns false
// when the text is empty or the buffer has no room for it.
bool ensureTrailingBackslash(char* dst, size_t capacity);

// The leading decimal integer of a text as the C library's atoi reads it
// (white space, an optional sign, digits), held within the range of int
// instead of overflowing. False when no digit follows.
bool parseLeadingInt(const char* text, int& value);

// parseLeadingInt's number, 0 when the text holds none.
int leadingNumber(const char* text);

// Length of prefix when text begins with it, ignoring the case of ASCII
// letters (prefix in lower case); 0 otherwise.
size_t matchPrefixIgnoringCase(const char* text, const char* prefix);

// Copies the text of a fixed array (at most capacity - 1 bytes, even when the
// array holds no terminator) to out, without a terminator; returns the end.
char* putBoundedText(char* out, const char* text, size_t capacity);

// The first byte c in the size bytes from text, or null: memchr, eight bytes
// at a time. The mail files run to tens of megabytes, and the C runtime's
// memchr is not fast everywhere.
const char* findByte(const char* text, char c, size_t size);
