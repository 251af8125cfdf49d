#include "retrieval/tls_channel.h"

#include "base/event_log.h"
#include "retrieval/server_certificate.h"
#include "retrieval/tls_connection_info.h"
#include "retrieval/tls_credentials.h"

#include <schannel.h>

#include <cstring>

namespace {

constexpr int kMaxHandshakeSteps = 64;

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

// The TLS record layer: a record's header and the content type of alerts.
constexpr size_t kRecordHeaderSize = 5;
constexpr unsigned char kAlertRecord = 21;

// What one handshake call gives for the server: a token, and an alert when
// the call failed. SChannel allocates both; they are freed when the owner
// goes.
struct HandshakeOutput {
    SecBuffer token = {};
    SecBuffer alert = {};
    HandshakeOutput() = default;
    HandshakeOutput(const HandshakeOutput&) = delete;
    HandshakeOutput& operator=(const HandshakeOutput&) = delete;
    ~HandshakeOutput() {
        for (SecBuffer* b : {&token, &alert}) {
            if (b->pvBuffer != nullptr) {
                FreeContextBuffer(b->pvBuffer);
            }
        }
    }
};

bool holds(const SecBuffer& b) {
    return b.pvBuffer != nullptr && b.cbBuffer != 0;
}

bool succeeded(SECURITY_STATUS status) {
    return status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || status == SEC_I_INCOMPLETE_CREDENTIALS;
}

// One InitializeSecurityContext call: on a new context when fresh, else on
// context with input (none for a shutdown). With memory allocated by
// SChannel an alert buffer goes along beside the token: it receives the
// alert of a failed call.
SECURITY_STATUS initializeContext(CredHandle& credentials, CtxtHandle& context, bool fresh, const char* host,
                                  SecBufferDesc* input, HandshakeOutput& output) {
    SecBuffer out[2] = {};
    out[0].BufferType = SECBUFFER_TOKEN;
    out[1].BufferType = SECBUFFER_ALERT;
    SecBufferDesc outDesc = {SECBUFFER_VERSION, 2, out};
    unsigned long attributes = 0;
    TimeStamp expiry;
    char target[256];
    strncpy(target, host, sizeof target - 1);
    target[sizeof target - 1] = '\0';
    SECURITY_STATUS status = InitializeSecurityContextA(&credentials, fresh ? nullptr : &context, target, kContextFlags,
                                                        0, 0, input, 0, &context, &outDesc, &attributes, &expiry);
    output.token = out[0];
    output.alert = out[1];
    return status;
}

// One call of the handshake: the first one without input, the later ones on
// the bytes received in cipher. extra receives how many bytes at the end of
// cipher the step did not use (0 for none).
SECURITY_STATUS handshakeStep(CredHandle& credentials, CtxtHandle& context, const char* host, std::string& cipher,
                              bool firstCall, HandshakeOutput& output, unsigned long& extra) {
    SecBuffer in[2] = {};
    in[0].BufferType = SECBUFFER_TOKEN;
    in[0].cbBuffer = static_cast<unsigned long>(cipher.size());
    in[0].pvBuffer = cipher.empty() ? nullptr : &cipher[0];
    in[1].BufferType = SECBUFFER_EMPTY;
    SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, in};
    SECURITY_STATUS status =
        initializeContext(credentials, context, firstCall, host, firstCall ? nullptr : &inDesc, output);
    extra = in[1].BufferType == SECBUFFER_EXTRA ? in[1].cbBuffer : 0;
    return status;
}

// Records why the handshake failed; returns the code.
int failWith(TlsFailure& failure, TlsFailure::Kind kind, long code) {
    failure.kind = kind;
    failure.code = code;
    return static_cast<int>(code);
}

// The length of the record whose header is at data, the header not counted.
size_t recordLength(const char* data) {
    return (static_cast<size_t>(static_cast<unsigned char>(data[3])) << 8) | static_cast<unsigned char>(data[4]);
}

// Whether bytes hold an alert record among their whole records: the record
// layer names its content in the clear (up to TLS 1.2 also once encrypted).
bool holdsAlertRecord(const char* data, size_t size) {
    size_t at = 0;
    while (at + kRecordHeaderSize <= size) {
        if (static_cast<unsigned char>(data[at]) == kAlertRecord) {
            return true;
        }
        at += kRecordHeaderSize + recordLength(data + at);
    }
    return false;
}

// An alert of a failed call goes to the server when it is a record of its
// own, not one the token already carries.
bool alertToSend(const HandshakeOutput& output) {
    const SecBuffer& alert = output.alert;
    if (!holds(alert) || alert.cbBuffer < kRecordHeaderSize) {
        return false;
    }
    const char* bytes = static_cast<const char*>(alert.pvBuffer);
    if (static_cast<unsigned char>(bytes[0]) != kAlertRecord ||
        kRecordHeaderSize + recordLength(bytes) != alert.cbBuffer) {
        return false;
    }
    const SecBuffer& token = output.token;
    return !holds(token) || token.cbBuffer != alert.cbBuffer || memcmp(token.pvBuffer, bytes, alert.cbBuffer) != 0;
}

// Sends what a step gave for the server. A failed step's token and alert
// tell the server why; that failure is then the one to report, not the
// send's. The log says which side ended the handshake with an alert.
int sendOutput(TlsTransport& transport, const HandshakeOutput& output, SECURITY_STATUS status,
               const std::string& received) {
    int error = 0;
    if (holds(output.token)) {
        error = transport.sendRaw(static_cast<const char*>(output.token.pvBuffer), output.token.cbBuffer);
    }
    if (succeeded(status)) {
        return error;
    }
    const auto code = static_cast<unsigned long>(status);
    if (holdsAlertRecord(received.data(), received.size())) {
        writeLogf("Сервер прервал установку защищенного соединения уведомлением TLS (alert). Ошибка 0x%08lX", code);
    }
    bool alert = alertToSend(output);
    if (alert) {
        transport.sendRaw(static_cast<const char*>(output.alert.pvBuffer), output.alert.cbBuffer);
    }
    if (alert || holds(output.token)) {
        writeLogf("Серверу отправлено уведомление TLS об ошибке (alert). Ошибка 0x%08lX", code);
    }
    return 0;
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
    closed_ = false;
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
    std::string outdated;
    if (agreedOnOutdatedProtocol(context_, outdated)) {
        writeLogf("Сервер предлагает только устаревший протокол %s", outdated.c_str());
        failure.kind = TlsFailure::Handshake;
        failure.code = SEC_E_UNSUPPORTED_FUNCTION; // as for a protocol_version alert
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

std::string TlsChannel::negotiated() {
    return haveContext_ ? describeTlsConnection(context_) : std::string();
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
        HandshakeOutput output;
        unsigned long extra = 0;
        SECURITY_STATUS status = handshakeStep(credentials_, context_, host, cipher, firstCall, output, extra);
        if (firstCall) {
            haveContext_ = succeeded(status) || output.token.pvBuffer != nullptr;
        }
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            needData = true;
            continue;
        }
        steps++;
        int error = sendOutput(transport, output, status, cipher);
        if (error != 0) {
            return failWith(failure, TlsFailure::Network, error);
        }
        if (!succeeded(status)) {
            return failWith(failure, TlsFailure::Handshake, status);
        }
        firstCall = false;
        if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
            // The server asks for a client certificate and waits for the
            // answer: the next call, at once and on the same input, answers
            // without one.
            needData = false;
            continue;
        }
        // Bytes beyond what this step used are the start of the next one.
        if (extra != 0 && extra <= cipher.size()) {
            cipher.erase(0, cipher.size() - extra);
        } else {
            cipher.clear();
        }
        if (status == SEC_E_OK) {
            return 0;
        }
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
    const size_t before = plain.size();
    while (!closed_ && !cipher.empty()) {
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
            break;
        }
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
            // Text decrypted before goes first; the failure comes again with
            // the next call.
            return plain.size() > before ? 0 : status;
        }
        // Text may come with any of these; bytes after a close are of no use.
        std::string extra;
        for (const SecBuffer& b : buffers) {
            if (b.BufferType == SECBUFFER_DATA && b.pvBuffer != nullptr) {
                plain.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
            } else if (b.BufferType == SECBUFFER_EXTRA && b.pvBuffer != nullptr) {
                extra.assign(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
            }
        }
        cipher.swap(extra);
        if (status == SEC_I_CONTEXT_EXPIRED) {
            closed_ = true;
            cipher.clear();
            answerClose(transport);
        } else if (status == SEC_I_RENEGOTIATE) {
            // Messages of the handshake after it (TLS 1.3 session tickets):
            // SChannel takes them through the handshake call.
            TlsFailure failure;
            int error = handshakeLoop(transport, host_.c_str(), cipher, false, failure);
            if (error != 0) {
                return plain.size() > before ? 0 : error;
            }
        }
    }
    // The server's close is reported once the text before it is handed out.
    return closed_ && plain.size() == before ? WSAECONNRESET : 0;
}

// The documented shutdown: a control token, then a handshake call that
// gives the close_notify to send. The server has already closed its side, so
// a failure here changes nothing.
void TlsChannel::answerClose(TlsTransport& transport) {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control = {sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc controlDesc = {SECBUFFER_VERSION, 1, &control};
    if (ApplyControlToken(&context_, &controlDesc) != SEC_E_OK) {
        return;
    }
    HandshakeOutput output;
    SECURITY_STATUS status = initializeContext(credentials_, context_, false, host_.c_str(), nullptr, output);
    if ((status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) && holds(output.token)) {
        transport.sendRaw(static_cast<const char*>(output.token.pvBuffer), output.token.cbBuffer);
    }
}
