// The IMAP responses a session reads, parsed from one framed response: the
// continuation request, the tagged status that ends a command, and the
// untagged data (capabilities, mailbox counts, flags, FETCH items, search
// results, status responses with their codes).
#pragma once
#include "retrieval/imap_framing.h"

#include <cstdint>
#include <string>
#include <vector>

enum class ImapKind { Malformed, Continuation, Tagged, Untagged };

enum class ImapStatus { None, Ok, No, Bad, Bye, Preauth };

// What an untagged response carries.
enum class ImapData {
    None,
    Status, // OK, NO, BAD, BYE or PREAUTH with its code and text
    Capability,
    Exists,
    Expunge,
    Recent,
    Flags,
    Fetch,
    Search,
    Esearch,
    Other, // data the session does not read (LIST, STATUS, ENABLED ...)
};

// The response code in brackets after a status: its name upper-cased, a
// number when it is one of UIDVALIDITY, UIDNEXT and UNSEEN (hasNumber), and
// otherwise the text of its argument as sent. A CAPABILITY code fills the
// response's capabilities.
struct ImapCode {
    std::string name;
    std::string argument;
    bool hasNumber = false;
    uint32_t number = 0;
};

// The items of a FETCH response the session reads; the others are skipped.
struct ImapFetch {
    uint32_t uid = 0;
    bool hasSize = false;
    uint32_t size = 0;
    bool hasFlags = false;
    bool hasHeader = false; // BODY[HEADER] or RFC822.HEADER was there
    bool headerNil = false; // ... as NIL
    bool headerCut = false; // ... as a literal the framing kept only in part
    std::string header;
};

struct ImapResponse {
    ImapKind kind = ImapKind::Malformed;
    std::string tag;
    ImapStatus status = ImapStatus::None;
    ImapData data = ImapData::None;
    bool hasCode = false;
    ImapCode code;
    std::string text; // the human-readable text after the code
    // The count of EXISTS and RECENT, the sequence number of EXPUNGE and FETCH.
    uint32_t number = 0;
    std::vector<std::string> capabilities; // upper-cased
    std::vector<std::string> flags;        // FLAGS, or the flags of a FETCH
    ImapFetch fetch;
    std::vector<uint32_t> numbers; // SEARCH results
    // ESEARCH ALL as ranges first..last; uids when the result is of UIDs.
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    bool uids = false;
};

// Parses one framed response. Anything malformed, a number out of its range
// or a FETCH with a size or header but without a UID (or with UID 0) gives
// kind Malformed, whose text then holds the response's first 200 bytes for
// the log; reading never passes the end of the text.
ImapResponse parseImapResponse(const ImapFramed& framed);

// The same for a response without literals cut.
ImapResponse parseImapResponse(const std::string& text);
