// The line format of Mail.txt, HistMail.txt, GetMail.txt and DeleteMail.txt:
// ten fields separated by ";" (number, deletion mark, pseudonym, address,
// size, identity, sender, stored date, attachment mark, subject), Windows-1251
// text, no quoting.
#pragma once
#include "store/mail_record.h"

#include <cstddef>
#include <cstdint>

// Widths the reader keeps of each field (characters, the terminator aside).
constexpr size_t kMailNumberWidth = 31;
constexpr size_t kMailPseudonymWidth = 259;
constexpr size_t kMailAddressWidth = 259;
constexpr size_t kMailSizeWidth = 31;
constexpr size_t kMailIdentityWidth = 127;
constexpr size_t kMailSenderWidth = 259;
constexpr size_t kMailDateWidth = 31;
constexpr size_t kMailSubjectWidth = 519;

// Room for one formatted line with its "\r\n" and a terminator.
constexpr size_t kMailLineCapacity = 2048;

// Reads one line (without its "\r\n") into record, which is cleared first.
// Fields are cut to their widths; the text after the last ";" is always the
// subject. A shorter line fills the fields from the first on and leaves the
// fields it does not reach empty. A line whose fourth field is exactly "0"
// is a placeholder for a mailbox without mail: it ends there, and the "0"
// goes into the sender. The shown date is left empty.
void parseMailLine(const char* line, size_t length, MailRecord& record);

// Writes record as one line ending in "\r\n" (the stored date, never the
// shown one) and returns its length. buffer holds kMailLineCapacity bytes.
size_t formatMailLine(const MailRecord& record, char* buffer);

// Reads one line into entry as parseMailLine reads it into a record, but in
// place: the entry's texts point into the line, each cut and terminated by a
// NUL written over the line's own bytes; fields the line does not reach
// point to an empty text. line[length] (the line's "\r") must be writable,
// and the line must stay as long as the entry is used. The shown date is
// left empty.
void parseMailEntry(char* line, size_t length, MailEntry& entry);

// Reads every complete line of a writable file image into entries (room for
// capacity of them; countLines tells how many there are) with
// parseMailEntry. Returns the number read.
size_t readMailEntries(char* text, size_t size, MailEntry* entries, size_t capacity);

// formatMailLine for an entry; each text is cut to its field's width.
size_t formatMailEntry(const MailEntry& entry, char* buffer);

// A placeholder stands for a mailbox without mail: sender "0" and no
// address.
bool isPlaceholderRecord(const MailRecord& record);
bool isPlaceholderRecord(const MailEntry& entry);

// The mail number of a text: its leading decimal digits. False when there
// are none or the value does not fit in 64 bits. Mail numbers are counted
// in 64 bits, so that they never wrap into negative or repeated numbers,
// and written as decimal text.
bool parseMailNumber(const char* text, uint64_t& number);
