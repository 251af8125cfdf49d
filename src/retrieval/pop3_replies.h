// The texts of POP3 replies a session reads: the numbers in STAT and LIST
// replies, the capabilities, the UIDL and LIST listings; and the texts it
// makes of them: the size line of a header block and the command lines as the
// event log shows them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The message count of a STAT reply: the first run of digits from the second
// character on. False when there is none.
bool parseStatCount(const char* reply, int& count);

// The size of the mailbox in a STAT reply: the run of digits after the
// count (+OK 12 3456 gives 3456), 0 when there is none.
uint64_t parseStatOctets(const char* reply);

// How long a whole session may take, in milliseconds: a base for the login,
// then an allowance per message the STAT reply counts and per MiB of the
// mailbox it gives (the headers are part of it). Saturates at 30 days.
uint64_t sessionAllowanceMs(uint64_t baseMs, uint64_t perMessageMs, uint64_t perMiBMs, int count, uint64_t octets);

// The size of a LIST reply: the number after the last blank, 0 without one.
double parseListSize(const char* reply);

// "MailSize:..." line of a header block.
std::string formatSizeLine(double size);

// The command line as the event log shows it: a PASS line has its password
// replaced by asterisks.
std::string loggableCommand(const std::string& command);

// What a server offers in its CAPA reply (the lines after the status line).
struct Pop3Capabilities {
    bool uidl = false;
    bool pipelining = false;
    bool stls = false;
    bool top = false;
};

// Reads the capability lines of a CAPA reply up to its "." line; a
// capability is the first word of a line, whatever its case.
Pop3Capabilities parseCapabilities(const char* text, size_t length);

// The lines "n value" of a UIDL or LIST listing (the text after the status
// line, up to the "." line): lines[n - 1] receives the line of message n
// without its line end, for 1 <= n <= count; a message the listing leaves out
// keeps an empty line. False for a line of another form, a number outside
// 1..count or a number listed twice: such a listing is not used.
bool parseListing(const char* text, size_t length, int count, std::vector<std::string>& lines);

// The unique id of a UIDL listing line "n uid": the second word, empty when
// the line has none.
std::string listingUid(const std::string& line);
