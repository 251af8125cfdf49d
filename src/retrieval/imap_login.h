// The dialogue of an IMAP session: commands sent in their pieces and their
// responses read up to the tagged one; the greeting, CAPABILITY, TLS
// (STARTTLS on a connection in the clear), LOGIN or AUTHENTICATE PLAIN; and
// LOGOUT at its end. A connection kept open after the poll (IDLE) logs in
// the same way.
#pragma once
#include "retrieval/imap_commands.h"
#include "retrieval/imap_replies.h"
#include "retrieval/pop3_login.h"

#include <functional>
#include <string>
#include <vector>

// A response that does not parse: the connection is out of step.
constexpr int kImapMalformedResponse = ERROR_INVALID_DATA;

// One IMAP connection: the session it belongs to, the tags of its commands
// and what its server offers.
struct ImapSession {
    explicit ImapSession(Pop3Dialogue& dialogue) : s(dialogue) {}
    bool offers(const char* capability) const;
    // A command line "tag text\r\n" with the next tag, in one piece.
    ImapCommandParts command(const std::string& text);

    Pop3Dialogue& s;
    ImapTags tags;
    std::vector<std::string> capabilities; // upper-cased
};

// Most of a response line the log shows.
constexpr size_t kLoggedResponseLength = 512;

// The first line of a response, line end included, for the log (cut to
// kLoggedResponseLength).
std::string loggableResponse(const ImapFramed& framed);

// Untagged responses of a command, handed over as they come.
using ImapUntagged = std::function<void(const ImapResponse&)>;

// Sends a command in its pieces, each after the server's continuation
// request, logging it as loggable says (the command masked by
// loggableImapCommand when loggable is null), and reads the responses up to
// its tagged one, which done receives. Untagged responses go to untagged
// (when given); status responses and the tagged one are logged. Returns 0
// or the error of the exchange, logged.
int imapCommand(ImapSession& m, const ImapCommandParts& parts, const ImapUntagged& untagged, ImapResponse& done,
                const std::string* loggable = nullptr);

// The greeting, CAPABILITY, STARTTLS where the connection is still clear and
// the server offers it (then CAPABILITY again), and LOGIN, or AUTHENTICATE
// PLAIN over TLS where the server disables LOGIN. A password accepted over
// TLS is recorded as a POP3 login over TLS is; a mailbox recorded so never
// logs in where the server no longer offers STARTTLS. True once logged in,
// with the capabilities the server offers after the login.
bool imapLogin(ImapSession& m, const char* host, const std::string& address, const std::string& password);

// LOGOUT and its responses; true when the server confirmed it.
bool imapLogout(ImapSession& m);
