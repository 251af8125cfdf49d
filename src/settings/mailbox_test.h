// The test of a mailbox before the mailbox page stores it: the poll thread,
// started in test mode, logs in with the address and password and finds the
// mailbox's server.
#pragma once
#include <windows.h>

#include <cstddef>

enum class MailboxTestEnd {
    NotStarted, // no poll thread (one runs, or none could start)
    PageGone,   // the page was closed from outside during the test
    NoInternet, // no connection to test over
    Failed,     // the answer says why
    Passed,     // the answer is the server found: "host;port"
    // The same server, but it offers no TLS: the test stopped before the
    // login, which would send the password in the clear.
    WantsClearText,
};

// Runs the test while the page stays painted, its status line and the
// notice "Тестирование. Минуточку..." telling of it. The address and
// password stay in the agent state no longer than the test. server is the
// "server;port" of the account line being edited, or empty: the test goes
// straight to a server with an IMAP port, and guesses the server from the
// address otherwise. With clearText the test may send the password in the
// clear (the user agreed to it).
MailboxTestEnd testMailbox(HWND page, const char* address, const char* password, const char* server, bool clearText,
                           char* answer, size_t capacity);
