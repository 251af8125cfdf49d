#include "base/internet.h"

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

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET h = nullptr) : handle_(h) {}
    ~InternetHandle() {
        if (handle_ != nullptr) {
            InternetCloseHandle(handle_);
        }
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

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
    char host[256] = {};
    char path[2048] = {};
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    char extra[2048] = {};
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof extra;
    if (!InternetCrackUrlA(url, 0, 0, &parts)) {
        result.error = lastError();
        return result;
    }
    bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    // Time-outs go on the connection and request handles: the session
    // handle's are not honoured everywhere.
    InternetHandle connection(
        InternetConnectA(session.handle(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        result.error = lastError();
        return result;
    }
    setTimeout(connection.get(), INTERNET_OPTION_CONNECT_TIMEOUT, gHttpTimeouts.connectMs);
    setTimeout(connection.get(), INTERNET_OPTION_SEND_TIMEOUT, gHttpTimeouts.sendMs);
    setTimeout(connection.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, gHttpTimeouts.receiveMs);

    char object[4096];
    size_t pathLength = strnlen(path, sizeof path);
    size_t extraLength = strnlen(extra, sizeof extra);
    if (pathLength + extraLength + 1 > sizeof object) {
        result.error = ERROR_INTERNET_INVALID_URL;
        return result;
    }
    memcpy(object, path, pathLength);
    memcpy(object + pathLength, extra, extraLength);
    object[pathLength + extraLength] = '\0';

    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
    if (secure) {
        flags |= INTERNET_FLAG_SECURE;
    }
    InternetHandle request(HttpOpenRequestA(connection.get(), "GET", object, nullptr, nullptr, nullptr, flags, 0));
    if (!request) {
        result.error = lastError();
        return result;
    }
    setTimeout(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, gHttpTimeouts.connectMs);
    setTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, gHttpTimeouts.sendMs);
    setTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, gHttpTimeouts.receiveMs);
    if (!HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
        result.error = lastError();
        return result;
    }
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, nullptr)) {
        result.status = status;
    }
    // A single read may bring only part of the body.
    while (result.size < capacity) {
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
