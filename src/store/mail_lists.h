// The mail lists of the agent: NewMailDim (Mail.txt, the mails that arrived
// since the viewer was last closed) and MailDim (HistMail.txt, the archive),
// each a sorted record array with its per-mailbox groups; their loading,
// saving, and the merge of one mail file into another. All of it runs on the
// user-interface thread.
#pragma once
#include <windows.h>

#include "store/mail_record.h"

struct MailList {
    MailEntry* records = nullptr; // absent (no storage) when null
    int count = 0;                // NewMailDim: the new-mail count; MailDim: the archive count
    MailboxGroup* groups = nullptr;
    int groupCount = 0;
    char* texts = nullptr; // the file image that the records' texts stand in
    long dateBias = 0;     // the time-zone bias its shown dates are made with
};

extern MailList NewMailDim;
extern MailList MailDim;

// Owned by the mail list view: 1 = the mails of a group by date ascending,
// 0 = descending. The loader sorts with it too.
extern int groupDateAscending;

// Releases a list's storage and zeroes its counts.
void releaseMailList(MailList& list);

// Replaces both lists from Mail.txt and HistMail.txt of the service folder
// and recomputes highestMailNumber (from HistMail.txt and the first line of
// DeleteMail.txt). True when either list has a record. The owner window is
// not used: every failure goes to the event log.
bool loadMailLists(HWND owner);

// Writes MailDim to HistMail.txt and NewMailDim to Mail.txt; an absent list
// leaves its file alone. True when Mail.txt was written, else whether
// HistMail.txt was. everyListWritten, when given, says whether each present
// list reached its file.
bool saveMailLists(bool* everyListWritten = nullptr);

// What a merge did to its target, so that it can be taken back.
struct MailFileAppend {
    bool renamed = false;   // the source was renamed to the missing target
    bool created = false;   // the target was created empty and appended to
    LONGLONG oldLength = 0; // the target's length before the merge
};

// Appends the source file to the target file. True when the source's content
// now stands at the end of the target (undo, when given, then says how to
// take it back). An empty source is deleted (result false); otherwise the
// source stays.
bool appendMailFile(const char* target, const char* source, MailFileAppend* undo = nullptr);

// Appends text (whole lines) to the target file, creating it when missing.
// True when the text now stands at the end of the target; undo, when given,
// then says how to take it back. On a failure nothing is left appended.
bool appendMailText(const char* target, const char* text, size_t size, MailFileAppend* undo = nullptr);

// Takes back a merge that appendMailFile reported as done: the target is cut
// back to its old length (removed when the merge created it), or renamed back
// to the source. False, logged, when that fails.
bool undoMailFileAppend(const char* target, const char* source, const MailFileAppend& undo);
