#include "base/sha256.h"

#include <winternl.h>

namespace {

constexpr ULONG kDigestSize = 32;
// BCryptHashData takes at most 4 GiB - 1 at a time.
constexpr size_t kLargestPiece = 0x40000000u;

// An NTSTATUS of CNG as a system error code.
DWORD cngError(NTSTATUS status) {
    DWORD code = RtlNtStatusToDosError(status);
    return code != 0 ? code : ERROR_INTERNAL_ERROR;
}

} // namespace

Sha256::~Sha256() {
    close();
}

void Sha256::close() {
    if (hash_ != nullptr) {
        BCryptDestroyHash(hash_);
        hash_ = nullptr;
    }
    if (algorithm_ != nullptr) {
        BCryptCloseAlgorithmProvider(algorithm_, 0);
        algorithm_ = nullptr;
    }
}

DWORD Sha256::begin() {
    close();
    NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) {
        algorithm_ = nullptr;
        return error_ = cngError(status);
    }
    // The hash object lives in memory CNG allocates itself.
    status = BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) {
        hash_ = nullptr;
        close();
        return error_ = cngError(status);
    }
    return error_ = 0;
}

DWORD Sha256::add(const void* data, size_t size) {
    const UCHAR* bytes = static_cast<const UCHAR*>(data);
    while (error_ == 0 && size > 0) {
        ULONG piece = static_cast<ULONG>(size > kLargestPiece ? kLargestPiece : size);
        NTSTATUS status = BCryptHashData(hash_, const_cast<UCHAR*>(bytes), piece, 0);
        if (!BCRYPT_SUCCESS(status)) {
            error_ = cngError(status);
        }
        bytes += piece;
        size -= piece;
    }
    return error_;
}

DWORD Sha256::finishHex(char* hex) {
    hex[0] = '\0';
    if (error_ != 0) {
        return error_;
    }
    UCHAR digest[kDigestSize];
    NTSTATUS status = BCryptFinishHash(hash_, digest, kDigestSize, 0);
    close();
    if (!BCRYPT_SUCCESS(status)) {
        return error_ = cngError(status);
    }
    error_ = ERROR_INVALID_HANDLE; // spent
    static const char kDigits[] = "0123456789abcdef";
    for (ULONG i = 0; i < kDigestSize; i++) {
        hex[2 * i] = kDigits[digest[i] >> 4];
        hex[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
    hex[2 * kDigestSize] = '\0';
    return 0;
}

DWORD sha256Hex(const void* data, size_t size, char* hex) {
    hex[0] = '\0';
    Sha256 hash;
    DWORD error = hash.begin();
    if (error == 0) {
        error = hash.add(data, size);
    }
    return error != 0 ? error : hash.finishHex(hex);
}
