#include "retrieval/pop3_connection.h"

#include "base/event_log.h"
#include "base/win_handles.h"
#include "retrieval/reply_framing.h"

NetTimeouts gNetTimeouts;

namespace {

// Time slice of the waits that watch for a cancellation.
constexpr DWORD kCancelCheckMs = 100;

} // namespace

Pop3Connection::~Pop3Connection() {
    close();
}

int Pop3Connection::makeSocket(int family) {
    close();
    socket_ = socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET) {
        return WSAGetLastError();
    }
    receiveTimeout_ = gNetTimeouts.receiveMs;
    sendTimeout_ = gNetTimeouts.sendMs;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveTimeout_),
               sizeof receiveTimeout_);
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeout_), sizeof sendTimeout_);
    // Commands go out at once, also while earlier ones of a pipelined batch
    // are unanswered.
    BOOL noDelay = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    stop_.attach(socket_);
    return 0;
}

int Pop3Connection::fitTimeout(int option, DWORD stepMs, DWORD& current) {
    if (deadline_ == 0) {
        return 0;
    }
    ULONGLONG now = GetTickCount64();
    if (now >= deadline_) {
        return WSAETIMEDOUT;
    }
    ULONGLONG left = deadline_ - now;
    DWORD wanted = left < stepMs ? static_cast<DWORD>(left) : stepMs;
    if (wanted != current) {
        if (setsockopt(socket_, SOL_SOCKET, option, reinterpret_cast<const char*>(&wanted), sizeof wanted) != 0) {
            return WSAGetLastError();
        }
        current = wanted;
    }
    return 0;
}

// Every address gets an equal share of what is left of the connect time-out,
// so that one that never answers leaves time for the next; one that refuses
// at once hands its share on.
int Pop3Connection::connectTo(const HostAddresses& addresses, unsigned short port, bool& noSocket) {
    noSocket = false;
    bool anySocket = false;
    int socketError = 0;
    int error = WSANO_DATA;
    ULONGLONG start = GetTickCount64();
    for (size_t i = 0; i < addresses.count; i++) {
        if (stop_.requested()) {
            return WSAEINTR;
        }
        ULONGLONG spent = GetTickCount64() - start;
        if (pastDeadline() || spent >= gNetTimeouts.connectMs) {
            return WSAETIMEDOUT;
        }
        DWORD share = static_cast<DWORD>((gNetTimeouts.connectMs - spent) / (addresses.count - i));
        sockaddr_storage target = addresses.items[i];
        // The port sits in the same place in both families' addresses.
        reinterpret_cast<sockaddr_in*>(&target)->sin_port = htons(port);
        int made = makeSocket(target.ss_family);
        if (made != 0) {
            // A family the system does not have (IPv6 switched off): the
            // next address may do.
            socketError = made;
            continue;
        }
        anySocket = true;
        error = connectWithin(reinterpret_cast<sockaddr*>(&target), addresses.lengths[i], share);
        if (error == 0 || error == WSAEINTR) {
            return error;
        }
        close();
        if (i + 1 < addresses.count) {
            char text[INET6_ADDRSTRLEN] = "?";
            getnameinfo(reinterpret_cast<sockaddr*>(&target), addresses.lengths[i], text, sizeof text, nullptr, 0,
                        NI_NUMERICHOST);
            writeLogf("Сервер по адресу %s не ответил - %d, пробуем следующий адрес", text, error);
        }
    }
    if (!anySocket && socketError != 0) {
        noSocket = true;
        return socketError;
    }
    return error;
}

int Pop3Connection::connectWithin(const sockaddr* address, int length, DWORD timeoutMs) {
    // Non-blocking connect, so that the wait has a time-out and watches for a
    // cancellation; the socket is blocking again afterwards.
    u_long nonBlocking = 1;
    ioctlsocket(socket_, FIONBIO, &nonBlocking);
    int error = 0;
    if (connect(socket_, address, length) == SOCKET_ERROR) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            error = WSAETIMEDOUT;
            DWORD start = GetTickCount();
            while (!stop_.requested() && !pastDeadline() && GetTickCount() - start < timeoutMs) {
                fd_set writable, failed;
                FD_ZERO(&writable);
                FD_ZERO(&failed);
                FD_SET(socket_, &writable);
                FD_SET(socket_, &failed);
                timeval slice = {0, static_cast<long>(kCancelCheckMs) * 1000};
                int ready = select(0, nullptr, &writable, &failed, &slice);
                if (ready == SOCKET_ERROR) {
                    error = WSAGetLastError();
                    break;
                }
                if (ready == 0) {
                    continue;
                }
                if (FD_ISSET(socket_, &failed)) {
                    int soError = 0;
                    int size = sizeof soError;
                    getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size);
                    error = soError != 0 ? soError : WSAECONNREFUSED;
                } else {
                    error = 0;
                }
                break;
            }
            if (stop_.requested()) {
                error = WSAEINTR;
            }
        }
    }
    u_long blocking = 0;
    ioctlsocket(socket_, FIONBIO, &blocking);
    return error;
}

int Pop3Connection::sendText(const std::string& text) {
    if (stop_.requested()) {
        return WSAEINTR;
    }
    if (tls_.active()) {
        return tls_.send(*this, text.data(), text.size());
    }
    return sendRaw(text.data(), text.size());
}

int Pop3Connection::sendRaw(const char* data, size_t size) {
    size_t sent = 0;
    while (sent < size) {
        if (stop_.requested()) {
            return WSAEINTR;
        }
        int error = fitTimeout(SO_SNDTIMEO, gNetTimeouts.sendMs, sendTimeout_);
        if (error != 0) {
            return error;
        }
        int n = send(socket_, data + sent, static_cast<int>(size - sent), 0);
        if (n == SOCKET_ERROR) {
            return WSAGetLastError();
        }
        sent += static_cast<size_t>(n);
    }
    return 0;
}

int Pop3Connection::receiveRaw(std::string& into) {
    if (stop_.requested()) {
        return WSAEINTR;
    }
    int error = fitTimeout(SO_RCVTIMEO, gNetTimeouts.receiveMs, receiveTimeout_);
    if (error != 0) {
        return error;
    }
    char chunk[65536];
    int n = recv(socket_, chunk, sizeof chunk, 0);
    if (n == SOCKET_ERROR) {
        return WSAGetLastError();
    }
    if (n == 0) {
        // The server closed the connection (or a cancellation shut it down).
        return stop_.requested() ? WSAEINTR : WSAECONNRESET;
    }
    into.append(chunk, static_cast<size_t>(n));
    return 0;
}

int Pop3Connection::receiveMore() {
    if (!tls_.active()) {
        return receiveRaw(pending_);
    }
    // Whole records only give text: read until one is complete. Text that
    // came before a failure or the server's close goes first; the failure
    // comes with the next call.
    size_t before = pending_.size();
    for (;;) {
        int error = tls_.decrypt(*this, cipher_, pending_);
        if (pending_.size() > before) {
            return 0;
        }
        if (error != 0) {
            return stop_.requested() ? WSAEINTR : error;
        }
        error = receiveRaw(cipher_);
        if (error != 0) {
            return error;
        }
    }
}

bool Pop3Connection::startTls(const char* host, TlsFailure& failure) {
    // Whatever came in the clear before the handshake is not to be trusted.
    pending_.clear();
    if (stop_.requested()) {
        failure = TlsFailure();
        failure.kind = TlsFailure::Network;
        failure.code = WSAEINTR;
        return false;
    }
    if (!tls_.start(*this, host, cipher_, failure)) {
        if (stop_.requested()) {
            failure.kind = TlsFailure::Network;
            failure.code = WSAEINTR;
        }
        tls_.reset();
        return false;
    }
    return true;
}

int Pop3Connection::receiveLine(std::string& line) {
    LineCollector collector(kReplyCapacity - 1);
    for (;;) {
        size_t used = collector.feed(pending_.data(), pending_.size());
        pending_.erase(0, used);
        if (collector.complete()) {
            line = collector.text();
            return 0;
        }
        if (collector.tooLong()) {
            close();
            return WSAEMSGSIZE;
        }
        int error = receiveMore();
        if (error != 0) {
            return error;
        }
    }
}

int Pop3Connection::receiveMultiline(std::string& text, bool& cut, size_t keepLimit) {
    MultilineCollector collector(keepLimit);
    for (;;) {
        size_t used = collector.feed(pending_.data(), pending_.size());
        pending_.erase(0, used);
        if (collector.complete()) {
            cut = collector.cut();
            text = collector.finish();
            return 0;
        }
        int error = receiveMore();
        if (error != 0) {
            return error;
        }
    }
}

int Pop3Connection::receiveImapResponse(ImapFramed& response, size_t keepLimit) {
    ImapResponseCollector collector(kReplyCapacity - 1, keepLimit);
    for (;;) {
        size_t used = collector.feed(pending_.data(), pending_.size());
        pending_.erase(0, used);
        if (collector.complete()) {
            response = collector.take();
            return 0;
        }
        if (collector.failed()) {
            close();
            return WSAEMSGSIZE;
        }
        int error = receiveMore();
        if (error != 0) {
            return error;
        }
    }
}

// The socket is watched through an event only for the wait: the receives
// stay blocking ones with their time-outs, and the stop's event ends the
// wait at once.
int Pop3Connection::waitForData(DWORD timeoutMs, HANDLE wake) {
    if (stop_.requested()) {
        return WSAEINTR;
    }
    if (!pending_.empty()) {
        return 0;
    }
    if (socket_ == INVALID_SOCKET) {
        return WSAENOTCONN;
    }
    UniqueHandle readable(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!readable) {
        return WSAENOBUFS;
    }
    if (WSAEventSelect(socket_, readable.get(), FD_READ | FD_CLOSE) != 0) {
        return WSAGetLastError();
    }
    // Bytes that came before the wait began may have been recorded already.
    u_long waiting = 0;
    int error = 0;
    if (ioctlsocket(socket_, FIONREAD, &waiting) != 0 || waiting == 0) {
        HANDLE handles[] = {readable.get(), stop_.event(), wake};
        DWORD woke = WaitForMultipleObjects(wake != nullptr ? 3 : 2, handles, FALSE, timeoutMs);
        switch (woke) {
        case WAIT_OBJECT_0:
            break;
        case WAIT_OBJECT_0 + 2:
            error = kWaitWoken;
            break;
        case WAIT_TIMEOUT:
            error = WSAETIMEDOUT;
            break;
        default:
            error = WSAEINTR;
            break;
        }
    }
    // The socket becomes a blocking one again only after the events are
    // taken off it.
    WSAEventSelect(socket_, nullptr, 0);
    u_long blocking = 0;
    if (ioctlsocket(socket_, FIONBIO, &blocking) != 0 && error == 0) {
        error = WSAGetLastError();
    }
    return stop_.requested() ? WSAEINTR : error;
}

void Pop3Connection::close() {
    if (socket_ != INVALID_SOCKET) {
        stop_.attach(INVALID_SOCKET);
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
    tls_.reset();
    pending_.clear();
    cipher_.clear();
}
