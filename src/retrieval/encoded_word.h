// Encoded words of mail headers (=?charset?encoding?text?=), as non-ASCII
// senders and subjects arrive, turned into Windows-1251 text.
#pragma once
#include <cstddef>

class CodePageConverter;

// Size of the buffers that hold one header value.
constexpr size_t kHeaderWorkCapacity = 2048;

// Decodes the encoded word at the start of buffer (NUL-terminated text of at
// most capacity - 1 characters, running to the end of its header line) in
// place, with the B or the Q encoding. KOI8-R, Windows-1251 and UTF-8 (under
// any of their names, in any letter case) are converted by the program's own
// tables; every other known charset through converter (none: such words are
// left like unknown ones). The buffer then holds:
//  - the decoded text of that first word alone (what follows its "?=" is
//    dropped; a decoded zero byte ends the text);
//  - the text unchanged when no word is recognised at its start, its charset
//    is unknown or cannot be converted, or a B word has no "?=";
//  - the text cut just before its first "?=" when B data cannot be decoded.
// Returns how many characters of the original text the new content stands
// for: the whole word with its "?=", the text up to the "?=" when it was cut,
// the whole text when it is unchanged.
size_t decodeEncodedWord(char* buffer, size_t capacity, const CodePageConverter* converter);

// Decodes Base64 text of the given length into output. Bytes that are not
// Base64 symbols ("=" fill, blanks, line ends) are skipped; a last group of
// two or three symbols gives one or two bytes. On entry *capacity is the room
// in output, on return the number of bytes the text decodes to; bytes are
// written only while they fit. Returns false when input is null or the
// decoded bytes did not all fit.
bool decodeBase64(const char* input, size_t length, unsigned char* output, size_t* capacity);
