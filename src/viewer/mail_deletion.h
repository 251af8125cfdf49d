// Deleting marked mails and taking the deletion back. A deletion moves the
// marked records from both mail lists to DeleteMail.txt, which the next
// retrieval run works off on the servers; until then the undo puts them back
// into the archive.
#pragma once
#include <windows.h>

struct Viewer;

// The delete button: carries the marks over, asks, and commits.
void deleteMarkedMails(Viewer& viewer, HWND button);

// Appends the marked mails to DeleteMail.txt and drops them from both lists,
// saves, reloads and rebuilds. False when nothing was taken (the lists keep
// the mails and their marks) or when the rebuild failed. failureNotice, when
// given, gets the notice to show the user when the deletion did not happen
// although there were mails (null otherwise).
bool commitDeletion(HWND viewer, const char** failureNotice = nullptr);

// The undo button: the pending mails go back into the archive unless a poll
// runs.
void undoDeletion(Viewer& viewer, HWND button);

// Copies the deletion marks from the array of the tab shown (currentTab) to
// the other one, matching mails by number.
void carryMarksFromShownTab(int currentTab);

// Copies the deletion marks to the array of the tab shown from the other one.
void carryMarksToShownTab(int currentTab);
