#include "telegram/telegram.h"

#include "core/agent_state.h"
#include "core/poll_notice.h"
#include "core/service_paths.h"
#include "base/event_log.h"
#include "base/internet.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "store/account_file.h"
#include "store/account_list.h"
#include "base/file_io.h"
#include "telegram/telegram_text.h"
#include "core/program_names.h"

#include <windows.h>

#include <string>

int highestMessageId = 0;

namespace {

constexpr size_t kReplyBufferSize = 1048576;

// A line of GetMess.txt goes out in one write, so that a failing disk leaves
// no head without its record.
bool writeMessageLine(HANDLE messageFile, const std::string& line) {
    DWORD written = 0;
    if (!WriteFile(messageFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size()) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь записать файл.\r\nОшибка %u: %s", failure.code, failure.text);
        return false;
    }
    return true;
}

// Appended lines start on a line of their own, even after a line that an
// earlier failure left without its end.
void startOnNewLine(HANDLE messageFile) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(messageFile, &size) || size.QuadPart == 0) {
        return;
    }
    LARGE_INTEGER last = {};
    last.QuadPart = size.QuadPart - 1;
    char c = 0;
    DWORD got = 0;
    if (SetFilePointerEx(messageFile, last, nullptr, FILE_BEGIN) && ReadFile(messageFile, &c, 1, &got, nullptr) &&
        got == 1 && c != '\n') {
        writeMessageLine(messageFile, "\r\n");
    }
    SetFilePointer(messageFile, 0, nullptr, FILE_END);
}

} // namespace

int fetchTelegrams(HANDLE messageFile, const char* alias, const char* login, const char* password) {
    writeLogf("Прием телеграмм. Логин: %s  Пароль: %s Идентификатор %d", login, "********", highestMessageId);
    VirtualBlock buffer;
    if (!buffer.allocate(kReplyBufferSize)) {
        SystemError failure(GetLastError());
        writeLogf("Система не выделила память под буфер для загрузке телеграмм. Ошибка %u: %s", failure.code,
                  failure.text);
        return 0;
    }
    InternetSession session;
    if (!session.opened()) {
        SystemError failure(session.openError());
        writeLogf("Затрудняюсь соединиться с Интернет. Ошибка %u: %s", failure.code, failure.text);
        return 0;
    }
    std::string url =
        std::string(gAgent.settings.messageServer) + "messages.txt?" + telegramQuery(login, password, highestMessageId);
    HttpResult reply = httpGet(session, url.c_str(), buffer.bytes(), kReplyBufferSize);
    if (reply.error != 0) {
        // The address names the password: the log gets asterisks instead.
        std::string shown = std::string(gAgent.settings.messageServer) + "messages.txt?" +
                            telegramQuery(login, "********", highestMessageId);
        SystemError failure(reply.error);
        writeLogf("Затрудняюсь соединиться с сервером %s\r\nОшибка %u: %s", shown.c_str(), failure.code, failure.text);
        return 0;
    }
    if (reply.size == 0) {
        writeLog("Логин/пароль неопознаны сервером.");
        return 0;
    }
    size_t size = reply.size < kReplyBufferSize ? reply.size : kReplyBufferSize - 1;
    writeLog("Принят текст сообщения:");

    std::string head = std::string(alias) + ";" + login + ";" + password + ";";
    std::vector<std::string> records = replyRecords(buffer.bytes(), size);
    for (size_t i = 1; i < records.size(); i++) {
        writeLog(records[i].c_str());
        int id = leadingNumber(records[i].c_str());
        if (id > highestMessageId) {
            highestMessageId = id;
        }
        if (!writeMessageLine(messageFile, head + storedRecord(records[i]) + "\t\r\n")) {
            return 0;
        }
        gAgent.newTelegramCount++;
    }
    if (records.size() > 1) {
        return 1;
    }
    writeLog("Нет новых сообщений для данного логина.");
    return 0;
}

namespace {

// Queries every active login of the list read, appending to messageFile; a
// login that received telegrams asks from the one after the highest next time.
void fetchForEveryLogin(HANDLE messageFile) {
    startOnNewLine(messageFile);
    for (int i = 0; i < accountList.count(); i++) {
        AccountEntry& entry = accountList[i];
        if (entry.state == 'P') {
            continue;
        }
        highestMessageId = leadingNumber(entry.extra);
        if (fetchTelegrams(messageFile, entry.alias, entry.identity, entry.password) == 1) {
            int next = highestMessageId < 2147483647 ? highestMessageId + 1 : highestMessageId;
            formatText(entry.extra, sizeof entry.extra, "%d", next);
        }
    }
}

} // namespace

void telegramRun() {
    writeLog("Запрос приема сообщений...\r\n");
    gAgent.newTelegramCount = 0;
    ServicePath accountsPath(kTelegramBoxFile);
    const char* accounts = accountsPath.text;
    AccountFileError error;
    bool read = readAccountFile(accounts, error);
    if (error.any()) {
        writeLog(error.text);
    }
    if (read) {
        ServicePath messages(kFreshTelegramFile);
        const char* path = messages.text;
        UniqueHandle messageFile(openServiceFile(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS));
        if (!messageFile) {
            SystemError failure(GetLastError());
            writeLogf("Затрудняюсь открыть файл %s\r\nОшибка %u: %s", path, failure.code, failure.text);
        } else {
            fetchForEveryLogin(messageFile.get());
            messageFile.reset();
            // The user is told through the agent window: this thread calls
            // no window.
            if (!writeAccountFile(accounts, error)) {
                writeLog(error.text);
                postPollNotice(error.text);
            }
        }
    }
    gAgent.telegramCount += gAgent.newTelegramCount;
}
