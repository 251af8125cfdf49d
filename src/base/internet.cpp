#include "base/internet.h"

#include "base/event_log.h"
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
// The most one read of a body takes.
constexpr size_t kReadPieceSize = 32 * 1024;

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
// a fixed part for the exchange and a part for each byte the body may have.
class Deadline {
public:
    Deadline(size_t limit, DWORD minBytesPerSecond) : start_(GetTickCount64()) {
        unsigned long long rate = minBytesPerSecond != 0 ? minBytesPerSecond : 1;
        totalMs_ = gHttpTimeouts.requestBaseMs + limit * 1000ull / rate;
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

// Sends a request. A certificate whose revocation status could not be
// learned (ERROR_INTERNET_SEC_CERT_REV_FAILED: the addresses of its
// revocation lists or responder did not answer, as where a firewall filters
// them) is tried once more with the revocation check off for this request
// alone, the way Microsoft documents such a retry. A revoked certificate
// (ERROR_INTERNET_SEC_CERT_REVOKED) and every other refusal stay refused.
DWORD sendOnce(HINTERNET request, const char* host) {
    if (HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
        return 0;
    }
    DWORD error = lastError();
    if (error != ERROR_INTERNET_SEC_CERT_REV_FAILED) {
        return error;
    }
    DWORD flags = 0;
    DWORD size = sizeof flags;
    if (!InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size)) {
        return error;
    }
    flags |= SECURITY_FLAG_IGNORE_REVOCATION;
    if (!InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags)) {
        return error;
    }
    writeLogf("Не удалось узнать, не отозван ли сертификат сервера %s (списки отзыва недоступны): "
              "запрос повторяется без этой проверки.",
              host);
    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
        return lastError();
    }
    return 0;
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
    return sendOnce(request.get(), url.host);
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

// The length the reply announces: a Content-Length, unless the body comes
// in the chunked coding, whose own end marks the end.
void readAnnouncedLength(HINTERNET request, HttpResult& result) {
    char text[64];
    DWORD size = sizeof text;
    if (HttpQueryInfoA(request, HTTP_QUERY_TRANSFER_ENCODING, text, &size, nullptr)) {
        text[size < sizeof text ? size : sizeof text - 1] = '\0';
        CharLowerA(text);
        if (strstr(text, "chunked") != nullptr) {
            return;
        }
    }
    size = sizeof text;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) {
        return;
    }
    text[size < sizeof text ? size : sizeof text - 1] = '\0';
    unsigned long long length = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (length > (~0ull - 9) / 10) {
            return; // no real length
        }
        length = length * 10 + static_cast<unsigned>(*p - '0');
    }
    if (p != text && *p == '\0') {
        result.lengthKnown = true;
        result.contentLength = length;
    }
}

// Reads the body into sink until it ends, the limit is reached, or a step
// fails.
void readBody(HINTERNET request, const Deadline& deadline, size_t limit, HttpSink& sink, HttpResult& result) {
    char piece[kReadPieceSize];
    while (result.size < limit) {
        if (deadline.remainingMs() == 0) {
            result.error = ERROR_INTERNET_TIMEOUT;
            return;
        }
        setTimeout(request, INTERNET_OPTION_RECEIVE_TIMEOUT, deadline.limit(gHttpTimeouts.receiveMs));
        // A read returns only once it has all it asked for (or the end): it
        // asks for what has arrived, so that each piece is handed on as soon
        // as it is there and a stop is noticed between two pieces.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
            result.error = lastError();
            return;
        }
        size_t want = limit - result.size;
        want = want < sizeof piece ? want : sizeof piece;
        want = available != 0 && available < want ? available : want;
        DWORD got = 0;
        if (!InternetReadFile(request, piece, static_cast<DWORD>(want), &got)) {
            result.error = lastError();
            return;
        }
        if (got == 0) {
            // The end, as far as the connection goes: a body shorter than its
            // announced length broke off.
            if (result.lengthKnown && result.size < result.contentLength) {
                result.error = ERROR_INTERNET_CONNECTION_ABORTED;
            }
            return;
        }
        result.size += got;
        result.error = sink.take(piece, got);
        if (result.error != 0) {
            return;
        }
    }
    result.bufferFull = true;
}

// Closes a session unless a cancellation has closed it already.
void closeOpenSession(HINTERNET handle) {
    if (handle == nullptr) {
        return;
    }
    ExclusiveLock lock(sessionsLock);
    for (size_t i = 0; i < openSessions.size(); i++) {
        if (openSessions[i] == handle) {
            openSessions.erase(openSessions.begin() + static_cast<long>(i));
            InternetCloseHandle(handle);
            return;
        }
    }
}

// The body into one buffer.
class BufferSink : public HttpSink {
public:
    explicit BufferSink(char* buffer) : buffer_(buffer) {}
    DWORD begin(const HttpResult&) override { return 0; }
    DWORD take(const char* data, size_t size) override {
        memcpy(buffer_ + used_, data, size);
        used_ += size;
        return 0;
    }

private:
    char* buffer_;
    size_t used_ = 0;
};

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
    closeOpenSession(handle_);
}

void InternetSession::cancel() {
    cancelled_ = true;
    closeOpenSession(handle_);
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

namespace {

// Sends the request and follows the redirects that may be followed, up to
// the final reply. WinINet would follow redirects without end and anywhere:
// they are followed here, a few at most and only where redirectAllowed lets
// them.
DWORD openFinalReply(HINTERNET session, const char* url, const Deadline& deadline, InternetHandle& connection,
                     InternetHandle& request, DWORD& status) {
    UrlParts first;
    DWORD error = crackUrl(url, first);
    if (error != 0) {
        return error;
    }
    char current[kUrlCapacity];
    if (strnlen(url, sizeof current) >= sizeof current) {
        return ERROR_INTERNET_INVALID_URL;
    }
    copyText(current, sizeof current, url);
    UrlParts target = first;
    for (int redirects = 0;; redirects++) {
        if (deadline.remainingMs() == 0) {
            return ERROR_INTERNET_TIMEOUT;
        }
        error = sendRequest(session, target, deadline, connection, request);
        if (error != 0) {
            return error;
        }
        DWORD statusSize = sizeof status;
        if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                            nullptr)) {
            status = 0;
        }
        if (!isRedirect(status)) {
            return 0;
        }
        char next[kUrlCapacity];
        UrlParts nextParts;
        if (redirects == kMaxRedirects || redirectTarget(request.get(), current, next, sizeof next) != 0 ||
            crackUrl(next, nextParts) != 0 || !redirectAllowed(first, nextParts)) {
            return ERROR_HTTP_REDIRECT_FAILED;
        }
        copyText(current, sizeof current, next);
        target = nextParts;
    }
}

} // namespace

HttpResult httpGetStream(InternetSession& session, const char* url, size_t limit, DWORD minBytesPerSecond,
                         HttpSink& sink) {
    HttpResult result;
    if (!session.opened() || session.cancelled() || cancelRequested) {
        result.error = ERROR_INTERNET_OPERATION_CANCELLED;
        return result;
    }
    Deadline deadline(limit, minBytesPerSecond);
    InternetHandle connection;
    InternetHandle request;
    result.error = openFinalReply(session.handle(), url, deadline, connection, request, result.status);
    if (result.error == 0) {
        readAnnouncedLength(request.get(), result);
        result.error = sink.begin(result);
    }
    if (result.error == 0) {
        // A single read may bring only part of the body.
        readBody(request.get(), deadline, limit, sink, result);
    }
    // A step that failed on a closed session failed with whatever error
    // WinINet gives for that: the request was cancelled.
    if (result.error != 0 && (session.cancelled() || cancelRequested)) {
        result.error = ERROR_INTERNET_OPERATION_CANCELLED;
    }
    return result;
}

HttpResult httpGet(InternetSession& session, const char* url, char* buffer, size_t capacity) {
    BufferSink sink(buffer);
    return httpGetStream(session, url, capacity, gHttpTimeouts.minBytesPerSecond, sink);
}
