#include "base/file_io.h"

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

FileReadResult readFileImage(const char* path, DWORD shareMode, FileImage& image) {
    UniqueHandle file(
        CreateFileA(path, GENERIC_READ, shareMode, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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

DWORD ReplacementFile::create(const char* target, DWORD shareMode) {
    discard();
    error_ = 0;
    used_ = 0;
    size_t length = strlen(target);
    // An empty name (a path that did not fit) must not become ".tmp" in
    // the current folder.
    if (length == 0) {
        return ERROR_INVALID_NAME;
    }
    if (length >= sizeof target_) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    copyText(target_, sizeof target_, target);
    formatText(temp_, sizeof temp_, "%s.tmp", target);
    file_.reset(CreateFileA(temp_, GENERIC_WRITE, shareMode, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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

DWORD ReplacementFile::commit() {
    if (!file_) {
        fail(ERROR_INVALID_HANDLE);
    } else if (flushBuffer() && !FlushFileBuffers(file_.get())) {
        fail(GetLastError());
    }
    file_.reset();
    if (error_ == 0 && !MoveFileExA(temp_, target_, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        fail(GetLastError());
    }
    if (error_ != 0) {
        discard();
        return error_;
    }
    created_ = false;
    return 0;
}

void ReplacementFile::discard() {
    file_.reset();
    if (created_) {
        DeleteFileA(temp_);
        created_ = false;
    }
}
