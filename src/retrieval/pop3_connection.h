// The network side of a mail session: its time-outs, one TCP connection
// with them, whole replies however the bytes arrive, and waits that a stop
// from another thread ends.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "retrieval/connection_stop.h"
#include "retrieval/host_resolution.h"
#include "retrieval/imap_framing.h"
#include "retrieval/tls_channel.h"

#include <string>

// Every wait of a POP3 session, in one place. A user on a slow line waits at
// most these times for one step before the step counts as failed.
struct NetTimeouts {
    DWORD resolveMs = 20000; // a host name
    DWORD connectMs = 30000; // the TCP connection
    DWORD sendMs = 30000;    // one command
    DWORD receiveMs = 60000; // any receive of a reply (restarts with every piece)
    // A whole session, however its server trickles: sessionBaseMs for the
    // login, and once the STAT reply is in, sessionPerMessageMs for each
    // message it counts and sessionPerMiBMs for each MiB of the mailbox.
    DWORD sessionBaseMs = 120000;
    DWORD sessionPerMessageMs = 2000;
    DWORD sessionPerMiBMs = 8000;
};
extern NetTimeouts gNetTimeouts;

// The reply buffer: a reply line, its line end included, takes at most
// kReplyCapacity - 1 bytes; a longer one is an error (WSAEMSGSIZE).
constexpr size_t kReplyCapacity = 32768;
// Longest header text kept whole; a longer one is cut at a line end.
constexpr size_t kHeaderKeepLimit = 2 * 1024 * 1024;

// Returned by Pop3Connection::waitForData when its wake event ended the wait.
constexpr int kWaitWoken = -1;

// Sends and receives in the clear or, once startTls succeeded, through TLS:
// the reply readers above work the same over both.
class Pop3Connection : private TlsTransport {
public:
    explicit Pop3Connection(ConnectionStop& stop = pollSessionStop()) : stop_(stop) {}
    ~Pop3Connection();
    Pop3Connection(const Pop3Connection&) = delete;
    Pop3Connection& operator=(const Pop3Connection&) = delete;

    // The moment (GetTickCount64) by which the session must be over: every
    // wait is cut to it, and after it every step fails with WSAETIMEDOUT.
    void setDeadline(ULONGLONG deadline) { deadline_ = deadline; }
    bool pastDeadline() const { return deadline_ != 0 && GetTickCount64() >= deadline_; }

    // Connects to port of the first of addresses that accepts, each tried
    // in turn within the connect time-out. Returns 0 or the Winsock error of
    // the last try; noSocket tells that no socket could be made at all.
    int connectTo(const HostAddresses& addresses, unsigned short port, bool& noSocket);
    // TLS from here on, with the certificate checked for host. True on
    // success; otherwise failure says what failed and the connection must
    // not be used further.
    bool startTls(const char* host, TlsFailure& failure);
    bool secure() const { return tls_.active(); }
    // The protocol and cipher of the TLS in use, for the log.
    std::string tlsDescription() { return tls_.negotiated(); }
    // Each of these returns 0 on success or a Winsock error code.
    int sendText(const std::string& text);
    // One reply line with its line end; WSAEMSGSIZE when it is too long (the
    // connection is then out of step and is closed).
    int receiveLine(std::string& line);
    // A multi-line reply after its status line, up to and including the "."
    // line; cut marks a text longer than keepLimit.
    int receiveMultiline(std::string& text, bool& cut, size_t keepLimit = kHeaderKeepLimit);
    // One whole IMAP response, its literals included: its lines together may
    // take kReplyCapacity - 1 bytes (more is WSAEMSGSIZE, and the connection
    // is closed), its literals keepLimit bytes (beyond, a literal is cut as
    // the framing cuts it). A literal size beyond 32 bits is WSAEMSGSIZE too.
    int receiveImapResponse(ImapFramed& response, size_t keepLimit = kHeaderKeepLimit);
    // Waits up to timeoutMs for something to read (or the server's close):
    // 0 when there is, WSAETIMEDOUT when the time passed, WSAEINTR at a
    // stop, kWaitWoken when wake (if given) was signalled first. Leaves the
    // connection as it was, for the receives above.
    int waitForData(DWORD timeoutMs, HANDLE wake = nullptr);
    const ConnectionStop& stop() const { return stop_; }
    void close();

private:
    int sendRaw(const char* data, size_t size) override;
    int receiveRaw(std::string& into) override;
    int receiveMore();
    // A socket of family with the session's options: 0 or the error.
    int makeSocket(int family);
    // Connects the socket within timeoutMs, watching for a cancellation.
    int connectWithin(const sockaddr* address, int length, DWORD timeoutMs);
    // Cuts the socket's time-out for one send or receive to the deadline.
    int fitTimeout(int option, DWORD stepMs, DWORD& current);

    ConnectionStop& stop_;
    SOCKET socket_ = INVALID_SOCKET;
    std::string pending_; // bytes received beyond the last reply
    TlsChannel tls_;
    std::string cipher_; // TLS bytes not yet decrypted
    ULONGLONG deadline_ = 0;
    DWORD receiveTimeout_ = 0; // the time-outs the socket has now
    DWORD sendTimeout_ = 0;
};
