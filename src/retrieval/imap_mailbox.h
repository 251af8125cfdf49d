// The commands of an IMAP poll on INBOX: EXAMINE or SELECT, the listing by
// UID with sizes, the headers of a batch of messages (BODY.PEEK, so nothing
// gets \Seen), and the deletion of messages (\Deleted, then expunge).
#pragma once
#include "retrieval/imap_header_text.h"
#include "retrieval/imap_login.h"
#include "retrieval/poll_plan.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// Headers fetched by one command, and the longest UID set sent in one.
constexpr size_t kHeaderBatch = 100;
constexpr size_t kUidSetLength = 1000;

// What EXAMINE or SELECT tells of INBOX.
struct ImapInbox {
    uint32_t exists = 0;
    uint32_t uidValidity = 0;
};

// A message of the listing.
struct ImapMessage {
    uint32_t uid = 0;
    uint32_t size = 0;
};

// A header as a POP3 "TOP n 0" gives it; cut tells it was kept only in part.
struct ImapHeader {
    std::string text;
    bool cut = false;
};
using ImapHeaders = std::unordered_map<uint32_t, ImapHeader>;

// "EXAMINE INBOX" or "SELECT INBOX" (verb); false (logged) when refused or
// the connection failed.
bool openInbox(ImapSession& m, const char* verb, ImapInbox& inbox);

// UID FETCH 1:* (UID RFC822.SIZE): the messages in the order of their
// sequence numbers, which is that of their UIDs. False when it failed.
bool listMessages(ImapSession& m, std::vector<ImapMessage>& list);

// The headers of batch (kHeaderBatch UIDs of wanted, in order) by UID. False
// when the connection failed; a refused command leaves its headers out.
bool fetchHeaders(ImapSession& m, const std::vector<uint32_t>& wanted, size_t batch, ImapHeaders& headers);

// SELECT INBOX (its UIDVALIDITY must still be uidValidity), UID STORE
// +FLAGS.SILENT (\Deleted) of the messages of deletions (n is the message's
// place in list, from 1), then UID EXPUNGE of them where the server offers
// UIDPLUS or IMAP4rev2, else EXPUNGE. True when the server confirmed the
// expunge; the records of a deletion not confirmed are pending again.
bool deleteMessages(ImapSession& m, const std::vector<PendingDeletion>& deletions, const std::vector<ImapMessage>& list,
                    uint32_t uidValidity);
