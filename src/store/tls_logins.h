// The mailboxes that have logged in over TLS (POP3 over TLS on port 995, or
// STLS). An attacker on the path can strip STLS from a server's CAPA reply;
// a mailbox found here therefore never sends its password in the clear
// again, until the user, testing it anew on the mailbox page, agrees to a
// server without TLS. The account line keeps its format: the record is a
// file of its own in the service folder, one line "address;server" per
// mailbox, in lower case (the same mailbox typed in another case is the same
// mailbox). It is not the unique-id cache, which is rewritten by every
// complete listing and removed when it goes stale.
#pragma once

enum class TlsLoginRecord {
    Absent,     // the mailbox never logged in over TLS (or no file is there)
    Present,    // it did
    Unreadable, // the file is there but cannot be read: assume the worst
};

// Whether the mailbox (its address and server) has logged in over TLS.
// Lines that are not "address;server" are skipped.
TlsLoginRecord tlsLoginRecord(const char* address, const char* server);

// Adds the mailbox after a login over TLS; nothing is written when its line
// is there already. False, logged, when the file could not be written.
bool rememberTlsLogin(const char* address, const char* server);

// Removes the mailbox's line (the user agreed to a server in the clear). True
// when the mailbox is no longer recorded; false, logged, when the file could
// not be read or rewritten.
bool forgetTlsLogin(const char* address, const char* server);
