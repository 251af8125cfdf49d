// TLS of a POP3 connection through the system's SChannel (SSPI): the client
// handshake, the records of both directions, the server's close, and the
// check of the server's certificate, which the channel makes itself after
// the handshake whatever SChannel did during it.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include "retrieval/server_certificate.h"

#include <string>

// The raw byte stream under the channel: the connection's socket with its
// time-outs, deadline and cancellation.
class TlsTransport {
public:
    // Each returns 0 or a Winsock error code.
    virtual int sendRaw(const char* data, size_t size) = 0;
    // Appends at least one byte; the peer's close is an error.
    virtual int receiveRaw(std::string& into) = 0;

protected:
    ~TlsTransport() = default;
};

class TlsChannel {
public:
    TlsChannel() = default;
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Handshake with the server of host over the transport, then the check of
    // its certificate against the system's trusted roots and host. Bytes the
    // server sent beyond the handshake stay in cipher. True on success.
    bool start(TlsTransport& transport, const char* host, std::string& cipher, TlsFailure& failure);
    bool active() const { return active_; }
    // The protocol and cipher the handshake agreed on, for the log.
    std::string negotiated();

    // Encrypts and sends text. Returns 0 or an error code.
    int send(TlsTransport& transport, const char* data, size_t size);
    // Decrypts the whole records at the start of cipher, appending their text
    // to plain and leaving an incomplete record in cipher. Returns 0 (also
    // when nothing was complete yet) or an error code. The server's close
    // (close_notify) comes after the text before it: WSAECONNRESET once a
    // call has no more text to give.
    int decrypt(TlsTransport& transport, std::string& cipher, std::string& plain);

    void reset();

private:
    int handshakeLoop(TlsTransport& transport, const char* host, std::string& cipher, bool firstCall,
                      TlsFailure& failure);
    // The answer to the server's close: the channel's own close_notify.
    void answerClose(TlsTransport& transport);

    CredHandle credentials_ = {};
    CtxtHandle context_ = {};
    bool haveCredentials_ = false;
    bool haveContext_ = false;
    bool active_ = false;
    bool closed_ = false; // the server has closed the channel
    SecPkgContext_StreamSizes sizes_ = {};
    std::string host_;
};
