// The test of a mailbox for the mailbox page: its server found by guessing
// host names from the address's domain, POP3 over TLS on port 995 tried
// first and the POP3 port after it; where no POP3 server answers, IMAP over
// TLS on port 993 and the IMAP port after it. A server that an account line
// names with an IMAP port is tested over IMAP alone. Then a login.
#pragma once
#include "retrieval/pop3_login.h"

// The dialogue's text holds "address;password", or after it the account
// line's "server;port" (splitTestParams); on success it receives
// "host;port", otherwise the short text of the failure. Returns kTestPassed
// after a login, 0 on failure, and kTestWantsClearText when the server
// offers no TLS and the dialogue may not send the password in the clear:
// the test then ends before USER, and the answer is still "host;port".
int runMailboxTest(Pop3Dialogue& s);
