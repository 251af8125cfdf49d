#include "base/internet.h"

#include "base/text.h"
#include "base/win_handles.h"

#include <atomic>
#include <cstring>
#include <vector>

HttpTimeouts gHttpTimeouts;
const char kInternetAgent[] = "Microsoft Internet Explorer";

namespace {

std::atomic<bool> cancelRequested{false};
SRWLOCK sessionsLock = SRWLOCK_INIT;
std::vector<HINTERNET> openSessions;

constexpr int kMaxRedirects = 5;
constexpr size_t kHostCapacity = 256;
constexpr size_t kObjectCapacity = 4096;
constexpr size_t kUrlCapacity = 4096;

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h = nullptr) : handle_(h) {}
    ~InternetHandle() { reset(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset(HINTERNET h = nullptr) {
        if (handle_ != nullptr) {
            InternetCloseHandle(handle_);
        }
        handle_ = h;
    }

private:
    HINTERNET handle_;
};

void setTimeout(HINTERNET handle, DWORD option, DWORD ms) {
    InternetSetOptionA(handle, option, &ms, sizeof ms);
}

DWORD lastError() {
    DWORD e = GetLastError();
    return e != 0 ? e : ERROR_INTERNET_INTERNAL_ERROR;
}

// The time a whole request may take, redirects and every read included:
// a fixed part for the exchange and a part for each byte the buffer holds.
class Deadline {
public:
    explicit Deadline(size_t capacity) : start_(GetTickCount64()) {
        unsigned long long rate = gHttpTimeouts.minBytesPerSecond != 0 ? gHttpTimeouts.minBytesPerSecond : 1;
        totalMs_ = gHttpTimeouts.requestBaseMs + capacity * 1000ull / rate;
    }
    // What is left of it, 0 once it has passed.
    DWORD remainingMs() const {
        unsigned long long used = GetTickCount64() - start_;
        unsigned long long left = used < totalMs_ ? totalMs_ - used : 0;
        return left > MAXDWORD ? MAXDWORD : static_cast<DWORD>(left);
    }
    // A step's own time-out, cut to what is left.
    DWORD limit(DWORD stepMs) const {
        DWORD left = remainingMs();
        return stepMs < left ? stepMs : left;
    }

private:
    unsigned long long start_;
    unsigned long long totalMs_;
};

struct UrlParts {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    char host[kHostCapacity] = {};
    INTERNET_PORT port = 0;
    char object[kObjectCapacity] = {}; // path and query
    bool hasQuery = false;
};

DWORD crackUrl(const char* url, UrlParts& out) {
    char path[2048] = {};
    char extra[2048] = {};
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = out.host;
    parts.dwHostNameLength = sizeof out.host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof extra;
    if (!InternetCrackUrlA(url, 0, 0, &parts)) {
        return lastError();
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    }
    size_t pathLength = strnlen(path, sizeof path);
    size_t extraLength = strnlen(extra, sizeof extra);
    if (pathLength + extraLength + 1 > sizeof out.object) {
        return ERROR_INTERNET_INVALID_URL;
    }
    memcpy(out.object, path, pathLength);
    memcpy(out.object + pathLength, extra, extraLength);
    out.object[pathLength + extraLength] = '\0';
    out.scheme = parts.nScheme;
    out.port = parts.nPort;
    out.hasQuery = extra[0] == '?';
    return 0;
}

// Where a redirect may lead. Never from https down to http; and a request
// whose query may carry a login and password stays with its scheme, host
// and port.
bool redirectAllowed(const UrlParts& from, const UrlParts& to) {
    if (from.scheme == INTERNET_SCHEME_HTTPS && to.scheme != INTERNET_SCHEME_HTTPS) {
        return false;
    }
    if (!from.hasQuery) {
        return true;
    }
    return to.scheme == from.scheme && to.port == from.port && lstrcmpiA(to.host, from.host) == 0;
}

bool isRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Sends one GET without following redirects. Each step's time-out is cut to
// what is left of the deadline.
DWORD sendRequest(HINTERNET session, const UrlParts& url, const Deadline& deadline, InternetHandle& connection,
                  InternetHandle& request) {
    request.reset();
    connection.reset(InternetConnectA(session, url.host, url.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        return lastError();
    }
    DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
    // HTTPS with WinINet's own certificate checks: no INTERNET_FLAG_IGNORE_CERT_*
    // flag and no security flags set later, so a bad certificate fails the request.
    if (url.scheme == INTERNET_SCHEME_HTTPS) {
        flags |= INTERNET_FLAG_SECURE;
    }
    request.reset(HttpOpenRequestA(connection.get(), "GET", url.object, nullptr, nullptr, nullptr, flags, 0));
    if (!request) {
        return lastError();
    }
    // Time-outs go on the connection and request handles: the session
    // handle's are not honoured everywhere.
    for (HINTERNET h : {connection.get(), request.get()}) {
        setTimeout(h, INTERNET_OPTION_CONNECT_TIMEOUT, deadline.limit(gHttpTimeouts.connectMs));
        setTimeout(h, INTERNET_OPTION_SEND_TIMEOUT, deadline.limit(gHttpTimeouts.sendMs));
        setTimeout(h, INTERNET_OPTION_RECEIVE_TIMEOUT, deadline.limit(gHttpTimeouts.receiveMs));
    }
    if (!HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
        return lastError();
    }
    return 0;
}

// The address a redirect names, made absolute against the one it answered.
DWORD redirectTarget(HINTERNET request, const char* current, char* next, size_t capacity) {
    char location[kUrlCapacity];
    DWORD size = sizeof location;
    if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location, &size, nullptr)) {
        return ERROR_HTTP_REDIRECT_FAILED;
    }
    DWORD length = static_cast<DWORD>(capacity);
    if (!InternetCombineUrlA(current, location, next, &length, ICU_NO_ENCODE)) {
        return ERROR_HTTP_REDIRECT_FAILED;
    }
    return 0;
}

} // namespace

InternetSession::InternetSession() {
    if (cancelRequested) {
        openError_ = ERROR_INTERNET_OPERATION_CANCELLED;
        return;
    }
    handle_ = InternetOpenA(kInternetAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (handle_ == nullptr) {
        openError_ = lastError();
        return;
    }
    ExclusiveLock lock(sessionsLock);
    openSessions.push_back(handle_);
}

InternetSession::~InternetSession() {
    if (handle_ == nullptr) {
        return;
    }
    ExclusiveLock lock(sessionsLock);
    for (size_t i = 0; i < openSessions.size(); i++) {
        if (openSessions[i] == handle_) {
            openSessions.erase(openSessions.begin() + static_cast<long>(i));
            InternetCloseHandle(handle_);
            return;
        }
    }
    // Already closed by a cancellation.
}

void cancelHttpRequests() {
    cancelRequested = true;
    ExclusiveLock lock(sessionsLock);
    for (HINTERNET h : openSessions) {
        InternetCloseHandle(h);
    }
    openSessions.clear();
}

void resetHttpCancel() {
    cancelRequested = false;
}

HttpResult httpGet(InternetSession& session, const char* url, char* buffer, size_t capacity) {
    HttpResult result;
    if (!session.opened() || cancelRequested) {
        result.error = ERROR_INTERNET_OPERATION_CANCELLED;
        return result;
    }
    Deadline deadline(capacity);
    UrlParts first;
    result.error = crackUrl(url, first);
    if (result.error != 0) {
        return result;
    }
    // WinINet would follow redirects without end and anywhere: they are
    // followed here, a few at most and only where redirectAllowed lets them.
    char current[kUrlCapacity];
    if (strnlen(url, sizeof current) >= sizeof current) {
        result.error = ERROR_INTERNET_INVALID_URL;
        return result;
    }
    copyText(current, sizeof current, url);
    UrlParts target = first;
    InternetHandle connection;
    InternetHandle request;
    for (int redirects = 0;; redirects++) {
        if (deadline.remainingMs() == 0) {
            result.error = ERROR_INTERNET_TIMEOUT;
            return result;
        }
        result.error = sendRequest(session.handle(), target, deadline, connection, request);
        if (result.error != 0) {
            return result;
        }
        DWORD status = 0;
        DWORD statusSize = sizeof status;
        if (HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                           nullptr)) {
            result.status = status;
        }
        if (!isRedirect(status)) {
            break;
        }
        char next[kUrlCapacity];
        UrlParts nextParts;
        if (redirects == kMaxRedirects || redirectTarget(request.get(), current, next, sizeof next) != 0 ||
            crackUrl(next, nextParts) != 0 || !redirectAllowed(first, nextParts)) {
            result.error = ERROR_HTTP_REDIRECT_FAILED;
            return result;
        }
        copyText(current, sizeof current, next);
        target = nextParts;
    }
    // A single read may bring only part of the body.
    while (result.size < capacity) {
        DWORD left = deadline.remainingMs();
        if (left == 0) {
            result.error = ERROR_INTERNET_TIMEOUT;
            return result;
        }
        setTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, deadline.limit(gHttpTimeouts.receiveMs));
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(capacity - result.size > 65536 ? 65536 : capacity - result.size);
        if (!InternetReadFile(request.get(), buffer + result.size, want, &got)) {
            result.error = lastError();
            return result;
        }
        if (got == 0) {
            break;
        }
        result.size += got;
    }
    result.bufferFull = result.size == capacity;
    return result;
}
