// The version file of the update server: "N" or "N,S" (the newest program
// version and the size of its update file in bytes).
#pragma once
#include <cstddef>

struct VersionFile {
    bool valid = false;   // more than two bytes, and N and S fit into an int
    int version = 0;      // N, by the atoi rules
    bool hasSize = false; // a "," follows somewhere
    int size = 0;         // S, by the atoi rules
};

// Reads the file's text (at most the bytes given, NULs end it).
VersionFile parseVersionFile(const char* text, size_t length);
