// The order in which a loaded mail array is kept: by mailbox address, and
// inside each mailbox by date; with the per-mailbox groups the list shows.
#pragma once
#include "store/mail_record.h"

// Sorts records in place: by address, descending (byte-wise); each run of
// records with equal pseudonym is one group, its placeholder records first,
// then its mails by stored date as text, ascending when dateAscending is set,
// else descending. Equal keys keep their file order. order is scratch space
// for count ints. Returns the number of groups.
int arrangeMailRecords(MailEntry* records, int count, int* order, bool dateAscending);

// Fills groupCount groups for records arranged as above: pseudonym, number of
// mails, index of the first mail (-1 for a mailbox with no mail but a
// placeholder); the list view's fields are 0.
void buildMailGroups(const MailEntry* records, int count, MailboxGroup* groups, int groupCount);

// The keys the mail list sorts by: texts byte-wise on unsigned bytes (as
// strcmp; numbers and dates too, so "9" comes after "10"), the deletion mark
// 0 before 1.
enum class MailKey { Number, Address, Sender, Date, Mark };

// Sorts count records from first by one key. Equal keys keep their order.
void sortMailRecords(MailEntry* first, int count, MailKey key, bool ascending);
