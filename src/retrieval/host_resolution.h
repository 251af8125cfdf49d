// The socket library and the addresses of a host name, found within a
// time-out on a thread of their own.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "retrieval/connection_stop.h"

#include <cstddef>

// How the socket library is started: WSAStartup, or a stand-in of a test.
using SocketStartup = int(WSAAPI*)(WORD version, LPWSADATA data);
extern SocketStartup gSocketStartup;

// Starts the socket library (version 2.2) for the life of the object.
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

// The addresses of a host, IPv6 and IPv4, in the order the resolver prefers.
struct HostAddresses {
    static constexpr size_t kCapacity = 16; // more are not tried
    sockaddr_storage items[kCapacity];
    int lengths[kCapacity];
    size_t count = 0;
};

// Resolves a host name within the resolve time-out, giving up at a stop.
// Returns 0 on success (with at least one address), else the Winsock error
// code.
int resolveHost(const char* name, HostAddresses& addresses, const ConnectionStop& stop = pollSessionStop());
