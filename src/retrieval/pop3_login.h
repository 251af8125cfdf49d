// The login of a POP3 session: the greeting, CAPA, TLS (STLS on a connection
// in the clear), USER, PASS and STAT; and QUIT at its end.
#pragma once
#include "retrieval/command_pipe.h"
#include "retrieval/pop3_address.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/pop3_replies.h"

#include <cstddef>
#include <string>

// Short texts a test hands back to the mailbox page.
constexpr char kNoInternet[] = "Ошибка! Нет соединения с Интернет";
constexpr char kNoInternetSocket[] = "Ошибка! Нет соединения с Интернет.";
constexpr char kNoAnswer[] = "Ошибка! Сервер не ответил.";
constexpr char kConnectionBroken[] = "Ошибка! Прерывание связи.";
constexpr char kNotRecognised[] = "Ошибка! Адрес и/или пароль неопознаны.";
constexpr char kBadCertificate[] = "Ошибка! Сертификат сервера не прошел проверку.";
constexpr char kNoSecureLink[] = "Ошибка! Защищенное соединение не установлено.";

// Where a session stands: the connection, and the text a test returns. Its
// command pipes send through it and log what they send.
class Pop3Dialogue : public CommandSender {
public:
    Pop3Dialogue(bool testMode, char* buffer, size_t capacity, ConnectionStop& stop = pollSessionStop());

    bool testMode() const { return testMode_; }
    // A test may send the password in the clear: the user agreed to it.
    void allowClearText(bool allowed) { clearTextAllowed_ = allowed; }
    bool clearTextAllowed() const { return clearTextAllowed_; }
    // The login stopped before USER: the server offers no TLS and the test
    // was not allowed to go on in the clear.
    bool clearTextWanted() const { return clearTextWanted_; }
    void wantClearText() { clearTextWanted_ = true; }
    const char* text() const { return buffer_; }
    // The text a test hands back (nothing in a reception).
    void setShortText(const char* text);
    // Logs a failure and, in a test, hands back its short text.
    void fail(const char* logText, const char* shortText);
    // The short text of the last failure (one of the constants above), in
    // every mode; null before one.
    const char* failure() const { return failure_; }
    // fail() with a formatted log text (the implicit this is argument 1).
    __attribute__((format(printf, 3, 4))) void failf(const char* shortText, const char* format, ...);

    void logCommand(const std::string& text) override;
    int sendCommands(const std::string& batch) override;

    Pop3Connection connection;
    const ULONGLONG start; // GetTickCount64 when the session began

private:
    bool testMode_;
    bool clearTextAllowed_ = false;
    bool clearTextWanted_ = false;
    const char* failure_ = nullptr;
    char* buffer_;
    size_t capacity_;
};

// Logs why TLS did not start and, in a test, hands back its short text.
void reportTlsFailure(Pop3Dialogue& s, const char* host, const TlsFailure& failure);

// A login in the clear where the server offers no TLS (tlsCommand names the
// command it would have offered, for the log). A test sends the password
// only once the user has agreed (the mailbox page asks, then tests again). A
// reception of a mailbox that has logged in over TLS before refuses: someone
// on the path may have taken the offer of TLS out of the server's answer. The
// password stays unsent; the user who knows that the server gave TLS up
// tests the mailbox again on the mailbox page. True when the login may go on.
bool clearLoginAllowed(Pop3Dialogue& s, const char* host, const std::string& address, const char* tlsCommand);

// TLS on the open connection, with the certificate checked for host. A
// failure is logged with its reason, and the connection closed.
bool secureConnection(Pop3Dialogue& s, const char* host);

// Greeting, CAPA, STLS where the connection is still clear, USER, PASS and
// STAT. On success statReply holds the STAT reply and caps what the server
// offers. A password accepted over TLS is recorded (store/tls_logins.h); a
// reception of a recorded mailbox whose server no longer offers STLS ends
// before USER.
bool loginDialogue(Pop3Dialogue& s, const char* host, const std::string& address, const std::string& password,
                   std::string& statReply, Pop3Capabilities& caps);

// Sends QUIT and reads its reply; true when the server confirmed it. A test
// reads the reply even when the send failed, and logs a failed receive.
bool sayGoodbye(Pop3Dialogue& s);
