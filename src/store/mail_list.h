// One loaded mail list (NewMailDim or MailDim) as plain data, and the order
// and mark flags that both tabs of the viewer share. No Windows header: the
// viewer's row model and sort policy build on it natively too.
#pragma once
#include "store/mail_record.h"

struct MailList {
    MailEntry* records = nullptr; // absent (no storage) when null
    int count = 0;                // NewMailDim: the new-mail count; MailDim: the archive count
    MailboxGroup* groups = nullptr;
    int groupCount = 0;
    char* texts = nullptr; // the file image that the records' texts stand in
    long dateBias = 0;     // the time-zone bias its shown dates are made with
};

// How the mail list orders and marks: one set for the whole run, all 0 at
// start, shared by both tabs and both views (and kept while the viewer is
// closed).
struct MailListFlags {
    int groupDateAscending = 0; // grouped view: a mailbox's mails by date ascending; the loader sorts with it too
    int compactDateFlag = 0;    // flat view: the last click on "Когда" (1 = newest first)
    int compactSenderFlag = 0;  // flat view: the last click on "От кого" (1 = by mailbox, 0 = by sender)
    int markAllFlag = 0;        // the state of the last mark-all toggle
};
