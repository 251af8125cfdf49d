// One retrieval run: every active mailbox of MailBox.txt polled once (or, in
// test mode, one mailbox tested for the mailbox page).
#pragma once
#include <windows.h>

// Runs in the mode of gAgent.pollMode (poll thread).
void retrievalRun();

// Reads the open DeleteMail.txt into the run's deletion list; returns the
// number of records (0 for a file under 10 bytes).
int loadDeletionList(HANDLE file);

// Reads IdMail.txt into the run's known identifiers.
void loadKnownIds(const char* path);

// Writes the identifiers of this run to IdMail.txt (the old file stays when
// the new one cannot be written).
void saveSeenIds(const char* path);
