#include "store/mail_lists.h"
#include "base/file_names.h"

#include "core/agent_state.h"
#include "core/service_paths.h"
#include "base/event_log.h"
#include "base/text.h"
#include "base/win_util.h"
#include "base/file_io.h"
#include "store/line_reader.h"
#include "store/mail_date.h"
#include "store/mail_line.h"
#include "store/mail_order.h"
#include "store/pending_deletions.h"
#include "core/program_names.h"

#include <cstring>

MailList NewMailDim;
MailList MailDim;
MailListFlags gMailListFlags;

namespace {

// What differs between loading Mail.txt and HistMail.txt.
struct MailFile {
    const char* name;
    bool archive;           // HistMail.txt: raises highestMailNumber
    const char* groupOwner; // whose mailboxes, in the log text of a failed group array
};

constexpr MailFile kNewMailList = {kNewMailFile, false, "новых писем"};
constexpr MailFile kArchiveList = {kArchiveFile, true, "Архива"};

void raiseHighestMailNumber(uint64_t number) {
    uint64_t current = gAgent.highestMailNumber.load();
    while (number > current && !gAgent.highestMailNumber.compare_exchange_weak(current, number)) {
    }
}

// Reads a whole mail file. False when the file gave nothing to parse
// (failures are logged; an empty file is deleted).
bool readMailFile(const char* path, FileImage& image) {
    FileReadResult result = readFileImage(path, 0, image);
    SystemError failure(result.code);
    switch (result.failedStep) {
    case FileReadStep::None:
        break;
    case FileReadStep::Open:
        writeLogf("Затрудняюсь загрузить файл писем %s. Ошибка %u: %s", path, failure.code, failure.text);
        return false;
    case FileReadStep::Size:
        writeLogf("Затрудняюсь определить длину файла %s. Ошибка %u: %s", path, failure.code, failure.text);
        return false;
    case FileReadStep::Memory:
        writeLogf("Система не выделила память под буфер при загрузке писем. Ошибка %u: %s", failure.code, failure.text);
        return false;
    case FileReadStep::Read:
        writeLogf("Затрудняюсь прочитать файл писем %s. Ошибка %u: %s", path, failure.code, failure.text);
        return false;
    }
    if (image.size == 0) {
        deleteFile(path);
        return false;
    }
    return true;
}

// Takes out the entries of mails that wait in DeleteMail.txt: after an
// interrupted deletion or undo a mail stands both there and in a list, and
// the file decides. Returns the number of entries left.
int dropPendingEntries(MailEntry* array, int count, const PendingDeletions& pending) {
    if (!pending.any()) {
        return count;
    }
    int kept = 0;
    for (int i = 0; i < count; i++) {
        if (!pending.contains(array[i])) {
            array[kept++] = array[i];
        }
    }
    return kept;
}

// Loads one mail file into list (left absent on any failure); dropped
// counts the entries left out because their mails wait for deletion.
void loadMailFile(const MailFile& which, const PendingDeletions& pending, MailList& list, int& dropped) {
    ServicePath filePath(which.name);
    const char* path = filePath.text;
    FileImage image;
    if (!readMailFile(path, image)) {
        return;
    }
    size_t size = image.size;
    size_t lines = countLines(image.text(), size);
    if (lines == 0) {
        return; // only an unfinished line: nothing to show, the file stays
    }
    VirtualBlock records;
    if (lines > static_cast<size_t>(INT32_MAX) || !records.allocate(lines * sizeof(MailEntry))) {
        DWORD code = lines > static_cast<size_t>(INT32_MAX) ? ERROR_NOT_ENOUGH_MEMORY : GetLastError();
        SystemError failure(code);
        writeLogf("Система не выделила память под массив писем. Ошибка %u: %s", failure.code, failure.text);
        return;
    }
    // The records' texts stay where they are in the file image.
    MailEntry* array = records.as<MailEntry>();
    int read = static_cast<int>(readMailEntries(image.text(), size, array, lines));
    int count = dropPendingEntries(array, read, pending);
    dropped += read - count;
    for (int i = 0; i < count; i++) {
        MailEntry& r = array[i];
        uint64_t number = 0;
        if (which.archive && parseMailNumber(r.number, number)) {
            raiseHighestMailNumber(number);
        }
    }

    VirtualBlock order;
    if (!order.allocate(static_cast<size_t>(count) * sizeof(int))) {
        SystemError failure(GetLastError());
        writeLogf("Система не выделила память под массив писем из Архива. Ошибка %u: %s", failure.code, failure.text);
        return;
    }
    int groupCount = arrangeMailRecords(array, count, order.as<int>(), gMailListFlags.groupDateAscending != 0);
    order.reset();
    VirtualBlock groups;
    if (!groups.allocate(static_cast<size_t>(groupCount) * sizeof(MailboxGroup))) {
        SystemError failure(GetLastError());
        writeLogf("Система не выделила память под массив данных о почтовых ящиках %s. Ошибка %u: %s", which.groupOwner,
                  failure.code, failure.text);
        return;
    }
    buildMailGroups(array, count, groups.as<MailboxGroup>(), groupCount);
    list.records = static_cast<MailEntry*>(records.release());
    list.count = count;
    list.groups = static_cast<MailboxGroup*>(groups.release());
    list.groupCount = groupCount;
    list.texts = static_cast<char*>(image.block.release());
    // The shown dates are made as the list shows them (entryShownDate).
    list.dateBias = mailDateBias();
}

// Writes one list as a mail file. Returns 0 or the system error code.
DWORD writeMailFile(const char* path, const MailList& list) {
    ReplacementFile file;
    DWORD error = file.create(path, 0);
    if (error != 0) {
        return error;
    }
    char line[kMailLineCapacity];
    for (int i = 0; i < list.count; i++) {
        size_t n = formatMailEntry(list.records[i], line);
        if (!file.write(line, n)) {
            break;
        }
    }
    return file.commit();
}

} // namespace

void releaseMailList(MailList& list) {
    releaseVirtualMemory(list.records);
    releaseVirtualMemory(list.groups);
    releaseVirtualMemory(list.texts);
    list = MailList();
}

bool loadMailLists() {
    releaseMailList(NewMailDim);
    releaseMailList(MailDim);
    PendingDeletions pending;
    pending.read();
    int dropped = 0;
    loadMailFile(kNewMailList, pending, NewMailDim, dropped);
    loadMailFile(kArchiveList, pending, MailDim, dropped);
    if (MailDim.count == 0) {
        gAgent.highestMailNumber = 0;
    }
    // A number never returns while its mail waits for deletion (every
    // record counts: later deletions may have appended higher numbers).
    raiseHighestMailNumber(pending.highestNumber());
    if (dropped != 0) {
        writeLogf("Письма, ожидающие удаления на сервере, убраны из списков: %d", dropped);
        saveMailLists();
    }
    return NewMailDim.count != 0 || MailDim.count != 0;
}

bool saveMailLists(bool* everyListWritten) {
    bool result = false;
    bool every = true;
    if (MailDim.records != nullptr) {
        ServicePath archive(kArchiveFile);
        const char* path = archive.text;
        DWORD error = writeMailFile(path, MailDim);
        if (error != 0) {
            SystemError failure(error);
            writeLogf("Затрудняюсь создать файл Архива писем %s. Ошибка %u: %s", path, failure.code, failure.text);
            every = false;
        } else {
            writeLogf("Массив MailDim из %d писем успешно сброшен в файл %s", MailDim.count, path);
            result = true;
        }
    }
    if (NewMailDim.records != nullptr) {
        ServicePath newMail(kNewMailFile);
        const char* path = newMail.text;
        DWORD error = writeMailFile(path, NewMailDim);
        if (error != 0) {
            SystemError failure(error);
            writeLogf("Затрудняюсь создать файл новых писем %s. Ошибка %u: %s", path, failure.code, failure.text);
            every = false;
        } else {
            writeLogf("Массив NewMailDim из %d писем успешно сброшен в файл %s", NewMailDim.count, path);
            result = true;
        }
    }
    if (everyListWritten != nullptr) {
        *everyListWritten = every;
    }
    return result;
}

namespace {

// Makes sure that what is appended starts on a line of its own: a target
// whose last line was cut short gets its "\r\n" first.
bool endLastLine(HANDLE target, LARGE_INTEGER end) {
    if (end.QuadPart == 0) {
        return true;
    }
    LARGE_INTEGER tail;
    tail.QuadPart = end.QuadPart >= 2 ? end.QuadPart - 2 : 0;
    char last[2] = {};
    DWORD read = 0;
    if (!SetFilePointerEx(target, tail, nullptr, FILE_BEGIN) ||
        !ReadFile(target, last, static_cast<DWORD>(end.QuadPart - tail.QuadPart), &read, nullptr) ||
        !SetFilePointerEx(target, end, nullptr, FILE_BEGIN)) {
        return false;
    }
    if (read == 0 || (read == 2 && last[0] == '\r' && last[1] == '\n')) {
        return true;
    }
    const char* missing = last[read - 1] == '\r' ? "\n" : "\r\n";
    DWORD size = static_cast<DWORD>(strlen(missing));
    DWORD written = 0;
    return WriteFile(target, missing, size, &written, nullptr) && written == size;
}

// Copies the rest of source to the end of target.
bool copyFileTail(HANDLE source, HANDLE target) {
    char block[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(source, block, sizeof block, &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            return true;
        }
        DWORD written = 0;
        if (!WriteFile(target, block, read, &written, nullptr)) {
            return false;
        }
        if (written != read) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
    }
}

// Writes text after the end of target, its last line ended first. On a
// failure the target is cut back to its old length and false returned, the
// system error code in GetLastError.
bool appendBytes(HANDLE target, LARGE_INTEGER end, const char* text, size_t size) {
    if (!endLastLine(target, end)) {
        return false;
    }
    while (size > 0) {
        DWORD chunk = size > 1024 * 1024 ? 1024 * 1024 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(target, text, chunk, &written, nullptr) || written != chunk) {
            DWORD error = written != chunk && GetLastError() == 0 ? ERROR_WRITE_FAULT : GetLastError();
            SetFilePointerEx(target, end, nullptr, FILE_BEGIN);
            SetEndOfFile(target);
            SetLastError(error);
            return false;
        }
        text += chunk;
        size -= chunk;
    }
    return true;
}

} // namespace

bool appendMailText(const char* target, const char* text, size_t size, MailFileAppend* undo) {
    MailFileAppend done;
    UniqueHandle out(openServiceFile(target, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS));
    DWORD opened = GetLastError(); // ERROR_ALREADY_EXISTS when the target was there
    LARGE_INTEGER end = {};
    LARGE_INTEGER zero = {};
    if (!out || !SetFilePointerEx(out.get(), zero, &end, FILE_END)) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь открыть файл %s Ошибка %u: %s", target, failure.code, failure.text);
        return false;
    }
    done.created = opened != ERROR_ALREADY_EXISTS;
    if (!appendBytes(out.get(), end, text, size)) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь дописать файл %s\r\nОшибка %u: %s", target, failure.code, failure.text);
        return false;
    }
    done.oldLength = end.QuadPart;
    if (undo != nullptr) {
        *undo = done;
    }
    return true;
}

namespace {

enum class MergeTarget { Opened, Renamed, Failed };

// Opens the merge's target for reading and writing, creating it. When that
// fails because it is not found, the source becomes the target by a rename.
MergeTarget openMergeTarget(const char* target, const char* source, UniqueHandle& out, MailFileAppend& done) {
    out.reset(openServiceFile(target, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS));
    DWORD opened = GetLastError(); // ERROR_ALREADY_EXISTS when the target was there
    if (out) {
        done.created = opened != ERROR_ALREADY_EXISTS;
        return MergeTarget::Opened;
    }
    if (opened == ERROR_FILE_NOT_FOUND) {
        if (moveServiceFile(source, target, 0)) {
            done.renamed = true;
            return MergeTarget::Renamed;
        }
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь переименовать файл %s Ошибка %u: %s", source, failure.code, failure.text);
        return MergeTarget::Failed;
    }
    SystemError failure(opened);
    writeLogf("Затрудняюсь открыть файл %s Ошибка %u: %s", target, failure.code, failure.text);
    return MergeTarget::Failed;
}

// Opens the merge's source and measures it. False, logged, on a failure.
bool openMergeSource(const char* source, UniqueHandle& in, LARGE_INTEGER& size) {
    in.reset(openServiceFile(source, GENERIC_READ, 0, OPEN_EXISTING));
    if (!in) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь открыть файл %s\r\nОшибка %u: %s", source, failure.code, failure.text);
        return false;
    }
    if (!GetFileSizeEx(in.get(), &size)) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь определить длину файла %s\r\nОшибка %u: %s", source, failure.code, failure.text);
        return false;
    }
    return true;
}

// Appends the source to the end of the opened target; done.oldLength gets
// the target's length before. An empty source is deleted (result false).
bool appendSourceTo(const char* target, const char* source, UniqueHandle& out, MailFileAppend& done) {
    LARGE_INTEGER end = {};
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(out.get(), zero, &end, FILE_END)) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь открыть файл %s Ошибка %u: %s", target, failure.code, failure.text);
        return false;
    }
    UniqueHandle in;
    LARGE_INTEGER size = {};
    if (!openMergeSource(source, in, size)) {
        return false;
    }
    if (size.QuadPart == 0) {
        in.reset();
        out.reset();
        deleteFile(source);
        return false;
    }
    if (!endLastLine(out.get(), end) || !copyFileTail(in.get(), out.get())) {
        // Nothing half-appended stays behind: the target is cut back to its
        // old length, so the source can be merged again later.
        DWORD error = GetLastError();
        SetFilePointerEx(out.get(), end, nullptr, FILE_BEGIN);
        SetEndOfFile(out.get());
        SystemError failure(error);
        writeLogf("Затрудняюсь дописать файл %s\r\nОшибка %u: %s", target, failure.code, failure.text);
        return false;
    }
    done.oldLength = end.QuadPart;
    return true;
}

} // namespace

bool appendMailFile(const char* target, const char* source, MailFileAppend* undo) {
    MailFileAppend done;
    UniqueHandle out;
    switch (openMergeTarget(target, source, out, done)) {
    case MergeTarget::Failed:
        return false;
    case MergeTarget::Renamed:
        break;
    case MergeTarget::Opened:
        if (!appendSourceTo(target, source, out, done)) {
            return false;
        }
        break;
    }
    if (undo != nullptr) {
        *undo = done;
    }
    return true;
}

bool undoMailFileAppend(const char* target, const char* source, const MailFileAppend& undo) {
    if (undo.renamed) {
        if (moveServiceFile(target, source, 0)) {
            return true;
        }
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь переименовать файл %s Ошибка %u: %s", target, failure.code, failure.text);
        return false;
    }
    if (undo.created && deleteFile(target)) {
        return true;
    }
    UniqueHandle file(openServiceFile(target, GENERIC_WRITE, 0, OPEN_EXISTING));
    LARGE_INTEGER end;
    end.QuadPart = undo.oldLength;
    if (!file || !SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get())) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь вернуть файл %s к прежней длине\r\nОшибка %u: %s", target, failure.code, failure.text);
        return false;
    }
    return true;
}
