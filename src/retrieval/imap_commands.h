// The texts of IMAP commands: their tags, string arguments quoted or sent as
// literals, the form the event log shows, and UID sets for batches.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Tags "A0001", "A0002" ... for the commands of one connection.
class ImapTags {
public:
    std::string next();

private:
    uint32_t count_ = 0;
};

// A command in the pieces it is sent in: the first piece at once, each
// following one only after the server's continuation request ("+"), which a
// synchronising literal waits for. The last piece ends with CR LF.
using ImapCommandParts = std::vector<std::string>;

// Appends value to the last piece as an IMAP string: quoted (with \ and "
// escaped) when it can be, else as a literal, which a value with CR, LF, NUL
// or a byte above 127 needs. The literal is "{n+}" when the server offers
// LITERAL+ and goes in the same piece; otherwise "{n}" ends the piece and its
// bytes begin the next.
void appendImapString(ImapCommandParts& parts, const std::string& value, bool literalPlus);

// "tag LOGIN user password" in its pieces.
ImapCommandParts imapLoginCommand(const std::string& tag, const std::string& user, const std::string& password,
                                  bool literalPlus);

// The command as the event log shows it, all its pieces joined: LOGIN's
// password and AUTHENTICATE PLAIN's initial response are replaced by
// asterisks. A response to an authentication challenge is secret as a whole
// and is logged as kImapMaskedLine.
std::string loggableImapCommand(const ImapCommandParts& parts);
extern const char kImapMaskedLine[];

// The UIDs of a list sorted in ascending order as sequence sets
// ("1:5,7,9:12"), split so that no set is longer than maxLength characters
// nor names more than maxCount UIDs. UID 0 and repeated UIDs are left out.
std::vector<std::string> imapUidSets(const std::vector<uint32_t>& uids, size_t maxLength, size_t maxCount);
