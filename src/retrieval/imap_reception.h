// The reception of an IMAP mailbox, the same in its results as the POP3
// poll of the same mails: INBOX examined (read-only), its messages listed by
// UID with their sizes, the headers of the messages the unique-id cache
// cannot name fetched in batches without setting \Seen, each through the
// same deletion and known checks and header blocks as a POP3 header; the
// mails marked for deletion flagged \Deleted and expunged; LOGOUT at the end.
#pragma once
#include "retrieval/reception.h"

#include <string>

// The connection is open (inside TLS already on 993). The message cache key
// is "UIDVALIDITY.UID", so a changed UIDVALIDITY names nothing cached and
// every header is read again. Returns 1 once INBOX was examined.
int runImapReception(Pop3Dialogue& s, WalkGuard& walk, HANDLE headerFile, const MailboxLogin& login,
                     const std::string& cacheName);
