// What the agent knows of one mail, and the per-mailbox groups of a sorted
// record array. The layout is fixed: the arrays are indexed directly by the
// viewer's list.
#pragma once
#include <cstdint>

struct MailRecord {
    int32_t attachment;  // 1: the header declares a multipart boundary ("+")
    int32_t deletion;    // 1: marked for deletion in the viewer ("1")
    char number[32];     // running mail number, decimal
    char pseudonym[260]; // the mailbox's alias
    char sender[260];    // From, encoded words decoded
    char address[520];   // the mailbox's e-mail address (kept up to 259)
    char storedDate[32]; // calendar seconds as text, "0" when unknown
    char shownDate[260]; // storedDate made readable; never written
    char size[32];       // display text, e.g. "12.5 Кб"
    char identity[128];  // the server-side identifier of the mail
    char subject[520];   // Subject, encoded words decoded
};

struct MailboxGroup {
    char pseudonym[260];
    int32_t count;      // records of the group (0 for a placeholder)
    int32_t firstIndex; // index of the first record, -1 for a placeholder
    // Owned by the mail list view.
    int32_t rowIndex;
    int32_t collapsed;
    int32_t allMarked;
};
