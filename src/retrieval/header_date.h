// The Date header of a mail turned into the number the mail records keep.
#pragma once
#include <cstddef>
#include <cstdint>

// Reads a Date value (without the header name and the blanks around it, for
// instance "Tue, 1 Dec 2009 10:20:30 +0300") and rewrites buffer with the
// calendar time as unsigned decimal text: the C runtime's mktime of the date
// and time taken as local standard time, corrected by the numeric zone. The
// number therefore compares in the order of the true times, and adding the
// local offset back gives the local date to show.
// Accepted: an optional weekday (any leading word), day, month name (Jan to
// Dec in any letter case), year (two digits mean 2000-2049 or 1950-1999,
// three digits 1900 + n), hours, minutes, optional seconds, then the zone:
// "+HHMM" or "-HHMM", or any other word (GMT, a comment), which means no
// correction. The zone is required.
// Returns the number written; 0 and the text "0" when the value is not
// recognised (including dates before 1970 and after 2106). Only the first
// 1023 characters of the value are read.
uint32_t parseHeaderDate(char* buffer, size_t capacity);
