// One POP3 conversation with one mailbox: a test of an address (mode 0) or
// the reception of the headers of new mails (mode 1).
#pragma once
#include <windows.h>

#include <cstddef>

constexpr int kSessionTest = 0;
constexpr int kSessionReception = 1;
// A test the user allowed to log in in the clear where the server offers no
// TLS.
constexpr int kSessionTestInClear = 2;

// Test mode: buffer holds the text of core/test_params.h (the address and
// password, perhaps an account line's server) and receives "host;995" (POP3
// over TLS), "host;110" (STLS when offered, else in the clear), "host;993"
// or "host;143" (IMAP likewise) or a short error text. Reception mode:
// buffer holds the mailbox's account line as MailBox.txt has it
// ("state;alias;address;password;server;port"); header blocks of new mails
// are appended to headerFile, the run's header file. Returns 0 on failure, 1
// on success; a test that is not allowed to log in in the clear returns
// kTestWantsClearText, with "host;port" in buffer, when the server offers no
// TLS.
int runPop3Session(int mode, char* buffer, size_t capacity, HANDLE headerFile = INVALID_HANDLE_VALUE);

// Forces the walk of LIST n and TOP n 0 for every message, one command at a
// time, whatever the server offers. For the benchmark and the differential
// test that compare it with the poll by unique ids; never set otherwise.
extern bool gPop3ForceWalk;
