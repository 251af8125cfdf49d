// The line format of MailBox.txt and MessBox.txt: the state character, alias,
// identity, password and extra, separated by ";"; extra is the rest of the
// line and may hold ";" itself (a mailbox's server, ";" and port).
#pragma once
#include "store/account_entry.h"

#include <cstddef>

// Widest text of a field (the array less its terminator).
constexpr size_t kAccountFieldWidth = 259;

// Room for one formatted line with its "\r\n" and a terminator.
constexpr size_t kAccountLineCapacity = 4 * 260 + 8;

// Reads one line (without its "\r\n") into entry, which is cleared first.
// The state is the first character before the first ";" (0 when that text is
// empty). A line with fewer than four ";" puts the text after the last ";"
// (the whole line when there is none) into extra; the fields it does not
// reach stay empty.
void parseAccountLine(const char* line, size_t length, AccountEntry& entry);

// Writes entry as "state;alias;identity;password;extra\r\n" and returns the
// length. A state of 0 is written as nothing, so the line reads back alike.
size_t formatAccountLine(const AccountEntry& entry, char* buffer);
