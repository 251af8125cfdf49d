#include "retrieval/connection_stop.h"

ConnectionStop::ConnectionStop() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void ConnectionStop::request() {
    requested_ = true;
    if (event_) {
        SetEvent(event_.get());
    }
    ExclusiveLock lock(lock_);
    if (socket_ != INVALID_SOCKET) {
        // Shutting the connection down does not release a receive that is
        // already blocked, and a server that never looks at the connection
        // would keep the session waiting its whole time-out: the receive is
        // cancelled as well. The socket stays its connection's to close.
        shutdown(socket_, SD_BOTH);
        CancelIoEx(reinterpret_cast<HANDLE>(socket_), nullptr);
    }
}

void ConnectionStop::reset() {
    requested_ = false;
    if (event_) {
        ResetEvent(event_.get());
    }
}

void ConnectionStop::attach(SOCKET s) {
    ExclusiveLock lock(lock_);
    socket_ = s;
}

ConnectionStop& pollSessionStop() {
    static ConnectionStop stop;
    return stop;
}

void cancelPop3Session() {
    pollSessionStop().request();
}

void resetPop3Cancel() {
    pollSessionStop().reset();
}

bool pop3Cancelled() {
    return pollSessionStop().requested();
}
