// The text form of a mailbox's unique-id cache file and the file's name.
#pragma once
#include <string>
#include <unordered_map>

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
