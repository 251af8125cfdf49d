// The identifier of a mail, derived from its header text: what recognises a
// mail already seen from poll to poll.
#pragma once
#include <cstddef>
#include <string>

constexpr size_t kMailIdCapacity = 128; // at most 127 characters

// Which rule gave the identifier and which notes the session logs.
struct IdentifierResult {
    std::string id;
    bool found = false;               // a Message-ID, Received or Date rule gave it
    bool fromHeaderText = false;      // none did: id is the hash of the header text
    bool messageIdEndedEarly = false; // "Неожиданный конец ... идентификатора"
    bool receivedEndedEarly = false;  // "Неожиданный конец ... Received"
};

// Derives a mail's identifier from its header text: Message-ID, else the
// reception trace, else the Date line. A header name counts after a line
// feed anywhere, or, when it occurs nowhere so, at the very start of the
// text. A mail none of them identifies gets headerTextId() of its header.
IdentifierResult deriveIdentifier(const char* header, size_t length);

// The identifier of a mail without Message-ID, Received or Date:
// "<header-fnv1a64-" + 16 hexadecimal digits + ">", the 64-bit FNV-1a hash of
// the header text. The other rules cannot give it from a well-formed header: a
// Message-ID loses its angle brackets, and Received and Date values begin
// with the blank after their colon.
std::string headerTextId(const char* header, size_t length);
