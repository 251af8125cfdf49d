#include "retrieval/host_resolution.h"

#include "retrieval/pop3_connection.h"

#include <atomic>
#include <cstring>

SocketStartup gSocketStartup = WSAStartup;

namespace {

// Name resolution on a thread of its own: getaddrinfo has no time-out. The
// context belongs to both threads; the last one to let go frees it, so a
// resolver that outlives its wait finishes harmlessly.
struct ResolveContext {
    std::atomic<long> references{2};
    char name[256];
    int error = 0;
    HostAddresses addresses;

    void release() {
        if (--references == 0) {
            delete this;
        }
    }
};

// Keeps the stream addresses of families the program can connect to.
void takeAddresses(const addrinfo* list, HostAddresses& addresses) {
    for (const addrinfo* a = list; a != nullptr && addresses.count < HostAddresses::kCapacity; a = a->ai_next) {
        bool known = a->ai_family == AF_INET || a->ai_family == AF_INET6;
        if (!known || a->ai_addr == nullptr || a->ai_addrlen > sizeof(sockaddr_storage)) {
            continue;
        }
        memcpy(&addresses.items[addresses.count], a->ai_addr, a->ai_addrlen);
        addresses.lengths[addresses.count] = static_cast<int>(a->ai_addrlen);
        addresses.count++;
    }
}

DWORD WINAPI resolveThread(void* param) {
    auto* context = static_cast<ResolveContext*>(param);
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    int error = getaddrinfo(context->name, nullptr, &hints, &list);
    if (error != 0) {
        context->error = error;
    } else {
        takeAddresses(list, context->addresses);
        freeaddrinfo(list);
        context->error = context->addresses.count == 0 ? WSANO_DATA : 0;
    }
    context->release();
    return 0;
}

// Waits for a handle, giving up early at a stop.
bool waitWatchingStop(HANDLE handle, DWORD timeoutMs, const ConnectionStop& stop) {
    HANDLE handles[] = {handle, stop.event()};
    return WaitForMultipleObjects(2, handles, FALSE, timeoutMs) == WAIT_OBJECT_0;
}

} // namespace

SocketLibrary::SocketLibrary() {
    WSADATA data;
    started_ = gSocketStartup(MAKEWORD(2, 2), &data) == 0;
}

SocketLibrary::~SocketLibrary() {
    if (started_) {
        WSACleanup();
    }
}

int resolveHost(const char* name, HostAddresses& addresses, const ConnectionStop& stop) {
    auto* context = new ResolveContext;
    strncpy(context->name, name, sizeof context->name - 1);
    context->name[sizeof context->name - 1] = '\0';
    UniqueHandle thread(CreateThread(nullptr, 0, resolveThread, context, 0, nullptr));
    if (!thread) {
        context->release();
        context->release();
        return WSAENOBUFS;
    }
    int error;
    if (waitWatchingStop(thread.get(), gNetTimeouts.resolveMs, stop)) {
        error = context->error;
        if (error == 0) {
            addresses = context->addresses;
        }
    } else {
        error = stop.requested() ? WSAEINTR : WSATRY_AGAIN;
    }
    context->release();
    return error;
}
