#include "store/mail_line.h"

#include "base/text.h"
#include "store/line_reader.h"

#include <climits>
#include <cstring>

namespace {

// The texts of a line, in file order (the two marks aside).
enum MailText { kNumber, kPseudonym, kAddress, kSize, kIdentity, kSender, kDate, kSubject, kTextCount };

constexpr size_t kTextWidths[kTextCount] = {
    kMailNumberWidth,   kMailPseudonymWidth, kMailAddressWidth, kMailSizeWidth,
    kMailIdentityWidth, kMailSenderWidth,    kMailDateWidth,    kMailSubjectWidth,
};

// Where one text stands in its line, already cut to its width. A text the
// line does not reach is absent (empty).
struct TextSpan {
    bool present;
    size_t start;
    size_t length;
};

// Where the fields of one line stand: the single rule of the line format
// that both the fixed record and the in-place entry are read by.
struct LineSpans {
    TextSpan text[kTextCount];
    bool deletion;
    bool attachment;
};

// A field's text ends at its first NUL, as it does once copied.
bool pieceIsText(const char* piece, size_t length, const char* text) {
    size_t n = strnlen(piece, length);
    return n == strlen(text) && memcmp(piece, text, n) == 0;
}

void setSpan(LineSpans& spans, MailText which, size_t start, size_t length) {
    size_t width = kTextWidths[which];
    spans.text[which] = TextSpan{true, start, length < width ? length : width};
}

// The text of field 1 to 9 (file order) a piece goes to, or kTextCount for
// the marks and the surplus fields of a subject that held ";".
MailText textOfField(int field) {
    static constexpr MailText kTexts[] = {kTextCount, kNumber,   kTextCount, kPseudonym, kAddress,
                                          kSize,      kIdentity, kSender,    kDate,      kTextCount};
    return field >= 1 && field <= 9 ? kTexts[field] : kTextCount;
}

// Splits a line at its ";": the fields in order, the text after the last ";"
// always the subject. A fourth field of exactly "0" marks a placeholder: the
// line ends there and the "0" becomes the sender.
void splitMailLine(const char* line, size_t length, LineSpans& spans) {
    memset(&spans, 0, sizeof spans);
    size_t start = 0;
    int field = 1;
    for (;;) {
        const char* hit = findByte(line + start, ';', length - start);
        size_t end = hit ? static_cast<size_t>(hit - line) : length;
        const char* piece = line + start;
        size_t pieceLength = end - start;
        if (field == 4 && pieceIsText(piece, pieceLength, "0")) {
            setSpan(spans, kSender, start, 1);
            return;
        }
        if (hit == nullptr) {
            setSpan(spans, kSubject, start, pieceLength);
            return;
        }
        MailText text = textOfField(field);
        if (field == 2) {
            spans.deletion = pieceLength > 0 && piece[0] == '1';
        } else if (field == 9) {
            spans.attachment = pieceLength > 0 && piece[0] == '+';
        } else if (text != kTextCount) {
            setSpan(spans, text, start, pieceLength);
        }
        if (field < 10) {
            field++;
        }
        start = end + 1;
    }
}

// One text of a line with the most the written line may carry of it.
struct BoundedText {
    const char* text;
    size_t capacity;
};

size_t formatLine(const BoundedText (&t)[kTextCount], bool deletion, bool attachment, char* buffer) {
    char* out = buffer;
    out = putBoundedText(out, t[kNumber].text, t[kNumber].capacity);
    *out++ = ';';
    *out++ = deletion ? '1' : '0';
    *out++ = ';';
    for (int i = kPseudonym; i <= kDate; i++) {
        out = putBoundedText(out, t[i].text, t[i].capacity);
        *out++ = ';';
    }
    if (attachment) {
        *out++ = '+';
    }
    *out++ = ';';
    out = putBoundedText(out, t[kSubject].text, t[kSubject].capacity);
    *out++ = '\r';
    *out++ = '\n';
    *out = '\0';
    return static_cast<size_t>(out - buffer);
}

} // namespace

void parseMailLine(const char* line, size_t length, MailRecord& record) {
    LineSpans spans;
    splitMailLine(line, length, spans);
    memset(&record, 0, sizeof record);
    char* const texts[kTextCount] = {record.number,   record.pseudonym, record.address,    record.size,
                                     record.identity, record.sender,    record.storedDate, record.subject};
    const size_t capacities[kTextCount] = {sizeof record.number,     sizeof record.pseudonym, sizeof record.address,
                                           sizeof record.size,       sizeof record.identity,  sizeof record.sender,
                                           sizeof record.storedDate, sizeof record.subject};
    for (int i = 0; i < kTextCount; i++) {
        const TextSpan& span = spans.text[i];
        if (span.present) {
            copyTextN(texts[i], capacities[i], line + span.start, span.length);
        }
    }
    record.deletion = spans.deletion ? 1 : 0;
    record.attachment = spans.attachment ? 1 : 0;
}

void parseMailEntry(char* line, size_t length, MailEntry& entry) {
    static const char kEmpty[] = "";
    LineSpans spans;
    splitMailLine(line, length, spans);
    const char** const texts[kTextCount] = {&entry.number,   &entry.pseudonym, &entry.address,    &entry.size,
                                            &entry.identity, &entry.sender,    &entry.storedDate, &entry.subject};
    // Every span ends at or before the ";" or "\r" that follows its field,
    // so a terminator never falls into another text.
    for (int i = 0; i < kTextCount; i++) {
        const TextSpan& span = spans.text[i];
        if (span.present) {
            *texts[i] = line + span.start;
            line[span.start + span.length] = '\0';
        } else {
            *texts[i] = kEmpty;
        }
    }
    entry.shownDate[0] = '\0';
    entry.deletion = spans.deletion ? 1 : 0;
    entry.attachment = spans.attachment ? 1 : 0;
}

size_t readMailEntries(char* text, size_t size, MailEntry* entries, size_t capacity) {
    LineReader reader(text, size);
    const char* line;
    size_t length;
    size_t count = 0;
    while (count < capacity && reader.next(line, length)) {
        parseMailEntry(text + (line - text), length, entries[count++]);
    }
    return count;
}

size_t formatMailLine(const MailRecord& r, char* buffer) {
    // Every field is bounded by its array, so the line fits kMailLineCapacity.
    static_assert(sizeof r.number + sizeof r.pseudonym + sizeof r.address + sizeof r.size + sizeof r.identity +
                          sizeof r.sender + sizeof r.storedDate + sizeof r.subject + 16 <=
                      kMailLineCapacity,
                  "a mail line must fit its buffer");
    const BoundedText texts[kTextCount] = {
        {r.number, sizeof r.number},         {r.pseudonym, sizeof r.pseudonym},
        {r.address, sizeof r.address},       {r.size, sizeof r.size},
        {r.identity, sizeof r.identity},     {r.sender, sizeof r.sender},
        {r.storedDate, sizeof r.storedDate}, {r.subject, sizeof r.subject},
    };
    return formatLine(texts, r.deletion != 0, r.attachment != 0, buffer);
}

size_t formatMailEntry(const MailEntry& e, char* buffer) {
    const char* const texts[kTextCount] = {e.number,   e.pseudonym, e.address,    e.size,
                                           e.identity, e.sender,    e.storedDate, e.subject};
    BoundedText bounded[kTextCount];
    for (int i = 0; i < kTextCount; i++) {
        bounded[i] = BoundedText{texts[i], kTextWidths[i] + 1};
    }
    return formatLine(bounded, e.deletion != 0, e.attachment != 0, buffer);
}

bool isPlaceholderRecord(const MailRecord& record) {
    return record.address[0] == '\0' && strcmp(record.sender, "0") == 0;
}

bool isPlaceholderRecord(const MailEntry& entry) {
    return entry.address[0] == '\0' && strcmp(entry.sender, "0") == 0;
}

bool parseMailNumber(const char* text, uint64_t& number) {
    uint64_t value = 0;
    size_t i = 0;
    while (text[i] >= '0' && text[i] <= '9') {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
        i++;
    }
    if (i == 0) {
        return false;
    }
    number = value;
    return true;
}
