#include "store/mail_line.h"

#include "base/text.h"

#include <climits>
#include <cstring>

namespace {

// Copies a field of the line, cut to width characters.
void takeField(char* dst, size_t capacity, size_t width, const char* piece, size_t length) {
    copyTextN(dst, capacity < width + 1 ? capacity : width + 1, piece, length);
}

// A field's text ends at its first NUL, as it does once copied.
bool pieceIsText(const char* piece, size_t length, const char* text) {
    size_t n = strnlen(piece, length);
    return n == strlen(text) && memcmp(piece, text, n) == 0;
}

void setField(MailRecord& r, int field, const char* piece, size_t length) {
    switch (field) {
    case 1:
        takeField(r.number, sizeof r.number, kMailNumberWidth, piece, length);
        break;
    case 2:
        r.deletion = length > 0 && piece[0] == '1' ? 1 : 0;
        break;
    case 3:
        takeField(r.pseudonym, sizeof r.pseudonym, kMailPseudonymWidth, piece, length);
        break;
    case 4:
        takeField(r.address, sizeof r.address, kMailAddressWidth, piece, length);
        break;
    case 5:
        takeField(r.size, sizeof r.size, kMailSizeWidth, piece, length);
        break;
    case 6:
        takeField(r.identity, sizeof r.identity, kMailIdentityWidth, piece, length);
        break;
    case 7:
        takeField(r.sender, sizeof r.sender, kMailSenderWidth, piece, length);
        break;
    case 8:
        takeField(r.storedDate, sizeof r.storedDate, kMailDateWidth, piece, length);
        break;
    case 9:
        r.attachment = length > 0 && piece[0] == '+' ? 1 : 0;
        break;
    default:
        break; // surplus fields of a subject that held ";" are dropped
    }
}

} // namespace

void parseMailLine(const char* line, size_t length, MailRecord& record) {
    memset(&record, 0, sizeof record);
    size_t start = 0;
    int field = 1;
    for (;;) {
        const void* hit = memchr(line + start, ';', length - start);
        size_t end = hit ? static_cast<size_t>(static_cast<const char*>(hit) - line) : length;
        const char* piece = line + start;
        size_t pieceLength = end - start;
        if (field == 4 && pieceIsText(piece, pieceLength, "0")) {
            copyText(record.sender, sizeof record.sender, "0");
            return;
        }
        if (hit == nullptr) {
            takeField(record.subject, sizeof record.subject, kMailSubjectWidth, piece, pieceLength);
            return;
        }
        setField(record, field, piece, pieceLength);
        if (field < 10) {
            field++;
        }
        start = end + 1;
    }
}

size_t formatMailLine(const MailRecord& r, char* buffer) {
    // Every field is bounded by its array, so the line fits kMailLineCapacity.
    static_assert(sizeof r.number + sizeof r.pseudonym + sizeof r.address + sizeof r.size + sizeof r.identity +
                          sizeof r.sender + sizeof r.storedDate + sizeof r.subject + 16 <=
                      kMailLineCapacity,
                  "a mail line must fit its buffer");
    char* out = buffer;
    out = putBoundedText(out, r.number, sizeof r.number);
    *out++ = ';';
    *out++ = r.deletion ? '1' : '0';
    *out++ = ';';
    out = putBoundedText(out, r.pseudonym, sizeof r.pseudonym);
    *out++ = ';';
    out = putBoundedText(out, r.address, sizeof r.address);
    *out++ = ';';
    out = putBoundedText(out, r.size, sizeof r.size);
    *out++ = ';';
    out = putBoundedText(out, r.identity, sizeof r.identity);
    *out++ = ';';
    out = putBoundedText(out, r.sender, sizeof r.sender);
    *out++ = ';';
    out = putBoundedText(out, r.storedDate, sizeof r.storedDate);
    *out++ = ';';
    if (r.attachment) {
        *out++ = '+';
    }
    *out++ = ';';
    out = putBoundedText(out, r.subject, sizeof r.subject);
    *out++ = '\r';
    *out++ = '\n';
    *out = '\0';
    return static_cast<size_t>(out - buffer);
}

bool isPlaceholderRecord(const MailRecord& record) {
    return record.address[0] == '\0' && strcmp(record.sender, "0") == 0;
}

bool parseMailNumber(const char* text, int& number) {
    long long value = 0;
    size_t i = 0;
    while (text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) {
            return false;
        }
        i++;
    }
    if (i == 0) {
        return false;
    }
    number = static_cast<int>(value);
    return true;
}
