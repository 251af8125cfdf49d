// What an IMAP poll makes of a message for the parts it shares with a POP3
// poll: the header text in the form POP3 reads it, and the message's key in
// the unique-id cache.
#pragma once
#include <cstdint>
#include <string>

// The key of a message in the unique-id cache: "UIDVALIDITY.UID". A changed
// UIDVALIDITY names nothing cached.
std::string imapCacheKey(uint32_t uidValidity, uint32_t uid);

// A header fetched by IMAP in the form of the same header read by POP3's
// "TOP n 0": lines that begin with "." doubled, the empty line that ends the
// header (added where the message has none), then the "." line.
std::string pop3StyleHeader(const std::string& header);
