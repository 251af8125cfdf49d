#include "retrieval/imap_login.h"

#include "base/event_log.h"
#include "store/tls_logins.h"

namespace {

// Reads and parses one response; status responses are logged. Returns 0 or
// the error, logged.
int readResponse(ImapSession& m, ImapResponse& r) {
    ImapFramed framed;
    int error = m.s.connection.receiveImapResponse(framed);
    if (error != 0) {
        m.s.failf(kConnectionBroken, "Ошибка при приеме данных: %d", error);
        return error;
    }
    r = parseImapResponse(framed);
    if (r.kind == ImapKind::Malformed) {
        writeLogf("Ответ сервера не разобран: %s", r.text.c_str());
        m.s.connection.close();
        m.s.setShortText(kConnectionBroken);
        return kImapMalformedResponse;
    }
    if (r.kind == ImapKind::Tagged || r.data == ImapData::Status) {
        writeLog(loggableResponse(framed).c_str());
    }
    return 0;
}

// Reads responses up to a continuation request or the command's tagged
// response (a refusal of the rest of the command).
int readUntil(ImapSession& m, const std::string& tag, const ImapUntagged& untagged, ImapResponse& r) {
    for (;;) {
        int error = readResponse(m, r);
        if (error != 0) {
            return error;
        }
        if (r.kind == ImapKind::Continuation || (r.kind == ImapKind::Tagged && r.tag == tag)) {
            return 0;
        }
        if (r.kind == ImapKind::Untagged && untagged) {
            untagged(r);
        }
    }
}

bool refused(const ImapResponse& r) {
    return r.kind != ImapKind::Tagged || r.status != ImapStatus::Ok;
}

// CAPABILITY; a server that answers otherwise offers nothing. False when the
// connection failed.
bool askCapabilities(ImapSession& m) {
    m.capabilities.clear();
    ImapResponse done;
    auto take = [&m](const ImapResponse& r) {
        if (r.data == ImapData::Capability) {
            m.capabilities = r.capabilities;
        }
    };
    return imapCommand(m, m.command("CAPABILITY"), take, done) == 0;
}

// The greeting, and what the server offers: true when the server will talk
// (preauthenticated tells a login is not needed).
bool readGreeting(ImapSession& m, bool& preauthenticated) {
    ImapFramed framed;
    int error = m.s.connection.receiveImapResponse(framed);
    if (error != 0) {
        m.s.failf(kConnectionBroken, "При ответе сервера произошла ошибка: %d", error);
        return false;
    }
    writeLog(loggableResponse(framed).c_str());
    ImapResponse r = parseImapResponse(framed);
    preauthenticated = r.status == ImapStatus::Preauth;
    if (r.kind != ImapKind::Untagged || (r.status != ImapStatus::Ok && !preauthenticated)) {
        m.s.fail("Сервер отказал в соединении.", kNoAnswer);
        return false;
    }
    // What the server offers, where the greeting tells it: no CAPABILITY
    // command is needed then.
    if (r.hasCode && r.code.name == "CAPABILITY") {
        m.capabilities = r.capabilities;
        return true;
    }
    return askCapabilities(m);
}

// On a connection in the clear: STARTTLS when the server offers it, then
// CAPABILITY again, since what a server offers may change over TLS. A
// refused or failed STARTTLS is an error, never a reason to go on in the
// clear. True when the login may go on.
bool startTlsWhenOffered(ImapSession& m, const char* host, const std::string& address) {
    if (!m.offers("STARTTLS")) {
        if (!clearLoginAllowed(m.s, host, address, "STARTTLS")) {
            return false;
        }
        writeLog("Сервер не предлагает STARTTLS: пароль передается открытым текстом");
        return true;
    }
    ImapResponse done;
    if (imapCommand(m, m.command("STARTTLS"), nullptr, done) != 0) {
        return false;
    }
    if (refused(done)) {
        m.s.fail("Сервер отказал в STARTTLS. Пароль не отправлен.", kNoSecureLink);
        return false;
    }
    return secureConnection(m.s, host) && askCapabilities(m);
}

std::string base64(const std::string& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        for (size_t k = 1; k < n; k++) {
            group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + k])) << (16 - 8 * k);
        }
        for (size_t k = 0; k < 4; k++) {
            text += k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
        }
    }
    return text;
}

// The command that sends the password: LOGIN, or AUTHENTICATE PLAIN where
// the server disables LOGIN but offers PLAIN over TLS (its response in the
// command where SASL-IR allows, else after the continuation request). False
// when neither may be sent.
bool passwordCommand(ImapSession& m, const std::string& address, const std::string& password, ImapCommandParts& parts,
                     std::string& loggable) {
    if (!m.offers("LOGINDISABLED")) {
        parts = imapLoginCommand(m.tags.next(), address, password, m.offers("LITERAL+"));
        loggable = loggableImapCommand(parts);
        return true;
    }
    if (!m.s.connection.secure() || !m.offers("AUTH=PLAIN")) {
        m.s.fail("Сервер не принимает пароль на этом соединении (LOGINDISABLED). Пароль не отправлен.", kNoSecureLink);
        return false;
    }
    std::string response = base64(std::string(1, '\0') + address + '\0' + password);
    std::string first = m.tags.next() + " AUTHENTICATE PLAIN";
    if (m.offers("SASL-IR")) {
        parts = {first + " " + response + "\r\n"};
        loggable = loggableImapCommand(parts);
    } else {
        parts = {first + "\r\n", response + "\r\n"};
        loggable = parts[0] + kImapMaskedLine;
    }
    return true;
}

} // namespace

std::string loggableResponse(const ImapFramed& framed) {
    size_t end = framed.text.find('\n');
    end = end == std::string::npos ? framed.text.size() : end + 1;
    if (end > kLoggedResponseLength) {
        return framed.text.substr(0, kLoggedResponseLength) + "...\r\n";
    }
    return framed.text.substr(0, end);
}

bool ImapSession::offers(const char* capability) const {
    for (const std::string& c : capabilities) {
        if (c == capability) {
            return true;
        }
    }
    return false;
}

ImapCommandParts ImapSession::command(const std::string& text) {
    return {tags.next() + " " + text + "\r\n"};
}

int imapCommand(ImapSession& m, const ImapCommandParts& parts, const ImapUntagged& untagged, ImapResponse& done,
                const std::string* loggable) {
    m.s.logCommand(loggable != nullptr ? *loggable : loggableImapCommand(parts));
    const std::string tag = parts.front().substr(0, parts.front().find(' '));
    done = ImapResponse();
    for (size_t i = 0; i < parts.size(); i++) {
        int error = m.s.connection.sendText(parts[i]);
        if (error != 0) {
            m.s.failf(kConnectionBroken, "Ошибка при передаче данных: %d", error);
            return error;
        }
        // The next piece waits for the continuation request.
        error = readUntil(m, tag, untagged, done);
        if (error != 0) {
            return error;
        }
        if (done.kind == ImapKind::Tagged) {
            return 0;
        }
    }
    // A continuation request after the last piece: the server wants more
    // than the command holds.
    m.s.fail("Сервер ждет продолжения команды, которого нет.", kConnectionBroken);
    m.s.connection.close();
    return kImapMalformedResponse;
}

bool imapLogin(ImapSession& m, const char* host, const std::string& address, const std::string& password) {
    bool preauthenticated = false;
    if (!readGreeting(m, preauthenticated)) {
        return false;
    }
    if (preauthenticated) {
        return true;
    }
    if (!m.s.connection.secure() && !startTlsWhenOffered(m, host, address)) {
        return false;
    }
    ImapCommandParts parts;
    std::string loggable;
    if (!passwordCommand(m, address, password, parts, loggable)) {
        return false;
    }
    ImapResponse done;
    if (imapCommand(m, parts, nullptr, done, &loggable) != 0) {
        return false;
    }
    if (refused(done)) {
        m.s.fail("Сервер не опознал указанные адрес и/или пароль.", kNotRecognised);
        return false;
    }
    // The server took the password over TLS: from now on this mailbox never
    // logs in to it in the clear unless the user agrees.
    if (m.s.connection.secure()) {
        rememberTlsLogin(address.c_str(), host);
    }
    // What the server offers may change with the login.
    if (done.hasCode && done.code.name == "CAPABILITY") {
        m.capabilities = done.capabilities;
        return true;
    }
    return askCapabilities(m);
}

bool imapLogout(ImapSession& m) {
    ImapResponse done;
    return imapCommand(m, m.command("LOGOUT"), nullptr, done) == 0 && !refused(done);
}
