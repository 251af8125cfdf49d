// Cutting the header file MailTmp.txt into its blocks and each block into the
// fields of one mail record line.
//
// The POP3 session writes one block per new mail: the lines "Psevdo:",
// "MailAddr:", "MailSize:" and "MailIdent:", then the mail's header exactly as
// the server sent it after the TOP status line, closed by the POP3 terminator
// line ".". Lines of the header that begin with "." arrive dot-stuffed, so
// "\r\n.\r\n" occurs only at the end of a block, and a block begins at the
// start of the file or right after it. A "Psevdo:" anywhere else is part of
// some mail's header. Every search for a field stays inside its own block.
#pragma once
#include <cstddef>
#include <cstdint>

class CodePageConverter;

// A piece of the header file text; absent when data is null.
struct TextSpan {
    const char* data = nullptr;
    size_t length = 0;

    bool found() const { return data != nullptr; }
};

// The parts of one block that make up its record.
struct HeaderBlock {
    // The block's own lines (values without the line end).
    TextSpan pseudonym;
    TextSpan address;
    TextSpan size;
    TextSpan identifier;
    // Whether the header text has its empty line; without it the fields below
    // are all absent.
    bool headerEnd = false;
    TextSpan from;                // From value, blanks after the colon skipped
    TextSpan date;                // Date value without blanks around it
    TextSpan subject;             // first line of the Subject value
    TextSpan subjectContinuation; // the next line, when it holds no ":"
    bool attachment = false;      // a multipart boundary is declared
};

// Finds the next block at or after *position in text (length bytes; zero
// bytes in it are ordinary characters) and moves *position past it. A piece
// between two terminators that does not begin with "Psevdo:" is skipped.
// Returns false when no block is left; a last block whose "Psevdo:" line has
// no line end is dropped.
bool nextHeaderBlock(const char* text, size_t length, size_t* position, HeaderBlock* block);

// Room for the longest record line: every field is cut to the work buffer.
constexpr size_t kRecordLineCapacity = 16384;

struct RecordLine {
    char text[kRecordLineCapacity];
    size_t length;
    bool dateUnrecognised; // a Date value that parseHeaderDate did not accept
};

// Formats the record line of a block with the given mail number:
// number;0;pseudonym;address;size;identifier;sender;date;mark;subject\r\n
// Encoded words of sender and subject are decoded, charsets beyond the
// program's own through converter (may be null); each value is cut to the
// 2048-byte work buffer. In every text field a ";" becomes "," and a line
// break or zero byte a blank, so the line always has its ten fields.
void formatHeaderRecord(const HeaderBlock& block, uint64_t number, const CodePageConverter* converter,
                        RecordLine* line);
