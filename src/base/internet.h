// HTTP GET through WinINet for the version file, the telegram query and the
// update download: time-outs on every request, the whole body read however
// it arrives, and a way to stop a running request from another thread.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstddef>

// Each step of a request has its own time-out, and the whole request
// (redirects and every read of the body included) a deadline of
// requestBaseMs plus the time the buffer takes to fill at minBytesPerSecond:
// about two minutes for a 1 MiB telegram reply.
struct HttpTimeouts {
    DWORD connectMs = 30000;
    DWORD sendMs = 30000;
    DWORD receiveMs = 60000; // each read of the body
    DWORD requestBaseMs = 60000;
    DWORD minBytesPerSecond = 16384;
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
// or the buffer is full. Up to five redirects are followed, never from https
// to http, and not to another scheme, host or port when the address has a
// query (it may carry a login and password); any other redirect fails with
// ERROR_HTTP_REDIRECT_FAILED, a request past its deadline with
// ERROR_INTERNET_TIMEOUT. error is set when no whole answer could be had.
HttpResult httpGet(InternetSession& session, const char* url, char* buffer, size_t capacity);

// Ends the requests of every open session (shutdown).
void cancelHttpRequests();
void resetHttpCancel();
