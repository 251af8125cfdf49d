// The mail lists of the agent: NewMailDim (Mail.txt, the mails that arrived
// since the viewer was last closed) and MailDim (HistMail.txt, the archive),
// each a sorted record array with its per-mailbox groups; their loading,
// saving, and the merge of one mail file into another. All of it runs on the
// user-interface thread.
#pragma once
#include <windows.h>

#include "store/mail_list.h"

extern MailList NewMailDim;
extern MailList MailDim;

// The order and mark flags of the mail list, one set for the process.
extern MailListFlags gMailListFlags;

// Releases a list's storage and zeroes its counts.
void releaseMailList(MailList& list);

// Replaces both lists from Mail.txt and HistMail.txt of the service folder
// and recomputes highestMailNumber (from HistMail.txt and the first line of
// DeleteMail.txt). True when either list has a record. Every failure goes to
// the event log.
bool loadMailLists();

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
