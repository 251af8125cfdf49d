// SHA-256 through the system's cryptography (CNG).
#pragma once
#include <windows.h>
#include <bcrypt.h>

#include <cstddef>

// A digest computed piece by piece, for data that passes through once (a
// download written to its file as it arrives). Each step returns 0 or the
// system error code; after a failure the later steps fail with it too.
class Sha256 {
public:
    Sha256() = default;
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    DWORD begin();
    DWORD add(const void* data, size_t size);
    // The digest as 64 lower-case hexadecimal digits into hex (at least 65
    // bytes; empty on failure). The object is then spent.
    DWORD finishHex(char* hex);

private:
    void close();

    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    DWORD error_ = ERROR_INVALID_HANDLE; // until begin() succeeds
};

// The SHA-256 of size bytes at data as 64 lower-case hexadecimal digits into
// hex (at least 65 bytes). Returns 0, or the system error of the failed step
// (hex then empty).
DWORD sha256Hex(const void* data, size_t size, char* hex);
