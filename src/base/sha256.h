// SHA-256 through the system's cryptography (CNG).
#pragma once
#include <windows.h>

#include <cstddef>

// The SHA-256 of size bytes at data as 64 lower-case hexadecimal digits into
// hex (at least 65 bytes). Returns 0, or the system error of the failed step
// (hex then empty).
DWORD sha256Hex(const void* data, size_t size, char* hex);
