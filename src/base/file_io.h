// File and memory helpers of the mail and account files.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/path.h"
#include "base/win_handles.h"

// A block of the system's virtual memory (file images, record arrays),
// released when its owner goes unless release() handed it on.
class VirtualBlock {
public:
    VirtualBlock() = default;
    ~VirtualBlock() { reset(); }
    VirtualBlock(const VirtualBlock&) = delete;
    VirtualBlock& operator=(const VirtualBlock&) = delete;

    // Commits size bytes of zeroed memory; false (with the system error
    // code in GetLastError) when the system has none.
    bool allocate(size_t size);
    void reset();
    void* release();

    char* bytes() const { return static_cast<char*>(memory_); }
    template <typename T>
    T* as() const {
        return static_cast<T*>(memory_);
    }

private:
    void* memory_ = nullptr;
};

// Releases memory that a VirtualBlock handed on (null is allowed).
void releaseVirtualMemory(void* memory);

// Reads up to size bytes from the file's position into buffer; got is what
// was read (less when the file shrank meanwhile). False on a read failure,
// with the code in GetLastError.
bool readFileBytes(HANDLE file, char* buffer, uint64_t size, uint64_t& got);

// A whole file in memory, terminated by a NUL byte.
struct FileImage {
    VirtualBlock block; // none for an empty file
    size_t size = 0;
    char* text() const { return block.bytes(); }
};

// The step at which reading a whole file failed, and the system error code.
enum class FileReadStep { None, Open, Size, Memory, Read };
struct FileReadResult {
    FileReadStep failedStep = FileReadStep::None;
    DWORD code = 0;
    bool ok() const { return failedStep == FileReadStep::None; }
};

// Reads an open file whole, from its start. A file that shrank meanwhile
// gives what it still holds; an empty file gives size 0 and no block.
FileReadResult readFileImage(HANDLE file, FileImage& image);

// Opens an existing file for reading with the given sharing and reads it
// whole; the file is closed again before the result comes back.
FileReadResult readFileImage(const char* path, DWORD shareMode, FileImage& image);

// Virus scanners, indexers and sync clients hold a freshly written file for a
// moment. Every open, rename and replacement of a service file goes through
// HeldFileRetry: an attempt that failed because another program holds the
// file (access denied, sharing or lock violation) is made again after a
// pause, until about a second has passed. Other failures (no such file or
// folder, a full disk) are reported at once.
extern DWORD gHeldFileRetryMs; // the whole budget; the Windows tests shorten it
// Called each time an attempt met a held file, before its pause (the tests
// release the file they hold then). Null in the program.
extern void (*gHeldFileMet)();

class HeldFileRetry {
public:
    HeldFileRetry();
    // After a failed attempt with the given error code: pauses and returns
    // true when the attempt is worth making again.
    bool again(DWORD code);
    // Whether the budget still has time in it.
    bool timeLeft() const;

private:
    DWORD start_;
};

// CreateFileA with the retry of a held file. GetLastError afterwards is the
// last attempt's (ERROR_ALREADY_EXISTS for an opened OPEN_ALWAYS file).
HANDLE openServiceFile(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                       DWORD attributes = FILE_ATTRIBUTE_NORMAL);
// MoveFileExA with the retry of a held file.
bool moveServiceFile(const char* source, const char* target, DWORD flags);

// The new content of a file, written to "<target>.tmp" beside it and put in
// the target's place only when every byte was written and flushed. An
// existing target is replaced with ReplaceFileA, which keeps its security
// descriptor and attributes; a target held open by another program for a
// moment (a virus scanner, a backup tool) is tried again as HeldFileRetry does.
// Whatever fails, the old target stays whole and the temporary file is
// removed; only when no target is left at all does the temporary file, the
// one copy of the content, stay.
class ReplacementFile {
public:
    ReplacementFile() = default;
    ~ReplacementFile() { discard(); }
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file (write access, the given sharing). Returns
    // 0 or the system error code.
    DWORD create(const char* target, DWORD shareMode);
    // Buffered write; false once anything has failed.
    bool write(const void* data, size_t size);
    // Writes the rest, closes the file and replaces the target. Returns 0 or
    // the system error code of the first failure.
    DWORD commit();

    // Deletes the temporary file of target that a process ended in the middle
    // of a rewrite left behind.
    static void removeLeftover(const char* target);

private:
    bool flushBuffer();
    DWORD moveIntoPlace();
    void fail(DWORD code);
    void discard();

    char target_[kFilePathCapacity] = {};
    static constexpr char kTempSuffix[] = ".tmp";
    char temp_[kFilePathCapacity + sizeof kTempSuffix] = {};
    UniqueHandle file_;
    bool created_ = false;
    DWORD error_ = 0;
    size_t used_ = 0;
    char buffer_[64 * 1024];
};
