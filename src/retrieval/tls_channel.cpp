#include "retrieval/tls_channel.h"

#include "retrieval/server_certificate.h"
#include "retrieval/tls_credentials.h"

#include <cstring>

namespace {

constexpr int kMaxHandshakeSteps = 64;

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

// A token SChannel allocated for the server, freed when the owner goes.
struct HandshakeToken {
    void* data = nullptr;
    unsigned long size = 0;
    HandshakeToken() = default;
    HandshakeToken(const HandshakeToken&) = delete;
    HandshakeToken& operator=(const HandshakeToken&) = delete;
    ~HandshakeToken() {
        if (data != nullptr) {
            FreeContextBuffer(data);
        }
    }
};

// One call of the handshake: the first one without input, the later ones on
// the bytes received in cipher. token receives what goes to the server, extra
// how many bytes at the end of cipher the step did not use (0 for none).
SECURITY_STATUS handshakeStep(CredHandle& credentials, CtxtHandle& context, const char* host, std::string& cipher,
                              bool firstCall, HandshakeToken& token, unsigned long& extra) {
    SecBuffer in[2] = {};
    in[0].BufferType = SECBUFFER_TOKEN;
    in[0].cbBuffer = static_cast<unsigned long>(cipher.size());
    in[0].pvBuffer = cipher.empty() ? nullptr : &cipher[0];
    in[1].BufferType = SECBUFFER_EMPTY;
    SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, in};
    SecBuffer out[1] = {};
    out[0].BufferType = SECBUFFER_TOKEN;
    SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, out};
    unsigned long attributes = 0;
    TimeStamp expiry;
    char target[256];
    strncpy(target, host, sizeof target - 1);
    target[sizeof target - 1] = '\0';
    SECURITY_STATUS status =
        InitializeSecurityContextA(&credentials, firstCall ? nullptr : &context, target, kContextFlags, 0, 0,
                                   firstCall ? nullptr : &inDesc, 0, &context, &outDesc, &attributes, &expiry);
    token.data = out[0].pvBuffer;
    token.size = out[0].cbBuffer;
    extra = in[1].BufferType == SECBUFFER_EXTRA ? in[1].cbBuffer : 0;
    return status;
}

// Records why the handshake failed; returns the code.
int failWith(TlsFailure& failure, TlsFailure::Kind kind, long code) {
    failure.kind = kind;
    failure.code = code;
    return static_cast<int>(code);
}

// Sends a step's token. A token goes out also with a failure: it tells the
// server why; that failure is then the one to report, not the send's.
int sendToken(TlsTransport& transport, const HandshakeToken& token, SECURITY_STATUS status) {
    if (token.size == 0 || token.data == nullptr) {
        return 0;
    }
    int error = transport.sendRaw(static_cast<const char*>(token.data), token.size);
    if (error != 0 && status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
        return 0;
    }
    return error;
}

} // namespace

TlsChannel::~TlsChannel() {
    reset();
}

void TlsChannel::reset() {
    if (haveContext_) {
        DeleteSecurityContext(&context_);
        haveContext_ = false;
    }
    if (haveCredentials_) {
        FreeCredentialsHandle(&credentials_);
        haveCredentials_ = false;
    }
    active_ = false;
}

bool TlsChannel::start(TlsTransport& transport, const char* host, std::string& cipher, TlsFailure& failure) {
    reset();
    failure = TlsFailure();
    host_ = host;
    SECURITY_STATUS status = acquireCredentials(credentials_);
    if (status != SEC_E_OK) {
        failure.kind = TlsFailure::Handshake;
        failure.code = status;
        return false;
    }
    haveCredentials_ = true;
    cipher.clear();
    if (handshakeLoop(transport, host, cipher, true, failure) != 0) {
        return false;
    }
    if (!verifyCertificate(context_, host, failure)) {
        return false;
    }
    status = QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK || sizes_.cbMaximumMessage == 0) {
        failure.kind = TlsFailure::Handshake;
        failure.code = status;
        return false;
    }
    active_ = true;
    return true;
}

int TlsChannel::handshakeLoop(TlsTransport& transport, const char* host, std::string& cipher, bool firstCall,
                              TlsFailure& failure) {
    bool needData = false;
    // A handshake takes a few steps; a server that keeps it going for ever
    // is cut off (one that trickles its bytes runs into the deadline).
    int steps = 0;
    while (steps < kMaxHandshakeSteps) {
        if (needData) {
            int error = transport.receiveRaw(cipher);
            if (error != 0) {
                return failWith(failure, TlsFailure::Network, error);
            }
        }
        HandshakeToken token;
        unsigned long extra = 0;
        SECURITY_STATUS status = handshakeStep(credentials_, context_, host, cipher, firstCall, token, extra);
        if (firstCall) {
            haveContext_ = status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED ||
                           status == SEC_I_INCOMPLETE_CREDENTIALS || token.data != nullptr;
        }
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            needData = true;
            continue;
        }
        steps++;
        int error = sendToken(transport, token, status);
        if (error != 0) {
            return failWith(failure, TlsFailure::Network, error);
        }
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED && status != SEC_I_INCOMPLETE_CREDENTIALS) {
            return failWith(failure, TlsFailure::Handshake, status);
        }
        if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
            // The server asks for a client certificate: go on without one,
            // with the same input.
            firstCall = false;
            continue;
        }
        if (!firstCall) {
            // Bytes beyond what this step used are the start of the next one.
            if (extra != 0 && extra <= cipher.size()) {
                cipher.erase(0, cipher.size() - extra);
            } else {
                cipher.clear();
            }
        }
        if (status == SEC_E_OK) {
            return 0;
        }
        firstCall = false;
        needData = cipher.empty();
    }
    return failWith(failure, TlsFailure::Handshake, SEC_E_INTERNAL_ERROR);
}

int TlsChannel::send(TlsTransport& transport, const char* data, size_t size) {
    std::string record;
    while (size > 0) {
        size_t part = size < sizes_.cbMaximumMessage ? size : sizes_.cbMaximumMessage;
        record.assign(sizes_.cbHeader + part + sizes_.cbTrailer, '\0');
        memcpy(&record[sizes_.cbHeader], data, part);
        SecBuffer buffers[4] = {};
        buffers[0].BufferType = SECBUFFER_STREAM_HEADER;
        buffers[0].cbBuffer = sizes_.cbHeader;
        buffers[0].pvBuffer = &record[0];
        buffers[1].BufferType = SECBUFFER_DATA;
        buffers[1].cbBuffer = static_cast<unsigned long>(part);
        buffers[1].pvBuffer = &record[sizes_.cbHeader];
        buffers[2].BufferType = SECBUFFER_STREAM_TRAILER;
        buffers[2].cbBuffer = sizes_.cbTrailer;
        buffers[2].pvBuffer = &record[sizes_.cbHeader + part];
        buffers[3].BufferType = SECBUFFER_EMPTY;
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = EncryptMessage(&context_, 0, &desc, 0);
        if (status != SEC_E_OK) {
            return status;
        }
        int error = transport.sendRaw(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        if (error != 0) {
            return error;
        }
        data += part;
        size -= part;
    }
    return 0;
}

int TlsChannel::decrypt(TlsTransport& transport, std::string& cipher, std::string& plain) {
    while (!cipher.empty()) {
        SecBuffer buffers[4] = {};
        buffers[0].BufferType = SECBUFFER_DATA;
        buffers[0].cbBuffer = static_cast<unsigned long>(cipher.size());
        buffers[0].pvBuffer = &cipher[0];
        buffers[1].BufferType = SECBUFFER_EMPTY;
        buffers[2].BufferType = SECBUFFER_EMPTY;
        buffers[3].BufferType = SECBUFFER_EMPTY;
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            return 0;
        }
        if (status == SEC_I_CONTEXT_EXPIRED) {
            return WSAECONNRESET; // the server's close_notify
        }
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
            return status;
        }
        std::string extra;
        for (const SecBuffer& b : buffers) {
            if (b.BufferType == SECBUFFER_DATA && b.pvBuffer != nullptr) {
                plain.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
            } else if (b.BufferType == SECBUFFER_EXTRA && b.pvBuffer != nullptr) {
                extra.assign(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
            }
        }
        cipher.swap(extra);
        if (status == SEC_I_RENEGOTIATE) {
            // Messages of the handshake after it (TLS 1.3 session tickets):
            // SChannel takes them through the handshake call.
            TlsFailure failure;
            int error = handshakeLoop(transport, host_.c_str(), cipher, false, failure);
            if (error != 0) {
                return error;
            }
        }
    }
    return 0;
}
