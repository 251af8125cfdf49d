// The orders of the mail list: how a sorting rebuild arranges the mails for
// the view, and what a click on a column's header sorts. No Windows header.
#pragma once
#include "store/mail_list.h"

// Arranges list for the view: grouped, by mailbox address descending and a
// mailbox's mails by date in the direction of groupDateAscending (the groups
// built anew, their folds kept); flat, by date, ascending when
// compactDateFlag is set.
void sortForView(MailList& list, bool grouped, const MailListFlags& flags);

// A click on the header of column (not the first, which is the mark-all
// toggle): sorts list as that column does in the view, turning its flag
// round, and returns true; false when the column sorts nothing or the list
// has no mails.
bool sortByColumn(MailList& list, bool grouped, int column, MailListFlags& flags);
