// The reception of one mailbox: its account line read, the connection and
// login, the poll of its messages, deletions carried out with a confirmed
// QUIT, and the upkeep of its unique-id cache.
#pragma once
#include "retrieval/pop3_login.h"
#include "retrieval/uid_cache_text.h"

// Marks the run's walk incomplete unless the session reached its end having
// read every message: identifiers it did not report then count as unknown
// rather than gone. With the mailbox's cache at hand, only its own
// identifiers are kept. A guard that watches nothing (a test) marks nothing.
struct WalkGuard {
    bool complete = false;
    // The mailbox's cache as the session found it: the identifiers that
    // belong to the mailbox, once ownersKnown is set.
    UidCache cache;
    bool ownersKnown = false;
    explicit WalkGuard(bool watching) : complete(!watching) {}
    ~WalkGuard();
    WalkGuard(const WalkGuard&) = delete;
    WalkGuard& operator=(const WalkGuard&) = delete;
};

// Resolves the mailbox's server, connects and, on a port of TLS from the
// first byte (995, 993), starts TLS. False (logged) when any step failed.
bool connectToServer(Pop3Dialogue& s, const MailboxLogin& login);

// The dialogue's text is the account line; header blocks of new mails are
// appended to headerFile. Returns 1 once the STAT reply held a count.
int runReception(Pop3Dialogue& s, WalkGuard& walk, HANDLE headerFile);
