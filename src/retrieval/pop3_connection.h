// The network side of a POP3 session: the socket library, name resolution,
// one TCP connection with time-outs, whole replies however the bytes arrive,
// and cancellation from another thread.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <string>

// Every wait of a POP3 session, in one place. A user on a slow line waits at
// most these times for one step before the step counts as failed.
struct NetTimeouts {
    DWORD resolveMs = 20000; // a host name
    DWORD connectMs = 30000; // the TCP connection
    DWORD sendMs = 30000;    // one command
    DWORD receiveMs = 60000; // any receive of a reply (restarts with every piece)
};
extern NetTimeouts gNetTimeouts;

// Longest single-line reply kept (the rest of the line is read and dropped).
constexpr size_t kReplyCapacity = 32768;
// Longest header text kept whole; a longer one is cut at a line end.
constexpr size_t kHeaderKeepLimit = 2 * 1024 * 1024;

// Asks the running session (if any) to end at once: its socket is shut down,
// so a blocked receive returns, and every later step fails. Any thread.
void cancelPop3Session();
// Clears a cancellation so that new sessions may run.
void resetPop3Cancel();
bool pop3Cancelled();

// How the socket library is started: WSAStartup, or a stand-in of a test.
using SocketStartup = int(WSAAPI*)(WORD version, LPWSADATA data);
extern SocketStartup gSocketStartup;

// Starts the socket library (version 1.1) for the life of the object.
class SocketLibrary {
public:
    SocketLibrary();
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;
    bool started() const { return started_; }

private:
    bool started_ = false;
};

// Resolves a host name to its first IPv4 address within the resolve time-out.
// Returns 0 on success, else the Winsock error code.
int resolveHost(const char* name, in_addr& address);

class Pop3Connection {
public:
    Pop3Connection() = default;
    ~Pop3Connection();
    Pop3Connection(const Pop3Connection&) = delete;
    Pop3Connection& operator=(const Pop3Connection&) = delete;

    // Each returns 0 on success or a Winsock error code.
    int open(); // the socket
    int connectTo(const in_addr& address, unsigned short port);
    int sendText(const std::string& text);
    // One reply line with its line end.
    int receiveLine(std::string& line);
    // A multi-line reply after its status line, up to and including the "."
    // line; cut marks a text longer than kHeaderKeepLimit.
    int receiveMultiline(std::string& text, bool& cut);
    void close();

private:
    int receiveMore();

    SOCKET socket_ = INVALID_SOCKET;
    std::string pending_; // bytes received beyond the last reply
};
