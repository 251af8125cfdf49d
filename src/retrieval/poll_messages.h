// The messages of a reception poll, in order: their replies where the plan
// gave them commands, their deletion and known checks, the header blocks of
// new mails, and the DELE commands of the mails marked for deletion.
#pragma once
#include "retrieval/poll_plan.h"

// The identifier of a header just read, with the notes of its rules logged.
std::string identifierOf(const std::string& header);

// The deletion and known checks of message n and, for a new one, its header
// block. header is null for a message the cache identified. A message to
// delete is claimed and added to p.deletions (on a poll that is not
// pipelined, its DELE goes out at once). False when the message is new but
// its header was not read.
bool settleMessage(Poll& p, int n, const MessagePlan& m, const std::string& id, const std::string* header);

// Returns false when the poll was stopped (cancelled or overdue). cacheText,
// when given, receives the lines of the mailbox's new unique-id cache.
bool handleMessages(Poll& p, CommandPipe& pipe, ULONGLONG allowance, std::string* cacheText);

// A message left unhandled: the walk is incomplete, and what the cache knew
// of it goes into cacheText (when given) for the next poll.
void keepCachedLine(Poll& p, const MessagePlan& m, std::string* cacheText);
// True, logged, when the session is past its deadline after message n: the
// walk is complete only if n was the last message.
bool overdue(Poll& p, int n, ULONGLONG allowance);

// DELE for mails marked in the viewer, halfWindow of them in one piece. A
// record whose DELE was not confirmed is pending again; the others wait for
// the session's confirmed end.
void carryOutDeletions(Pop3Dialogue& s, const std::vector<PendingDeletion>& deletions, size_t halfWindow);
