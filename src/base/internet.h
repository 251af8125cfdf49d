// HTTP GET through WinINet for the version file, the telegram query and the
// update download: time-outs on every request, the whole body read however
// it arrives, and a way to stop a running request from another thread.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstddef>

struct HttpTimeouts {
    DWORD connectMs = 30000;
    DWORD sendMs = 30000;
    DWORD receiveMs = 60000; // each read of the body
};
extern HttpTimeouts gHttpTimeouts;

// The agent name of the program's Internet sessions.
extern const char kInternetAgent[];

// An Internet session (InternetOpenA with the preconfigured proxy setting).
// While it exists, cancelHttpRequests() closes it, which ends a request that
// is under way at once.
class InternetSession {
public:
    InternetSession();
    ~InternetSession();
    InternetSession(const InternetSession&) = delete;
    InternetSession& operator=(const InternetSession&) = delete;

    bool opened() const { return handle_ != nullptr; }
    DWORD openError() const { return openError_; }
    HINTERNET handle() const { return handle_; }

private:
    HINTERNET handle_ = nullptr;
    DWORD openError_ = 0;
};

struct HttpResult {
    DWORD error = 0;  // 0, or the system error of the failed step
    DWORD status = 0; // HTTP status code
    size_t size = 0;  // bytes read into the buffer
    bool bufferFull = false;
};

// GETs url into buffer (at most capacity bytes), reading until the body ends
// or the buffer is full. error is set when no answer could be had at all.
HttpResult httpGet(InternetSession& session, const char* url, char* buffer, size_t capacity);

// Ends the requests of every open session (shutdown).
void cancelHttpRequests();
void resetHttpCancel();
