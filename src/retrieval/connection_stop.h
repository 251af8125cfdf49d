// Stopping connections from another thread: the poll's sessions share one
// stop, and every connection kept open for IDLE has its own.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "base/win_handles.h"

#include <atomic>

// A request to stop the connections of one owner from another thread: the
// poll's sessions share one, and every connection kept open for IDLE has its
// own. The socket a connection attaches is shut down by the request, so a
// blocked receive returns, and every later step fails.
class ConnectionStop {
public:
    ConnectionStop();
    ConnectionStop(const ConnectionStop&) = delete;
    ConnectionStop& operator=(const ConnectionStop&) = delete;

    // Any thread.
    void request();
    // Clears a request so that new connections may run.
    void reset();
    bool requested() const { return requested_; }
    // Signalled from the request on, for the waits of the owner's thread.
    HANDLE event() const { return event_.get(); }
    // The socket a request shuts down (INVALID_SOCKET for none).
    void attach(SOCKET s);

private:
    std::atomic<bool> requested_{false};
    SRWLOCK lock_ = SRWLOCK_INIT;
    SOCKET socket_ = INVALID_SOCKET;
    UniqueHandle event_;
};

// The stop of the poll's sessions.
ConnectionStop& pollSessionStop();

// Asks the running session (if any) to end at once. Any thread.
void cancelPop3Session();
// Clears a cancellation so that new sessions may run.
void resetPop3Cancel();
bool pop3Cancelled();
