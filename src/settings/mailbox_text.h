// The text rules of the mailbox page, without any Windows header.
#pragma once
#include <cstddef>

// An address shorter than this, after its trailing blanks are gone, is
// refused without a test.
constexpr int kMinAddressLength = 4;

// Removes the blanks at the end of text; leading blanks stay.
void trimTrailingBlanks(char* text);

// The state a row takes when the user ticks (checked) or clears its check
// box. The box is ticked exactly for state 'A': ticking makes any row active,
// clearing pauses an active row and leaves any other state as it is.
char stateForCheckBox(char state, bool checked);

// "Выбран %d-й почтовый ящик" for the row at index (counted from 0).
void selectedMailboxText(char* out, size_t capacity, int index);
