#include "settings/program_update.h"

#include "base/event_log.h"
#include "base/file_io.h"
#include "base/internet.h"
#include "base/path.h"
#include "base/sha256.h"
#include "base/text.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "resources/resource.h"
#include "ui/alert_window.h"
#include "ui/paint_wait.h"

#include <cstring>
#include <memory>

namespace {

constexpr DWORD kNoticeMs = 2000;
// A smaller file cannot be the updater.
constexpr size_t kMinUpdateSize = 200000;
// Below this the announced size is taken for none.
constexpr int kAnnouncedSizeFloor = 1024;
// The buffer without an announced size: a larger file is cut to it.
constexpr size_t kUnannouncedBuffer = 4 * 1024 * 1024;

void notice(const char* text, int isError) {
    showAlert(text, isError);
    waitKeepingPainted(nullptr, kNoticeMs);
    hideAlert();
}

void fail(const char* alert) {
    notice(alert, 1);
}

// The received bytes against the announced size (when there is one) and the
// announced SHA-256 (when there is one).
bool checkReceived(const char* data, size_t size) {
    if (size <= kMinUpdateSize) {
        writeLogf("Ошибка! Принято всего %u байт файла обновления!", static_cast<unsigned>(size));
        fail("Файл обновлений не загрузился!");
        return false;
    }
    const SettingsValues& settings = gAgent.settings;
    if (settings.versionSize <= kAnnouncedSizeFloor) {
        writeLogf("Принят файл обновления в %u байт. Нет гарантии на его полноту!", static_cast<unsigned>(size));
    } else if (size == static_cast<size_t>(settings.versionSize)) {
        writeLogf("Принят файл обновления с гарантированно полным содержимым в %u байт.", static_cast<unsigned>(size));
    } else {
        writeLogf("Ошибка! Принят файл обновления с неполным содержимым в %u байт!", static_cast<unsigned>(size));
        fail("Контрольная сумма не совпала!");
        return false;
    }
    if (settings.versionHash[0] == '\0') {
        return true;
    }
    char hash[kSha256HexCapacity];
    DWORD error = sha256Hex(data, size, hash);
    if (error != 0) {
        SystemError failure(error);
        writeLogf("Затрудняюсь вычислить контрольную сумму файла обновления. Ошибка %u: %s", failure.code,
                  failure.text);
        fail("Контрольная сумма не совпала!");
        return false;
    }
    if (strcmp(hash, settings.versionHash) != 0) {
        writeLogf("Ошибка! Контрольная сумма SHA-256 файла обновления %s не совпадает с объявленной %s!", hash,
                  settings.versionHash);
        fail("Контрольная сумма не совпала!");
        return false;
    }
    writeLog("Контрольная сумма SHA-256 файла обновления совпала.");
    return true;
}

// Writes the file under a temporary name and renames it to "Velnor.exe" only
// when every byte is written: a partial updater is never left to be started.
bool storeUpdate(const char* data, size_t size) {
    char path[kFilePathCapacity];
    if (!joinPath(path, sizeof path, gAgent.moduleFolder, "Velnor.exe")) {
        SystemError failure(ERROR_FILENAME_EXCED_RANGE);
        writeLogf("Затрудняюсь создать файл обновления %s   Ошибка %u: %s", gAgent.moduleFolder, failure.code,
                  failure.text);
        fail("Файл обновлений не создан!");
        return false;
    }
    auto file = std::make_unique<ReplacementFile>();
    DWORD error = file->create(path, FILE_SHARE_READ);
    if (error != 0) {
        SystemError failure(error);
        writeLogf("Затрудняюсь создать файл обновления %s   Ошибка %u: %s", path, failure.code, failure.text);
        fail("Файл обновлений не создан!");
        return false;
    }
    file->write(data, size);
    error = file->commit();
    if (error != 0) {
        SystemError failure(error);
        writeLogf("Затрудняюсь скопировать буфер в файл обновления %s   Ошибка %u: %s", path, failure.code,
                  failure.text);
        fail("Файл обновлений не записан!");
        return false;
    }
    return true;
}

} // namespace

bool updateOffered() {
    return gAgent.settings.newVersion > kProgramVersion;
}

bool downloadUpdate() {
    InternetSession session;
    if (!session.opened()) {
        writeLog("Затрудняюсь открыть Интернет-сессию для получения файла обновлений.");
        fail("Затрудняюсь открыть Интернет-сессию!");
        return false;
    }
    // With an announced size the buffer holds one byte more, so that a
    // larger file shows as incomplete instead of being cut to the size.
    int announced = gAgent.settings.versionSize;
    size_t capacity = announced >= kAnnouncedSizeFloor ? static_cast<size_t>(announced) + 1 : kUnannouncedBuffer;
    VirtualBlock buffer;
    if (!buffer.allocate(capacity)) {
        SystemError failure(GetLastError());
        writeLogf("Система не выделила память под буфер для загрузки обновления. Ошибка %u: %s", failure.code,
                  failure.text);
        fail("Система не выделила память под буфер!");
        return false;
    }
    char url[kServerUrlCapacity + 32];
    formatText(url, sizeof url, "%sdownload/Velnor.dat", gAgent.settings.updateServer);
    HttpResult reply = httpGet(session, url, buffer.bytes(), capacity);
    // No answer, or an error page instead of the file.
    if (reply.status < 200 || reply.status > 299) {
        writeLog("Затрудняюсь соединиться с сервером для получения файла обновления!");
        fail("Сервер не ответил!");
        return false;
    }
    // A body that broke off is as short as one that never came.
    if (reply.error != 0) {
        writeLogf("Ошибка! Принято всего %u байт файла обновления!", static_cast<unsigned>(reply.size));
        fail("Файл обновлений не загрузился!");
        return false;
    }
    size_t size = reply.size;
    if (announced < kAnnouncedSizeFloor && reply.bufferFull) {
        writeLogf("Файл обновления больше буфера: сохраняются первые %u байт.", static_cast<unsigned>(size));
    }
    return checkReceived(buffer.bytes(), size) && storeUpdate(buffer.bytes(), size);
}

void updateProgram(HWND page) {
    if (!downloadUpdate()) {
        showMessage(page, "Обновления загрузить не удалось.", kAgentCaption, MB_OK);
        return;
    }
    writeLog("Файл обновлений загружен. Обновляю.");
    notice("Файл обновлений загружен. Обновляю.", 0);
    char exe[kFilePathCapacity];
    char commandLine[kFilePathCapacity + 32];
    joinPath(exe, sizeof exe, gAgent.moduleFolder, "Velnor.exe");
    // Quoted: the module folder may hold blanks ("Program Files").
    formatText(commandLine, sizeof commandLine, "\"%s\" %d", exe, kProgramVersion);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(exe, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        &process)) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь запустить обновление! Ошибка %u: %s", failure.code, failure.text);
        showMessagef(page, kAgentCaption, MB_OK | MB_ICONERROR, "Затрудняюсь запустить обновление! Ошибка %u: %s",
                     failure.code, failure.text);
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EnableWindow(GetDlgItem(page, IDC_OPTIONS_UPDATE), FALSE);
    // The agent window shuts the agent down, the settings dialog with it; a
    // new interval is still saved, but calls for no poll at this closing.
    gAgent.settingsChanged = 0;
    if (gAgent.agentWindow != nullptr) {
        PostMessageA(gAgent.agentWindow, WM_COMMAND, IDM_QUIT, 0);
    }
}
