#include "retrieval/header_blocks.h"

#include "base/text.h"
#include "retrieval/encoded_word.h"
#include "retrieval/header_date.h"

#include <cinttypes>
#include <cstring>

namespace {

// First occurrence of needle in [begin, end), or null.
const char* findText(const char* begin, const char* end, const char* needle) {
    size_t n = strlen(needle);
    if (static_cast<size_t>(end - begin) < n) {
        return nullptr;
    }
    const char* last = end - n;
    for (const char* p = begin; p <= last; p++) {
        p = static_cast<const char*>(memchr(p, needle[0], static_cast<size_t>(last - p) + 1));
        if (p == nullptr) {
            return nullptr;
        }
        if (memcmp(p, needle, n) == 0) {
            return p;
        }
    }
    return nullptr;
}

bool startsWith(const char* begin, const char* end, const char* prefix) {
    size_t n = strlen(prefix);
    return static_cast<size_t>(end - begin) >= n && memcmp(begin, prefix, n) == 0;
}

// The first CR or LF at or after p, or end.
const char* lineEnd(const char* p, const char* end) {
    while (p < end && *p != '\r' && *p != '\n') {
        p++;
    }
    return p;
}

// The start of the line after the one ending at p (CR LF, a lone CR or LF).
const char* nextLine(const char* p, const char* end) {
    if (p < end && *p == '\r') {
        p++;
    }
    if (p < end && *p == '\n') {
        p++;
    }
    return p;
}

const char* skipBlanks(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t')) {
        p++;
    }
    return p;
}

TextSpan span(const char* begin, const char* end) {
    TextSpan s;
    s.data = begin;
    s.length = static_cast<size_t>(end - begin);
    return s;
}

// The value of one of the block's own lines: the key at the start of one of
// the `lines` lines from p, its value ended by a line end.
TextSpan ownLine(const char* p, const char* end, const char* key, int lines) {
    for (int i = 0; i < lines && p < end; i++) {
        const char* e = lineEnd(p, end);
        if (startsWith(p, e, key)) {
            if (e == end) {
                return TextSpan(); // the value runs to the end of the text
            }
            return span(p + strlen(key), e);
        }
        p = nextLine(e, end);
    }
    return TextSpan();
}

// The value after "\n<name>:" in the header, trying the two spellings in turn;
// the hit must lie in [begin, headerEnd). Blanks after the colon are skipped,
// the value runs to the line end (at most to end).
TextSpan headerValue(const char* begin, const char* headerEnd, const char* end, const char* name,
                     const char* lowerName) {
    const char* hit = findText(begin, headerEnd, name);
    size_t nameLength = strlen(name);
    if (hit == nullptr) {
        hit = findText(begin, headerEnd, lowerName);
    }
    if (hit == nullptr) {
        return TextSpan();
    }
    const char* value = skipBlanks(hit + nameLength, end);
    return span(value, lineEnd(value, end));
}

// Appends the fields of one record line, cut to its capacity. Each text
// field is cut to the work buffer and cleaned of what would break the line.
class LineWriter {
public:
    LineWriter(char* out, size_t capacity) : out_(out), capacity_(capacity) { out_[0] = '\0'; }

    size_t length() const { return length_; }

    void separator(const char* text) {
        for (; *text != '\0'; text++) {
            putByte(*text);
        }
        fieldLength_ = 0;
    }

    void put(const char* text, size_t n) {
        for (size_t i = 0; i < n && fieldLength_ + 1 < kHeaderWorkCapacity; i++) {
            char c = text[i];
            if (c == ';') {
                c = ',';
            } else if (c == '\r' || c == '\n' || c == '\0') {
                c = ' ';
            }
            putByte(c);
            fieldLength_++;
        }
    }

    void put(const char* text) { put(text, strlen(text)); }
    void put(const TextSpan& s) { put(s.data, s.length); }

private:
    void putByte(char c) {
        if (length_ + 1 < capacity_) {
            out_[length_++] = c;
            out_[length_] = '\0';
        }
    }

    char* out_;
    size_t capacity_;
    size_t length_ = 0;
    size_t fieldLength_ = 0;
};

// Copies a piece of text into the work buffer, cut to it.
void copyToWork(char* work, const char* begin, const char* end) {
    copyTextN(work, kHeaderWorkCapacity, begin, static_cast<size_t>(end - begin));
}

// Sender: the first encoded word of the value decoded (the text before it
// and after it is not kept), or the plain value.
void writeSender(LineWriter& out, const TextSpan& from, const CodePageConverter* converter) {
    const char* end = from.data + from.length;
    const char* word = findText(from.data, end, "=?");
    if (word == nullptr) {
        out.put(from);
        return;
    }
    char work[kHeaderWorkCapacity];
    copyToWork(work, word, end);
    decodeEncodedWord(work, sizeof work, converter);
    out.put(work);
}

// One line of the subject: every encoded word decoded, the words joined and
// the plain text around them left out; a line without a word unchanged.
// Scanning goes on after whatever the decoder consumed, so a word it does not
// recognise (which it hands back with the rest of the line) is written once.
void writeSubjectLine(LineWriter& out, const TextSpan& line, const CodePageConverter* converter) {
    const char* s = line.data;
    size_t n = line.length;
    bool anyWord = false;
    size_t i = 0;
    while (i + 1 < n) {
        // "=?=" is the last fill sign of B data and its closing "?=".
        if (s[i] == '=' && s[i + 1] == '?' && (i + 2 >= n || s[i + 2] != '=')) {
            anyWord = true;
            char work[kHeaderWorkCapacity];
            copyToWork(work, s + i, s + n);
            size_t consumed = decodeEncodedWord(work, sizeof work, converter);
            out.put(work);
            i += consumed > 0 ? consumed : 1;
        } else {
            i++;
        }
    }
    if (!anyWord) {
        out.put(line);
    }
}

} // namespace

bool nextHeaderBlock(const char* text, size_t length, size_t* position, HeaderBlock* block) {
    const char* textEnd = text + length;
    while (*position < length) {
        const char* start = text + *position;
        const char* terminator = findText(start, textEnd, "\r\n.\r\n");
        // The block's text keeps the line end of its last line.
        const char* end = terminator != nullptr ? terminator + 2 : textEnd;
        *position = terminator != nullptr ? static_cast<size_t>(terminator + 5 - text) : length;
        if (!startsWith(start, end, "Psevdo:")) {
            continue;
        }

        *block = HeaderBlock();
        const char* value = start + strlen("Psevdo:");
        const char* e = lineEnd(value, end);
        if (e == end) {
            return false; // an incomplete last block
        }
        block->pseudonym = span(value, e);
        const char* ownLines = nextLine(e, end);
        block->address = ownLine(ownLines, end, "MailAddr:", 3);
        block->size = ownLine(ownLines, end, "MailSize:", 3);
        block->identifier = ownLine(ownLines, end, "MailIdent:", 3);

        const char* headerEnd = findText(start + 4, end, "\r\n\r\n");
        if (headerEnd == nullptr) {
            return true;
        }
        block->headerEnd = true;
        block->from = headerValue(start, headerEnd, end, "\nFrom:", "\nfrom:");
        block->date = headerValue(start, headerEnd, end, "\nDate:", "\ndate:");
        if (block->date.found()) {
            while (block->date.length > 0 && (block->date.data[block->date.length - 1] == ' ' ||
                                              block->date.data[block->date.length - 1] == '\t')) {
                block->date.length--;
            }
        }
        const char* boundary = findText(start, headerEnd, "boundary=\"");
        if (boundary == nullptr) {
            boundary = findText(start, headerEnd, "Boundary=\"");
        }
        block->attachment = boundary != nullptr;
        block->subject = headerValue(start, headerEnd, end, "\nSubject:", "\nsubject:");
        if (block->subject.found()) {
            const char* next = nextLine(block->subject.data + block->subject.length, end);
            TextSpan continuation = span(next, lineEnd(next, end));
            if (memchr(continuation.data, ':', continuation.length) == nullptr) {
                block->subjectContinuation = continuation;
            }
        }
        return true;
    }
    return false;
}

void formatHeaderRecord(const HeaderBlock& block, uint64_t number, const CodePageConverter* converter,
                        RecordLine* line) {
    LineWriter out(line->text, sizeof line->text);
    line->dateUnrecognised = false;
    char numberText[32];
    formatText(numberText, sizeof numberText, "%" PRIu64 ";0;", number);
    out.separator(numberText);
    out.put(block.pseudonym);
    out.separator(";");
    out.put(block.address);
    out.separator(";");
    out.put(block.size);
    out.separator(";");
    out.put(block.identifier);
    out.separator(";");
    if (!block.headerEnd) {
        out.separator(";;;\r\n");
        line->length = out.length();
        return;
    }

    if (block.from.found()) {
        writeSender(out, block.from, converter);
    }
    out.separator(";");
    if (block.date.found()) {
        char work[kHeaderWorkCapacity];
        copyToWork(work, block.date.data, block.date.data + block.date.length);
        line->dateUnrecognised = parseHeaderDate(work, sizeof work) == 0;
        out.put(work);
    }
    out.separator(";");
    if (block.attachment) {
        out.put("+");
    }
    out.separator(";");
    if (block.subject.found()) {
        writeSubjectLine(out, block.subject, converter);
        if (block.subjectContinuation.found()) {
            writeSubjectLine(out, block.subjectContinuation, converter);
        }
    }
    out.separator("\r\n");
    line->length = out.length();
}
