// A connection kept open in IDLE on the INBOX of one IMAP mailbox, so that
// its server tells of a new mail the moment it arrives instead of the next
// poll finding it.
#pragma once
#include "retrieval/pop3_address.h"
#include "retrieval/pop3_connection.h"

#include <functional>

// The pauses of IDLE connections; tests shorten them.
struct IdleTimings {
    // IDLE is ended and begun anew this often: servers may drop a
    // connection idle for 30 minutes, and a gateway one idle for less.
    DWORD renewMs = 20 * 60 * 1000;
    // How long the answer to DONE may take after the system woke up or the
    // network changed, before the connection counts as dead.
    DWORD wakeCheckMs = 10000;
    // The pause before a new connection: the first one, doubled after every
    // failure up to the longest, which also follows a refused login or a
    // certificate that failed its check.
    DWORD firstPauseMs = 5000;
    DWORD longestPauseMs = 15 * 60 * 1000;
    // A connection that stayed in IDLE this long starts the pauses afresh.
    DWORD steadyMs = 60000;
};
extern IdleTimings gIdleTimings;

// How an IDLE connection ended.
enum class IdleEnd {
    Stopped, // the stop was requested
    NoIdle,  // the server does not offer IDLE: the timer polls the mailbox
    Refused, // the password or the certificate was refused, or TLS failed
    Broken,  // the connection failed or the server closed it
    Woken,   // dead after the system woke up or the network changed
};

// Called on the connection's thread whenever the server reports more
// messages in INBOX than it reported before.
using MailArrived = std::function<void()>;

// Connects, logs in, examines INBOX and stays in IDLE until stop is
// requested or the connection fails, renewing IDLE every renewMs. wake
// (signalled when the system resumes or the network changes) makes the
// connection prove that it still lives. idled tells that IDLE was reached.
IdleEnd idleOnMailbox(const MailboxLogin& login, ConnectionStop& stop, HANDLE wake, const MailArrived& arrived,
                      bool& idled);
