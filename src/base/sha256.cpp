#include "base/sha256.h"

#include <bcrypt.h>
#include <winternl.h>

namespace {

constexpr ULONG kDigestSize = 32;

// An NTSTATUS of CNG as a system error code.
DWORD cngError(NTSTATUS status) {
    DWORD code = RtlNtStatusToDosError(status);
    return code != 0 ? code : ERROR_INTERNAL_ERROR;
}

class AlgorithmHandle {
public:
    AlgorithmHandle() = default;
    ~AlgorithmHandle() {
        if (handle_ != nullptr) {
            BCryptCloseAlgorithmProvider(handle_, 0);
        }
    }
    AlgorithmHandle(const AlgorithmHandle&) = delete;
    AlgorithmHandle& operator=(const AlgorithmHandle&) = delete;
    BCRYPT_ALG_HANDLE* out() { return &handle_; }
    BCRYPT_ALG_HANDLE get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class HashHandle {
public:
    HashHandle() = default;
    ~HashHandle() {
        if (handle_ != nullptr) {
            BCryptDestroyHash(handle_);
        }
    }
    HashHandle(const HashHandle&) = delete;
    HashHandle& operator=(const HashHandle&) = delete;
    BCRYPT_HASH_HANDLE* out() { return &handle_; }
    BCRYPT_HASH_HANDLE get() const { return handle_; }

private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

} // namespace

DWORD sha256Hex(const void* data, size_t size, char* hex) {
    hex[0] = '\0';
    AlgorithmHandle algorithm;
    NTSTATUS status = BCryptOpenAlgorithmProvider(algorithm.out(), BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) {
        return cngError(status);
    }
    // The hash object lives in memory CNG allocates itself.
    HashHandle hash;
    status = BCryptCreateHash(algorithm.get(), hash.out(), nullptr, 0, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) {
        return cngError(status);
    }
    // BCryptHashData takes at most 4 GiB - 1 at a time.
    const UCHAR* bytes = static_cast<const UCHAR*>(data);
    while (size > 0) {
        ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        status = BCryptHashData(hash.get(), const_cast<UCHAR*>(bytes), piece, 0);
        if (!BCRYPT_SUCCESS(status)) {
            return cngError(status);
        }
        bytes += piece;
        size -= piece;
    }
    UCHAR digest[kDigestSize];
    status = BCryptFinishHash(hash.get(), digest, kDigestSize, 0);
    if (!BCRYPT_SUCCESS(status)) {
        return cngError(status);
    }
    static const char kDigits[] = "0123456789abcdef";
    for (ULONG i = 0; i < kDigestSize; i++) {
        hex[2 * i] = kDigits[digest[i] >> 4];
        hex[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
    hex[2 * kDigestSize] = '\0';
    return 0;
}
