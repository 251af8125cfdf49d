// What the agent knows of one mail, in two forms: MailRecord, a fixed block
// that one line of a mail file is read into and written from, and MailEntry,
// the compact element of the loaded mail arrays, whose texts stay in the file
// image of its list. Also the per-mailbox groups of a sorted array.
#pragma once
#include <cstddef>
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

// Room for a shown date: the longest, "31 янв  09, 23:59:59", has 20
// characters (years end at 3001, so they are cut to two digits).
constexpr size_t kShownDateCapacity = 24;

// One mail of a loaded list. The texts point into the list's file image,
// where the loader cut each to its width and terminated it; none is null.
// The viewer reads the texts and sets the marks; the arrays are sorted by
// moving these small entries, never the texts. A text pointed elsewhere must
// outlive the entry's use; the line writer cuts it to its field's width.
struct MailEntry {
    const char* number;
    const char* pseudonym;
    const char* sender;
    const char* address;
    const char* storedDate;
    const char* size;
    const char* identity;
    const char* subject;
    char shownDate[kShownDateCapacity]; // empty until first shown (entryShownDate); never written
    int32_t attachment;
    int32_t deletion;
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
