// The date a mail list shows, made from the stored date of a mail line.
#pragma once
#include <cstddef>

#include "store/mail_record.h"

// Shown in place of a date that cannot be converted.
constexpr char kUnknownMailDate[] = "00 00 00, 00:00:00";

// Replaces the stored date in text (decimal seconds) by the date to show,
// e.g. "2 янв  09, 14:05:09". The value less the C runtime's time-zone bias
// (TZ or the system setting, as tzset reads it) is shown as local time.
// Returns false, with kUnknownMailDate in text, when that is not possible.
bool formatMailDate(char* text, size_t capacity);

// The C runtime's time-zone bias in seconds west of UTC, read anew (tzset)
// from TZ or the system setting. Reading it can be slow; the loader reads it
// once per file.
long mailDateBias();

// formatMailDate with a bias read before, from the stored date in one text
// into another (which may be the same).
bool showMailDate(const char* storedDate, char* out, size_t capacity, long bias);

// The text work of formatMailDate: turns a time in the C runtime's ctime form
// ("Fri Jan 02 14:05:09 2009\n"; the day may also be blank-padded) into the
// shown form "day month yy, hh:mm:ss". Returns false, with kUnknownMailDate
// in out, when a part is missing or the month is unknown.
bool shownDateFromClockText(const char* clockText, char* out, size_t capacity);

// The shown date of a loaded mail, made from its stored date with the
// list's bias the first time it is asked for and kept in the entry: a list
// of 100,000 mails shows a screenful of them, and each date costs a
// conversion to local time.
const char* entryShownDate(MailEntry& entry, long bias);
