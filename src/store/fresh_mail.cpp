#include "store/fresh_mail.h"

#include "base/event_log.h"
#include "base/file_io.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/service_paths.h"
#include "store/mail_lists.h"
#include "core/program_names.h"

#include <windows.h>

namespace {

constexpr char kNewMailMerged[] = "Слили файлы новых писем";
constexpr char kNewMailNotMerged[] = "Слить файлы новых писем не удалось";
constexpr char kArchiveMerged[] = "Слили файлы новых писем с Архивом";
constexpr char kArchiveNotMerged[] = "Слить файлы новых писем с Архивом не удалось";

void logNothingMerged() {
    writeLog(kNewMailNotMerged);
    writeLog(kArchiveNotMerged);
}

// Removes the file behind the open handle when the handle closes.
bool deleteOnClose(HANDLE file) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

} // namespace

void mergeFreshMail() {
    ServicePath freshPath(kFreshMailFile), newMailPath(kNewMailFile), archivePath(kArchiveFile);
    // GetMail.txt stays open without sharing from its reading to its removal:
    // a poll thread that wants to append meanwhile fails once its retry of a
    // held file is spent, and keeps its mails for its next run, instead of
    // appending to a file about to go.
    UniqueHandle fresh(openServiceFile(freshPath.text, GENERIC_READ | DELETE, 0, OPEN_EXISTING));
    if (!fresh) {
        DWORD error = GetLastError();
        // No GetMail.txt is the ordinary case of a start without new mail.
        if (error != ERROR_FILE_NOT_FOUND) {
            SystemError failure(error);
            writeLogf("Затрудняюсь открыть файл %s\r\nОшибка %u: %s", freshPath.text, failure.code, failure.text);
        }
        logNothingMerged();
        return;
    }
    FileImage image;
    FileReadResult read = readFileImage(fresh.get(), image);
    if (!read.ok()) {
        SystemError failure(read.code);
        writeLogf("Затрудняюсь прочитать файл %s\r\nОшибка %u: %s", freshPath.text, failure.code, failure.text);
        logNothingMerged();
        return;
    }
    if (image.size == 0) {
        deleteOnClose(fresh.get());
        logNothingMerged();
        return;
    }
    MailFileAppend newMailMerge;
    bool merged = appendMailText(newMailPath.text, image.text(), image.size, &newMailMerge);
    writeLog(merged ? kNewMailMerged : kNewMailNotMerged);
    bool archived = appendMailText(archivePath.text, image.text(), image.size);
    writeLog(archived ? kArchiveMerged : kArchiveNotMerged);
    if (archived) {
        if (!deleteOnClose(fresh.get())) {
            // The records stay in GetMail.txt and would come a second time.
            SystemError failure(GetLastError());
            writeLogf("Затрудняюсь удалить файл %s. Ошибка %u: %s", freshPath.text, failure.code, failure.text);
        }
        return;
    }
    // The archive is the lasting copy: without it the records must not go,
    // and they stay in GetMail.txt for the next merge. That merge appends
    // them to Mail.txt again, so this one is taken back.
    if (merged && undoMailFileAppend(newMailPath.text, freshPath.text, newMailMerge)) {
        writeLog("Слияние файлов новых писем отменено");
    }
}
