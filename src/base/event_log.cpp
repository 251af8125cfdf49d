#include "base/event_log.h"
#include "base/file_names.h"

#include "base/log_prefix.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Process-wide: every thread writes to it, from the start-up's opening to the
// agent's shutdown.
UniqueHandle logFile;
// The three writes of one entry go out under this lock, so that entries of
// the UI thread and a poll thread never interleave; the restart at the size
// limit happens under it too.
SRWLOCK logLock = SRWLOCK_INIT;
unsigned long long logSize = 0; // bytes written since the file was emptied
unsigned long logLimit = kEventLogLimit;

void writeBytes(const char* data, size_t size) {
    DWORD written = 0;
    WriteFile(logFile.get(), data, static_cast<DWORD>(size), &written, nullptr);
    logSize += written;
}

void writePrefixed(const char* prefix, size_t prefixLength, const char* text, size_t textLength) {
    writeBytes(prefix, prefixLength);
    writeBytes(text, textLength);
    writeBytes("\r\n", 2);
}

// Empties the file as the start-up does and says why in its first entry.
// A file that cannot be emptied goes on growing, and the next try comes
// after as many bytes again.
void restartLocked(const char* prefix, size_t prefixLength) {
    logSize = 0;
    if (SetFilePointer(logFile.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !SetEndOfFile(logFile.get())) {
        SetFilePointer(logFile.get(), 0, nullptr, FILE_END);
        return;
    }
    char reason[128];
    int n = snprintf(reason, sizeof reason, "Журнал превысил %lu байт и начат заново\r\n", logLimit);
    writePrefixed(prefix, prefixLength, reason, n > 0 ? static_cast<size_t>(n) : 0);
}

void writeEntryLocked(const char* text) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LogTime t{now.wDay, now.wMonth, now.wYear, now.wHour, now.wMinute, now.wSecond};
    char prefix[kLogPrefixCapacity];
    size_t n = formatLogPrefix(prefix, sizeof prefix, t);
    size_t length = strlen(text);
    if (logSize > 0 && logSize + n + length + 2 > logLimit) {
        restartLocked(prefix, n);
    }
    writePrefixed(prefix, n, text, length);
}

} // namespace

DWORD openEventLog(const char* path) {
    ExclusiveLock lock(logLock);
    UniqueHandle opened(createFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD code = opened ? 0 : GetLastError();
    logFile = std::move(opened);
    logSize = 0;
    return code;
}

void setEventLogLimit(unsigned long bytes) {
    ExclusiveLock lock(logLock);
    logLimit = bytes;
}

bool eventLogOpen() {
    ExclusiveLock lock(logLock);
    return logFile.valid();
}

void writeLog(const char* text) {
    ExclusiveLock lock(logLock);
    if (!logFile) {
        return;
    }
    writeEntryLocked(text ? text : "");
}

void writeLogf(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    formatTextV(text, sizeof text, format, args);
    va_end(args);
    writeLog(text);
}

void closeEventLog(const char* lastText) {
    ExclusiveLock lock(logLock);
    if (!logFile) {
        return;
    }
    SetFilePointer(logFile.get(), 0, nullptr, FILE_END);
    writeEntryLocked(lastText);
    logFile.reset();
}
