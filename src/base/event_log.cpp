#include "base/event_log.h"

#include "base/log_prefix.h"
#include "base/win_handles.h"
#include "base/win_util.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

HANDLE logFile = INVALID_HANDLE_VALUE;
// The three writes of one entry go out under this lock, so that entries of
// the UI thread and a poll thread never interleave.
SRWLOCK logLock = SRWLOCK_INIT;

void writeBytes(const char* data, size_t size) {
    DWORD written = 0;
    WriteFile(logFile, data, static_cast<DWORD>(size), &written, nullptr);
}

void writeEntryLocked(const char* text) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LogTime t{now.wDay, now.wMonth, now.wYear, now.wHour, now.wMinute, now.wSecond};
    char prefix[kLogPrefixCapacity];
    size_t n = formatLogPrefix(prefix, sizeof prefix, t);
    writeBytes(prefix, n);
    writeBytes(text, strlen(text));
    writeBytes("\r\n", 2);
}

} // namespace

DWORD openEventLog(const char* path) {
    ExclusiveLock lock(logLock);
    if (logFile != INVALID_HANDLE_VALUE) {
        CloseHandle(logFile);
    }
    logFile = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return logFile == INVALID_HANDLE_VALUE ? GetLastError() : 0;
}

bool eventLogOpen() {
    ExclusiveLock lock(logLock);
    return logFile != INVALID_HANDLE_VALUE;
}

void writeLog(const char* text) {
    ExclusiveLock lock(logLock);
    if (logFile == INVALID_HANDLE_VALUE) {
        return;
    }
    writeEntryLocked(text ? text : "");
}

void writeLogf(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) {
        text[0] = '\0';
    }
    writeLog(text);
}

void closeEventLog(const char* lastText) {
    ExclusiveLock lock(logLock);
    if (logFile == INVALID_HANDLE_VALUE) {
        return;
    }
    SetFilePointer(logFile, 0, nullptr, FILE_END);
    writeEntryLocked(lastText);
    CloseHandle(logFile);
    logFile = INVALID_HANDLE_VALUE;
}
