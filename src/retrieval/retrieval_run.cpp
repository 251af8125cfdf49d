#include "retrieval/retrieval_run.h"
#include "base/file_names.h"

#include "core/agent_state.h"
#include "core/service_paths.h"
#include "base/event_log.h"
#include "base/text.h"
#include "base/win_util.h"
#include "retrieval/header_processing.h"
#include "retrieval/pop3_connection.h"
#include "retrieval/pop3_session.h"
#include "retrieval/retrieval_state.h"
#include "store/account_file.h"
#include "store/account_line.h"
#include "store/account_list.h"
#include "store/deletion_file.h"
#include "base/file_io.h"
#include "store/line_reader.h"
#include "store/mail_line.h"
#include "core/program_names.h"

#include <string>
#include <vector>

namespace {

constexpr size_t kSmallestDeletionFile = 10;

// The address and the password of a test as the log shows them.
std::string loggableTestParams(const char* params) {
    std::string text = params;
    size_t semicolon = text.find(';');
    if (semicolon != std::string::npos) {
        text.replace(semicolon + 1, std::string::npos, "********");
    }
    return text;
}

void runTest() {
    gAgent.testFlag = 0;
    writeLogf("Тестовый запрос почтового ящика %s", loggableTestParams(gAgent.testParams).c_str());
    int mode = gAgent.testClearText ? kSessionTestInClear : kSessionTest;
    int passed = runPop3Session(mode, gAgent.testParams, sizeof gAgent.testParams);
    gAgent.testFlag = passed;
    if (passed == kTestWantsClearText) {
        writeLogf("Тестирование остановлено перед входом (%s): сервер не предлагает защищенное соединение",
                  gAgent.testParams);
    } else if (passed != 0) {
        writeLogf("Успех тестирования при параметрах - %s", gAgent.testParams);
    } else {
        writeLogf("Провал тестирования. Ошибка - %s", gAgent.testParams);
    }
}

// What the viewer appended to DeleteMail.txt after the run read it.
std::vector<char> textAppendedSince(HANDLE file, LONGLONG loadedSize) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= loadedSize) {
        return {};
    }
    LONGLONG tail = size.QuadPart - loadedSize;
    if (tail > 64LL * 1024 * 1024) {
        return {};
    }
    std::vector<char> text(static_cast<size_t>(tail));
    LARGE_INTEGER at = {};
    at.QuadPart = loadedSize;
    uint64_t got = 0;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ||
        !readFileBytes(file, text.data(), static_cast<uint64_t>(tail), got)) {
        return {};
    }
    text.resize(static_cast<size_t>(got));
    return text;
}

// Adds the records of the complete lines of text to records; they point
// into text.
void appendRecords(std::vector<char>& text, std::vector<MailEntry>& records) {
    std::vector<MailEntry> added(countLines(text.data(), text.size()));
    readMailEntries(text.data(), text.size(), added.data(), added.size());
    records.insert(records.end(), added.begin(), added.end());
}

// After the sessions: the records left to delete go back to the file, or the
// file goes. Records the viewer added meanwhile are kept either way.
void writeBackDeletions() {
    ServicePath path(kDeletionFile);
    if (!gRetrieval.deletionListLoaded) {
        writeLog("Писем к удалению не было");
        return;
    }
    // The viewer appends under the same lock: nothing slips in between
    // reading the additions and replacing the file.
    ExclusiveLock lock(deletionFileLock());
    std::vector<MailEntry> records = gRetrieval.remainingDeletions();
    std::vector<char> added;
    {
        UniqueHandle file(createFile(path.text, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            added = textAppendedSince(file.get(), gRetrieval.deletionFileSize);
            appendRecords(added, records);
        }
    }
    if (records.empty()) {
        writeLogf("Удаляем файл писем к удалению %s", path.text);
        deleteFile(path.text);
        return;
    }
    writeLogf("Остались не удаленными %d писем. Скинем их обратно в файл %s", static_cast<int>(records.size()),
              path.text);
    ReplacementFile out;
    DWORD error = out.create(path.text, FILE_SHARE_READ | FILE_SHARE_WRITE);
    char line[kMailLineCapacity];
    for (MailEntry& record : records) {
        if (error != 0) {
            break;
        }
        record.deletion = 0;
        size_t n = formatMailEntry(record, line);
        out.write(line, n);
    }
    if (error == 0) {
        error = out.commit();
    }
    if (error != 0) {
        SystemError failure(error);
        writeLogf("Затрудняюсь создать файл %s. Ошибка %u: %s", path.text, failure.code, failure.text);
    }
}

// A test of crash safety stops the run here, between the writes of
// GetMail.txt and IdMail.txt, and kills the process: before it starts the
// agent it creates the event named after the service folder; the run signals
// it and stops for good. Nothing else creates such an event, so for everyone
// else the run goes straight on.
void stopHereForCrashTest() {
    InstallationName name("KorvelCrashTest_");
    UniqueHandle event(OpenEventA(EVENT_MODIFY_STATE, FALSE, name.text));
    if (!event) {
        return;
    }
    SetEvent(event.get());
    event.reset();
    Sleep(INFINITE);
}

// The mails to delete, read under the viewer's lock: the run never reads a
// request half written.
void loadDeletions() {
    ServicePath deletions(kDeletionFile);
    writeLogf("Загрузка писем к удалению из файла %s", deletions.text);
    ExclusiveLock lock(deletionFileLock());
    UniqueHandle deletionFile(createFile(deletions.text, GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (deletionFile) {
        gRetrieval.deletionListLoaded = loadDeletionList(deletionFile.get()) > 0;
    }
}

// One session per mailbox that is not paused, in file order.
void receiveEveryMailbox(HANDLE headerFile) {
    for (int i = 0; i < accountList.count(); i++) {
        const AccountEntry& entry = accountList[i];
        if (entry.state == 'P') {
            continue;
        }
        if (pop3Cancelled()) {
            gRetrieval.markWalkIncomplete(nullptr);
            break;
        }
        char line[kAccountLineCapacity];
        formatAccountLine(entry, line);
        runPop3Session(kSessionReception, line, sizeof line, headerFile);
    }
}

// The sessions over the open header file, then the files they leave: the
// deletions left, the new records, the identifiers seen. Returns the number
// of records appended to GetMail.txt.
int receiveInto(UniqueHandle headerFile) {
    gRetrieval.clear();
    loadDeletions();
    ServicePath ids(kKnownIdsFile);
    writeLogf("Загрузка Идентификаторов ранее принятых писем из файла %s", ids.text);
    loadKnownIds(ids.text);
    receiveEveryMailbox(headerFile.get());
    writeBackDeletions();

    // The new records reach GetMail.txt (on disk) before IdMail.txt calls
    // their mails known. When they could not be written the old IdMail.txt
    // stays, and the next run offers those mails again.
    writeLog("Обработка заголовков");
    bool allWritten = false;
    int received = processHeaders(std::move(headerFile), &allWritten);
    stopHereForCrashTest();
    if (allWritten) {
        writeLogf("Сохраняем новые идентификаторы писем %s", ids.text);
        saveSeenIds(ids.text);
    } else {
        writeLog("Новые идентификаторы писем не сохранены: письма будут приняты заново");
    }
    gRetrieval.clearIds();
    return received;
}

void runReception() {
    gAgent.testFlag = 0;
    writeLog("Запрос приема писем...\r\n");
    gAgent.runNewMailCount = 0;
    int received = 0;

    ServicePath mailboxes(kMailBoxFile);
    writeLogf("Загрузка почтовых ящиков из файла %s", mailboxes.text);
    AccountFileError error;
    bool read = readAccountFile(mailboxes.text, error);
    if (error.any()) {
        writeLog(error.text);
    }
    if (read) {
        ServicePath headers(kHeaderFile);
        writeLogf("Создание временного файла заголовков %s", headers.text);
        UniqueHandle headerFile(createFile(headers.text, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (headerFile) {
            received = receiveInto(std::move(headerFile));
        } else {
            SystemError failure(GetLastError());
            writeLogf("Затрудняюсь открыть файл %s\r\nОшибка %u: %s", headers.text, failure.code, failure.text);
        }
    }
    gAgent.runNewMailCount += received;
    writeLogf("Обработка заголовков заверешена. Принято писем %d", static_cast<int>(gAgent.runNewMailCount));
}

} // namespace

int loadDeletionList(HANDLE file) {
    writeLog("Выполняем загрузку в вектор писем на удаление");
    gRetrieval.deletionFileSize = 0;
    FileImage image;
    FileReadResult result = readFileImage(file, image);
    SystemError failure(result.code);
    if (result.failedStep == FileReadStep::Memory) {
        writeLogf("Система не выделила память под буфер при загрузке писем на удаление. Ошибка %u: %s", failure.code,
                  failure.text);
        return 0;
    }
    if (result.failedStep == FileReadStep::Read) {
        writeLogf("Затрудняюсь прочитать файл писем на удаление. Ошибка %u: %s", failure.code, failure.text);
        return 0;
    }
    if (!result.ok() || image.size < kSmallestDeletionFile) {
        return 0;
    }
    gRetrieval.deletionFileSize = static_cast<LONGLONG>(image.size);
    gRetrieval.setDeletionList(image.text(), image.size);
    int count = static_cast<int>(gRetrieval.loadedDeletionCount());
    writeLogf("Загружено писем к удалению %d", count);
    return count;
}

void loadKnownIds(const char* path) {
    FileImage image;
    FileReadResult result = readFileImage(path, FILE_SHARE_READ | FILE_SHARE_WRITE, image);
    SystemError failure(result.code);
    switch (result.failedStep) {
    case FileReadStep::None:
        break;
    case FileReadStep::Open:
        writeLogf("Затрудняюсь открыть файл %s\r\nОшибка %u: %s", path, failure.code, failure.text);
        return;
    case FileReadStep::Size:
        writeLogf("Затрудняюсь определить длину файла %s\r\n Ошибка %u: %s", path, failure.code, failure.text);
        return;
    case FileReadStep::Memory:
        writeLogf("Система не выделила память под буфер\r\nОшибка %u: %s", failure.code, failure.text);
        return;
    case FileReadStep::Read:
        writeLogf("Затрудняюсь прочитать файл %s\r\nОшибка %u: %s", path, failure.code, failure.text);
        return;
    }
    std::vector<MailId> ids;
    LineReader lines(image.text(), image.size);
    const char* line = nullptr;
    size_t length = 0;
    while (image.size > 0 && lines.next(line, length)) {
        MailId id;
        copyTextN(id.text, sizeof id.text, line, length);
        ids.push_back(id);
    }
    gRetrieval.setKnownIds(std::move(ids));
}

void saveSeenIds(const char* path) {
    ReplacementFile out;
    DWORD error = out.create(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (error == 0) {
        for (const MailId& id : gRetrieval.idsToSave()) {
            out.write(id.text, strlen(id.text));
            out.write("\r\n", 2);
        }
        error = out.commit();
    }
    if (error != 0) {
        SystemError failure(error);
        writeLogf("Затрудняюсь создать файл %sОшибка %u: %s", path, failure.code, failure.text);
    }
}

void retrievalRun() {
    int mode = gAgent.pollMode;
    if (mode == 0) {
        runTest();
    } else if (mode == 1) {
        runReception();
    } else {
        gAgent.testFlag = 0;
    }
}
