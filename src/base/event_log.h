// The event log MAInLog.txt: one prefixed line per report, from any thread.
#pragma once
#include <windows.h>

// The size the log grows to at most while the agent runs (10 MiB): an entry
// that would pass it empties the file first, as a start does, and the new
// first entry says why.
constexpr unsigned long kEventLogLimit = 10ul * 1024 * 1024;

// Opens (and empties) the log file. Returns 0 or the system error code.
DWORD openEventLog(const char* path);

// Appends one entry: the date prefix, the text byte for byte, "\r\n".
// Does nothing while the log is not open; write errors are ignored.
void writeLog(const char* text);

// writeLog with printf formatting (the entry is cut at 4096 bytes).
void writeLogf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes the last entry at the end of the file and closes the log.
void closeEventLog(const char* lastText);

bool eventLogOpen();

// Replaces the size limit (tests).
void setEventLogLimit(unsigned long bytes);
