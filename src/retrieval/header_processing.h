// Header processing at the end of a reception run: the header blocks of
// MailTmp.txt become mail record lines at the end of GetMail.txt.
#pragma once
#include "base/win_handles.h"

// Reads the header file (the run's open MailTmp.txt, which it takes over and
// closes on every way out) a window at a time, gives every block the next mail number
// (gAgent.highestMailNumber + 1) and appends its record line to
// serviceFolder\GetMail.txt, which is flushed to disk before this returns.
// Failures are written to the event log. Returns the number of record lines
// appended; allWritten, when given, tells whether every block of the header
// file now stands in GetMail.txt on disk (also when there was none).
int processHeaders(UniqueHandle headerFile, bool* allWritten = nullptr);
