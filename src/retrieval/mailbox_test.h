// The test of a mailbox for the mailbox page: its server found by guessing
// host names from the address's domain, POP3 over TLS on port 995 tried
// first and the POP3 port after it, and a login.
#pragma once
#include "retrieval/pop3_login.h"

// The dialogue's text holds "address;password"; on success it receives
// "host;port", otherwise the short text of the failure. Returns kTestPassed
// after a login, 0 on failure, and kTestWantsClearText when the server
// offers no TLS and the dialogue may not send the password in the clear:
// the test then ends before USER, and the answer is still "host;port".
int runMailboxTest(Pop3Dialogue& s);
