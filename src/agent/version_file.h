// The version file of the update server: "N", "N,S" or "N,S,H" (the newest
// program version, the size of its update file in bytes and the file's
// SHA-256 as 64 hexadecimal digits). Agents that know no hash read the third
// form as the second.
#pragma once
#include <cstddef>

#include "core/settings_values.h"

struct VersionFile {
    bool valid = false;                 // more than two bytes, N and S within their limits
    int version = 0;                    // N, by the atoi rules
    bool hasSize = false;               // a "," follows somewhere
    int size = 0;                       // S, by the atoi rules
    char hash[kSha256HexCapacity] = {}; // H in lower case; empty without a second ","
};

// Reads the file's text (at most the bytes given, NULs end it). A second
// "," must be followed by exactly 64 hexadecimal digits (blanks and line
// ends around them allowed), or the file is invalid.
VersionFile parseVersionFile(const char* text, size_t length);
