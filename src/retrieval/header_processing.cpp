#include "retrieval/header_processing.h"

#include "core/agent_state.h"
#include "core/service_paths.h"
#include "base/event_log.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "retrieval/encoded_word.h"
#include "retrieval/header_blocks.h"
#include "retrieval/header_windows.h"
#include "retrieval/system_charsets.h"
#include "base/file_io.h"
#include "core/program_names.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

// Record lines gathered and written to GetMail.txt in large pieces. A piece
// that cannot be written whole is cut off the file again, so the file never
// ends in a partial line that a later merge would run into the next one.
class RecordOutput {
public:
    RecordOutput(HANDLE file, const char* path) : file_(file), path_(path) {}

    // Adds one line; false when the file could not take the lines before it.
    bool add(const char* line, size_t length) {
        if (used_ + length > sizeof buffer_ && !flush()) {
            return false;
        }
        memcpy(buffer_ + used_, line, length);
        used_ += length;
        pending_++;
        return true;
    }

    bool flush() {
        if (used_ == 0) {
            return true;
        }
        LARGE_INTEGER zero = {};
        LARGE_INTEGER before = {};
        DWORD written = 0;
        bool ok = SetFilePointerEx(file_, zero, &before, FILE_CURRENT) &&
                  WriteFile(file_, buffer_, static_cast<DWORD>(used_), &written, nullptr) && written == used_;
        if (!ok) {
            DWORD code = GetLastError();
            SystemError failure(code);
            writeLogf("Затрудняюсь записать файл %s\r\nОшибка %u: %s", path_, failure.code, failure.text);
            if (SetFilePointerEx(file_, before, nullptr, FILE_BEGIN)) {
                SetEndOfFile(file_);
            }
            used_ = 0;
            pending_ = 0;
            failed_ = true;
            return false;
        }
        written_ += pending_;
        used_ = 0;
        pending_ = 0;
        return true;
    }

    bool failed() const { return failed_; }
    int written() const { return written_; }

private:
    HANDLE file_;
    const char* path_;
    char buffer_[64 * 1024];
    size_t used_ = 0;
    int pending_ = 0;
    int written_ = 0;
    bool failed_ = false;
};

// Logs a Date value that was not recognised, as it came from the header.
void logUnrecognisedDate(const TextSpan& date) {
    char value[kHeaderWorkCapacity];
    copyTextN(value, sizeof value, date.data, date.length);
    writeLogf("Строка даты нераспознана: %s", value);
}

// Appends the record line of every block of the header file's windows
// (the first one, text, in hand) to the open GetMail.txt and flushes it to
// disk; complete tells whether all of them are there. Returns the number of
// lines appended.
int appendRecords(HeaderWindows& windows, const char* text, size_t length, HANDLE mailFile, const char* mailPath,
                  bool& complete) {
    std::unique_ptr<RecordOutput> output(new (std::nothrow) RecordOutput(mailFile, mailPath));
    std::unique_ptr<RecordLine> record(new (std::nothrow) RecordLine);
    if (!output || !record) {
        SystemError failure(ERROR_NOT_ENOUGH_MEMORY);
        writeLogf("Система не выделила память под буфер\r\nОшибка %u: %s", failure.code, failure.text);
        return 0;
    }
    bool stopped = false;
    do {
        size_t position = 0;
        HeaderBlock block;
        while (!stopped && nextHeaderBlock(text, length, &position, &block)) {
            uint64_t number = ++gAgent.highestMailNumber;
            formatHeaderRecord(block, number, &systemCodePageConverter(), record.get());
            if (record->dateUnrecognised) {
                logUnrecognisedDate(block.date);
            }
            stopped = !output->add(record->text, record->length);
        }
    } while (!stopped && windows.next(text, length));
    // The records must be on the disk before IdMail.txt calls their mails
    // known: after a crash in between a mail is announced twice, never lost.
    if (output->flush() && !output->failed() && !windows.failed()) {
        if (FlushFileBuffers(mailFile)) {
            complete = true;
        } else {
            SystemError failure(GetLastError());
            writeLogf("Затрудняюсь записать файл %s\r\nОшибка %u: %s", mailPath, failure.code, failure.text);
        }
    }
    return output->written();
}

} // namespace

int processHeaders(UniqueHandle headerFile, bool* allWritten) {
    bool unused = false;
    bool& complete = allWritten != nullptr ? *allWritten : unused;
    complete = false;
    ServicePath headerFilePath(kHeaderFile);
    HeaderWindows windows(headerFile.get(), headerFilePath.text);
    const char* text = nullptr;
    size_t length = 0;
    if (!windows.open() || !windows.next(text, length)) {
        if (!windows.failed() && windows.empty()) {
            writeLogf("Файл %s пуст!", headerFilePath.text);
            complete = true;
        }
        return 0;
    }

    ServicePath mailFilePath(kFreshMailFile);
    UniqueHandle mailFile(openServiceFile(mailFilePath.text, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS));
    LARGE_INTEGER zero = {};
    if (!mailFile || !SetFilePointerEx(mailFile.get(), zero, nullptr, FILE_END)) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь открыть файл %s\r\nОшибка %u: %s", mailFilePath.text, failure.code, failure.text);
        return 0;
    }
    return appendRecords(windows, text, length, mailFile.get(), mailFilePath.text, complete);
}
