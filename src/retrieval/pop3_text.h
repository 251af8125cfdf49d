// Text work of a POP3 session that needs no socket: the account line, reply
// framing, the numbers in STAT and LIST replies, the size line and the mail
// identifier rules.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

constexpr size_t kMailIdCapacity = 128; // at most 127 characters

// The fields of an account line "alias;address;password;server;port".
struct AccountLineFields {
    std::string alias;
    std::string address;
    std::string password;
    std::string server;
    std::string port;
    bool portMissing = false; // the line had no ";": port "110" taken
};

enum class AccountLineError { None, Server, Password, Address, Alias };

// Splits the line from the right (the address may hold no ";" but the
// alias could). An empty alias is replaced by the address.
AccountLineError splitAccountLine(const char* line, AccountLineFields& fields);

// Test mode input "address;password": the domain is the text after the first
// "@" up to the first ";". False when the text has no "@" or no ";".
bool splitTestParams(const char* text, std::string& address, std::string& password, std::string& domain);

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

// The port of an account line's last field: 1 to 65535, else 110.
unsigned short parsePort(const std::string& text);

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

// What the unique-id cache of a mailbox says of one message: the size its
// LIST line gave (as "%.0f") and the mail identifier derived from its header.
struct CachedMail {
    std::string size;
    std::string id;
};
using UidCache = std::unordered_map<std::string, CachedMail>;

// The cache file: one line "uid size identifier\r\n" per message. A unique
// id holds no blank and the size only digits, so the identifier is the rest
// of the line, blanks included. Malformed lines are skipped.
void parseUidCache(const char* text, size_t length, UidCache& cache);
std::string formatUidCacheLine(const std::string& uid, double size, const std::string& id);
// "%.0f" of a LIST size, as the cache keeps it.
std::string cacheSizeText(double size);

// The cache file's name for a mailbox: "Uidl_", its address with every
// character but letters, digits and "@._-" turned into "_" (at most 64),
// "_", eight hexadecimal digits of the FNV-1a hash of "address;server" (two
// mailboxes whose cleaned addresses agree still get files of their own) and
// ".txt".
std::string uidCacheFileName(const std::string& address, const std::string& server);

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

// Collects one reply line up to its line end (LF, normally after CR), however
// the bytes arrive. A line whose bytes, line end included, pass maxLength is
// too long: the collector stops taking bytes at the first one beyond.
class LineCollector {
public:
    explicit LineCollector(size_t maxLength) : maxLength_(maxLength) {}
    // Takes bytes until the line is complete or too long; returns how many it
    // took.
    size_t feed(const char* data, size_t size);
    bool complete() const { return complete_; }
    bool tooLong() const { return tooLong_; }
    const std::string& text() const { return text_; }

private:
    size_t maxLength_;
    bool complete_ = false;
    bool tooLong_ = false;
    std::string text_;
};

// Collects a multi-line reply after its status line up to and including the
// terminating line ".". Beyond keepLimit bytes the text is no longer kept, but
// reading goes on to the terminator; finish() then cuts the kept text at a
// line end and closes it with an empty line and the terminator, so that the
// result always ends with "\r\n.\r\n".
class MultilineCollector {
public:
    explicit MultilineCollector(size_t keepLimit) : keepLimit_(keepLimit) {}
    size_t feed(const char* data, size_t size);
    bool complete() const { return complete_; }
    bool cut() const { return cut_; }
    size_t received() const { return received_; }
    // The collected text, finished as described above.
    std::string finish();

private:
    size_t keepLimit_;
    bool complete_ = false;
    bool cut_ = false;
    size_t received_ = 0;
    size_t lineLength_ = 0;  // bytes of the current line so far
    bool lineIsDot_ = false; // the current line is "." so far (a CR may follow)
    std::string text_;
};
