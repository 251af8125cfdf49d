#include "base/file_io.h"
#include "base/file_names.h"

#include "base/text.h"

#include <cstring>

bool VirtualBlock::allocate(size_t size) {
    reset();
    if (size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    memory_ = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return memory_ != nullptr;
}

void VirtualBlock::reset() {
    releaseVirtualMemory(memory_);
    memory_ = nullptr;
}

void* VirtualBlock::release() {
    void* memory = memory_;
    memory_ = nullptr;
    return memory;
}

void releaseVirtualMemory(void* memory) {
    if (memory != nullptr) {
        VirtualFree(memory, 0, MEM_RELEASE);
    }
}

bool readFileBytes(HANDLE file, char* buffer, uint64_t size, uint64_t& got) {
    got = 0;
    while (got < size) {
        uint64_t left = size - got;
        DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD read = 0;
        if (!ReadFile(file, buffer + got, chunk, &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            break;
        }
        got += read;
    }
    return true;
}

FileReadResult readFileImage(HANDLE file, FileImage& image) {
    FileReadResult result;
    image.block.reset();
    image.size = 0;
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length)) {
        result.failedStep = FileReadStep::Size;
        result.code = GetLastError();
        return result;
    }
    if (length.QuadPart == 0) {
        return result;
    }
    uint64_t wanted = static_cast<uint64_t>(length.QuadPart);
    if (wanted >= SIZE_MAX || !image.block.allocate(static_cast<size_t>(wanted) + 1)) {
        result.failedStep = FileReadStep::Memory;
        result.code = wanted >= SIZE_MAX ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
        return result;
    }
    LARGE_INTEGER start = {};
    uint64_t got = 0;
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !readFileBytes(file, image.text(), wanted, got)) {
        result.failedStep = FileReadStep::Read;
        result.code = GetLastError();
        image.block.reset();
        return result;
    }
    image.text()[got] = '\0';
    image.size = static_cast<size_t>(got);
    return result;
}

namespace {

// A held file is tried again this far apart.
constexpr DWORD kHeldFilePauseMs = 100;

// Errors of a file that another program holds open for the moment. A
// ReplaceFile that could not remove the held target reports it its own way.
bool fileHeld(DWORD code) {
    return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
           code == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

} // namespace

DWORD gHeldFileRetryMs = 1000;
void (*gHeldFileMet)() = nullptr;

HeldFileRetry::HeldFileRetry() : start_(GetTickCount()) {}

bool HeldFileRetry::timeLeft() const {
    return GetTickCount() - start_ < gHeldFileRetryMs;
}

bool HeldFileRetry::again(DWORD code) {
    if (!fileHeld(code) || !timeLeft()) {
        return false;
    }
    if (gHeldFileMet != nullptr) {
        gHeldFileMet();
    }
    Sleep(kHeldFilePauseMs);
    return true;
}

HANDLE openServiceFile(const char* path, DWORD access, DWORD shareMode, DWORD disposition, DWORD attributes) {
    HeldFileRetry retry;
    for (;;) {
        HANDLE file = createFile(path, access, shareMode, nullptr, disposition, attributes, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return file;
        }
        DWORD code = GetLastError();
        if (!retry.again(code)) {
            SetLastError(code);
            return INVALID_HANDLE_VALUE;
        }
    }
}

bool moveServiceFile(const char* source, const char* target, DWORD flags) {
    HeldFileRetry retry;
    for (;;) {
        if (moveFile(source, target, flags)) {
            return true;
        }
        DWORD code = GetLastError();
        if (!retry.again(code)) {
            SetLastError(code);
            return false;
        }
    }
}

FileReadResult readFileImage(const char* path, DWORD shareMode, FileImage& image) {
    UniqueHandle file(openServiceFile(path, GENERIC_READ, shareMode, OPEN_EXISTING));
    if (!file) {
        FileReadResult result;
        result.failedStep = FileReadStep::Open;
        result.code = GetLastError();
        image.block.reset();
        image.size = 0;
        return result;
    }
    return readFileImage(file.get(), image);
}

namespace {

// Attributes of a replaced file that its new content keeps. Read-only is not
// among them (such a target refuses the replacement), nor is the archive
// mark, which the new content sets again for backup programs.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool fileExists(const char* path) {
    return fileAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

DWORD ReplacementFile::create(const char* target, DWORD shareMode) {
    discard();
    error_ = 0;
    used_ = 0;
    target_[0] = '\0';
    // An empty name (a path that did not fit) must not become ".tmp" in
    // the current folder.
    if (target[0] == '\0') {
        return ERROR_INVALID_NAME;
    }
    // ReplaceFile wants full paths (Wine refuses relative ones).
    DWORD length = fullPathName(target, sizeof target_, target_);
    if (length == 0) {
        return GetLastError();
    }
    if (length >= sizeof target_) {
        target_[0] = '\0';
        return ERROR_FILENAME_EXCED_RANGE;
    }
    formatText(temp_, sizeof temp_, "%s%s", target_, kTempSuffix);
    // The temporary file carries the target's attributes from the start: the
    // replacement then keeps them wherever ReplaceFile does not merge them.
    // One left behind by an interrupted rewrite goes first, as its own
    // attributes could refuse the creation.
    DWORD existing = fileAttributes(target_);
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (existing & kKeptAttributes) != 0) {
        attributes = existing & kKeptAttributes;
    }
    deleteFile(temp_);
    file_.reset(openServiceFile(temp_, GENERIC_WRITE, shareMode, CREATE_ALWAYS, attributes));
    if (!file_) {
        return GetLastError();
    }
    created_ = true;
    return 0;
}

void ReplacementFile::fail(DWORD code) {
    if (error_ == 0) {
        error_ = code != 0 ? code : ERROR_WRITE_FAULT;
    }
}

bool ReplacementFile::flushBuffer() {
    if (error_ != 0) {
        return false;
    }
    DWORD written = 0;
    if (used_ > 0 &&
        (!WriteFile(file_.get(), buffer_, static_cast<DWORD>(used_), &written, nullptr) || written != used_)) {
        fail(GetLastError());
        return false;
    }
    used_ = 0;
    return true;
}

bool ReplacementFile::write(const void* data, size_t size) {
    if (error_ != 0 || !file_) {
        fail(ERROR_INVALID_HANDLE);
        return false;
    }
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        if (used_ == sizeof buffer_ && !flushBuffer()) {
            return false;
        }
        size_t n = sizeof buffer_ - used_;
        if (n > size) {
            n = size;
        }
        memcpy(buffer_ + used_, bytes, n);
        used_ += n;
        bytes += n;
        size -= n;
    }
    return true;
}

// Puts the written temporary file in the target's place. Returns 0 or the
// system error code of the last attempt.
DWORD ReplacementFile::moveIntoPlace() {
    HeldFileRetry retry;
    for (;;) {
        DWORD code = 0;
        if (!fileExists(target_)) {
            if (moveFile(temp_, target_, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                return 0;
            }
            code = GetLastError();
        } else if (replaceFile(target_, temp_, REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS)) {
            return 0;
        } else {
            code = GetLastError();
            // The target went meanwhile, or ReplaceFile removed it and could
            // not move the new file in (ERROR_UNABLE_TO_MOVE_REPLACEMENT):
            // the next attempt moves the temporary file.
            if (!fileExists(target_) && retry.timeLeft()) {
                continue;
            }
        }
        if (!retry.again(code)) {
            return code;
        }
    }
}

DWORD ReplacementFile::commit() {
    if (!file_) {
        fail(ERROR_INVALID_HANDLE);
    } else if (flushBuffer() && !FlushFileBuffers(file_.get())) {
        fail(GetLastError());
    }
    file_.reset();
    if (error_ == 0) {
        DWORD code = moveIntoPlace();
        if (code != 0) {
            fail(code);
            if (!fileExists(target_)) {
                created_ = false; // the only copy of the content left
            }
        }
    }
    if (error_ != 0) {
        discard();
        return error_;
    }
    created_ = false;
    return 0;
}

void ReplacementFile::removeLeftover(const char* target) {
    char temp[kFilePathCapacity + sizeof kTempSuffix];
    formatText(temp, sizeof temp, "%s%s", target, kTempSuffix);
    deleteFile(temp);
}

void ReplacementFile::discard() {
    file_.reset();
    if (created_) {
        deleteFile(temp_);
        created_ = false;
    }
}
