// HTTP GET through WinINet for the version file, the telegram query and the
// update download: time-outs on every request, the whole body read however
// it arrives, and a way to stop a running request from another thread.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <atomic>
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
// While it exists, cancelHttpRequests() closes it, and so does its own
// cancel(), from any thread: either ends a request that is under way at once.
class InternetSession {
public:
    InternetSession();
    ~InternetSession();
    InternetSession(const InternetSession&) = delete;
    InternetSession& operator=(const InternetSession&) = delete;

    bool opened() const { return handle_ != nullptr; }
    DWORD openError() const { return openError_; }
    HINTERNET handle() const { return handle_; }
    void cancel();
    bool cancelled() const { return cancelled_; }

private:
    HINTERNET handle_ = nullptr;
    DWORD openError_ = 0;
    std::atomic<bool> cancelled_{false};
};

struct HttpResult {
    DWORD error = 0;          // 0, or the system error of the failed step
    DWORD status = 0;         // HTTP status code
    size_t size = 0;          // body bytes taken
    bool bufferFull = false;  // the body reached the limit; the rest was not read
    bool lengthKnown = false; // the reply announced its length (Content-Length)
    unsigned long long contentLength = 0;
};

// Takes a reply's body piece by piece as it arrives.
class HttpSink {
public:
    virtual ~HttpSink() = default;
    // The final reply (after redirects) has come: its status and what
    // httpGet knows of its length so far. Returns 0 or a system error, which
    // ends the request.
    virtual DWORD begin(const HttpResult& reply) = 0;
    // The next piece of the body. Returns 0 or a system error, which ends the
    // request.
    virtual DWORD take(const char* data, size_t size) = 0;
};

// GETs url and hands its body to sink, reading until the body ends or limit
// bytes were taken. Up to five redirects are followed, never from https to
// http, and not to another scheme, host or port when the address has a
// query (it may carry a login and password); any other redirect fails with
// ERROR_HTTP_REDIRECT_FAILED, a request past its deadline (a fixed part and
// the time limit bytes take at minBytesPerSecond) with ERROR_INTERNET_TIMEOUT.
// A body that ends before the length its reply announced broke off: error
// ERROR_INTERNET_CONNECTION_ABORTED. error is set whenever no whole answer
// could be had.
HttpResult httpGetStream(InternetSession& session, const char* url, size_t limit, DWORD minBytesPerSecond,
                         HttpSink& sink);

// The same into buffer (at most capacity bytes), with the deadline of
// gHttpTimeouts.
HttpResult httpGet(InternetSession& session, const char* url, char* buffer, size_t capacity);

// Ends the requests of every open session (shutdown).
void cancelHttpRequests();
void resetHttpCancel();
