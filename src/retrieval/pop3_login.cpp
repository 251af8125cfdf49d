#include "retrieval/pop3_login.h"

#include "base/event_log.h"
#include "base/text.h"
#include "store/tls_logins.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>

Pop3Dialogue::Pop3Dialogue(bool testMode, char* buffer, size_t capacity, ConnectionStop& stop)
    : connection(stop), start(GetTickCount64()), testMode_(testMode), buffer_(buffer), capacity_(capacity) {}

void Pop3Dialogue::setShortText(const char* text) {
    if (testMode_) {
        copyText(buffer_, capacity_, text);
    }
}

void Pop3Dialogue::fail(const char* logText, const char* shortText) {
    writeLog(logText);
    failure_ = shortText;
    setShortText(shortText);
}

void Pop3Dialogue::failf(const char* shortText, const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    if (vsnprintf(text, sizeof text, format, args) < 0) {
        text[0] = '\0';
    }
    va_end(args);
    fail(text, shortText);
}

void Pop3Dialogue::logCommand(const std::string& text) {
    writeLog(text.c_str());
}

int Pop3Dialogue::sendCommands(const std::string& batch) {
    return connection.sendText(batch);
}

namespace {

// One command and its one-line reply. Returns 0 or the Winsock error code;
// sendFailed tells which half failed.
int exchange(Pop3Dialogue& s, const std::string& command, std::string& reply, bool& sendFailed) {
    s.logCommand(loggableCommand(command));
    sendFailed = false;
    int error = s.connection.sendText(command);
    if (error != 0) {
        sendFailed = true;
        return error;
    }
    return s.connection.receiveLine(reply);
}

void failExchange(Pop3Dialogue& s, bool sendFailed, int error) {
    s.failf(kConnectionBroken, sendFailed ? "Ошибка при передаче данных: %d" : "Ошибка при приеме данных: %d", error);
}

// CAPA, asked once right after the greeting: before the login, so that what
// must come before it can be known too. A server that does not know the
// command offers nothing. False when the connection failed.
bool askCapabilities(Pop3Dialogue& s, Pop3Capabilities& caps) {
    caps = Pop3Capabilities();
    std::string reply;
    bool sendFailed = false;
    int error = exchange(s, "CAPA\r\n", reply, sendFailed);
    if (error == 0) {
        writeLog(reply.c_str());
        if (reply[0] != '+') {
            return true;
        }
        std::string text;
        bool cut = false;
        error = s.connection.receiveMultiline(text, cut);
        if (error == 0) {
            caps = parseCapabilities(text.data(), text.size());
            return true;
        }
    }
    failExchange(s, sendFailed, error);
    return false;
}

// On a connection in the clear: STLS when the server offers it, then CAPA
// again, since what a server offers may change over TLS. A server that
// offers STLS and then refuses or fails it is an error, never a reason to go
// on in the clear. True when the login may go on.
bool startTlsWhenOffered(Pop3Dialogue& s, const char* host, const std::string& address, Pop3Capabilities& caps) {
    if (!caps.stls) {
        if (!clearLoginAllowed(s, host, address, "STLS")) {
            return false;
        }
        writeLog("Сервер не предлагает STLS: пароль передается открытым текстом");
        return true;
    }
    std::string reply;
    bool sendFailed = false;
    int error = exchange(s, "STLS\r\n", reply, sendFailed);
    if (error != 0) {
        failExchange(s, sendFailed, error);
        return false;
    }
    writeLog(reply.c_str());
    if (reply[0] != '+') {
        s.fail("Сервер отказал в STLS. Пароль не отправлен.", kNoSecureLink);
        return false;
    }
    return secureConnection(s, host) && askCapabilities(s, caps);
}

} // namespace

bool clearLoginAllowed(Pop3Dialogue& s, const char* host, const std::string& address, const char* tlsCommand) {
    if (s.testMode()) {
        if (!s.clearTextAllowed()) {
            writeLogf("Сервер %s не предлагает защищенное соединение (TLS): пароль не отправлен до согласия "
                      "пользователя передавать его открытым текстом",
                      host);
            s.wantClearText();
        }
        return s.clearTextAllowed();
    }
    switch (tlsLoginRecord(address.c_str(), host)) {
    case TlsLoginRecord::Absent:
        return true;
    case TlsLoginRecord::Present:
        writeLogf("Сервер %s больше не предлагает %s, хотя раньше ящик %s входил на него по защищенному "
                  "соединению (TLS). Пароль не отправлен. Если сервер действительно отказался от TLS, "
                  "проверьте ящик заново в настройках.",
                  host, tlsCommand, address.c_str());
        return false;
    case TlsLoginRecord::Unreadable:
        writeLogf("Сервер %s не предлагает %s, а входил ли ящик %s на него по защищенному соединению, "
                  "узнать не удалось. Пароль не отправлен.",
                  host, tlsCommand, address.c_str());
        return false;
    }
    return false;
}

void reportTlsFailure(Pop3Dialogue& s, const char* host, const TlsFailure& failure) {
    switch (failure.kind) {
    case TlsFailure::Certificate:
        s.failf(kBadCertificate, "Сертификат сервера %s отвергнут: %s (0x%08lX). Пароль не отправлен.", host,
                certProblemText(failure.problem), static_cast<unsigned long>(failure.code));
        break;
    case TlsFailure::Network:
        s.failf(kConnectionBroken, "Ошибка при установке защищенного соединения: %ld", failure.code);
        break;
    default:
        s.failf(kNoSecureLink, "Защищенное соединение с сервером не установлено. Ошибка 0x%08lX",
                static_cast<unsigned long>(failure.code));
        break;
    }
}

bool secureConnection(Pop3Dialogue& s, const char* host) {
    TlsFailure failure;
    if (s.connection.startTls(host, failure)) {
        writeLog("Установлено защищенное соединение с сервером (TLS)");
        std::string negotiated = s.connection.tlsDescription();
        if (!negotiated.empty()) {
            writeLogf("Протокол защищенного соединения: %s", negotiated.c_str());
        }
        return true;
    }
    reportTlsFailure(s, host, failure);
    s.connection.close();
    return false;
}

bool loginDialogue(Pop3Dialogue& s, const char* host, const std::string& address, const std::string& password,
                   std::string& statReply, Pop3Capabilities& caps) {
    std::string greeting;
    int error = s.connection.receiveLine(greeting);
    if (error != 0) {
        s.failf(kConnectionBroken, "При ответе сервера произошла ошибка: %d", error);
        return false;
    }
    writeLog(greeting.c_str());
    if (!askCapabilities(s, caps) || (!s.connection.secure() && !startTlsWhenOffered(s, host, address, caps))) {
        return false;
    }
    const std::string commands[] = {"USER " + address + "\r\n", "PASS " + password + "\r\n", "STAT\r\n"};
    constexpr size_t kPass = 1;
    for (size_t i = 0; i < std::size(commands); i++) {
        bool sendFailed = false;
        error = exchange(s, commands[i], statReply, sendFailed);
        if (error != 0) {
            failExchange(s, sendFailed, error);
            return false;
        }
        writeLog(statReply.c_str());
        if (statReply[0] == '-') {
            s.fail("Сервер не опознал указанные адрес и/или пароль.", kNotRecognised);
            return false;
        }
        // The server took the password over TLS: from now on this mailbox
        // never logs in to it in the clear unless the user agrees.
        if (i == kPass && s.connection.secure()) {
            rememberTlsLogin(address.c_str(), host);
        }
    }
    return true;
}

bool sayGoodbye(Pop3Dialogue& s) {
    writeLog("QUIT\r\n");
    int sendError = s.connection.sendText("QUIT\r\n");
    if (sendError != 0) {
        writeLogf("Ошибка при завершении сеанса связи с сервером: %d", sendError);
        if (!s.testMode()) {
            return false;
        }
    }
    std::string reply;
    int error = s.connection.receiveLine(reply);
    if (error != 0) {
        if (s.testMode()) {
            writeLogf("Ошибка при приеме данных: %d", error);
        }
        return false;
    }
    return sendError == 0 && reply[0] == '+';
}
