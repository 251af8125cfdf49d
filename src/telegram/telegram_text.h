// Text work of the telegram query: the query string, the records of a reply
// and the lines they become in GetMess.txt.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Percent-encodes every byte outside the unreserved set (letters, digits,
// "-", ".", "_", "~"), so that any login or password travels unchanged.
std::string percentEncode(const char* text);

// The query of one login: "login=...&password=...&min_id=N".
std::string telegramQuery(const char* login, const char* password, int minId);

// The records of a reply (each ended by a zero byte; an empty record ends
// the walk, and so does the end of the reply). Record 0 is included.
std::vector<std::string> replyRecords(const char* reply, size_t size);

// A record as it is stored: its first four TABs become ";", later ones
// blanks, and every CR and LF a blank.
std::string storedRecord(const std::string& record);
