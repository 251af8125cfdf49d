#include "settings/program_update.h"

#include "base/file_names.h"
#include "base/wide_text.h"
#include "base/event_log.h"
#include "base/path.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/program_names.h"
#include "resources/resource.h"
#include "settings/settings_pages.h"
#include "settings/update_download.h"
#include "ui/alert_window.h"

#include <shellapi.h>

namespace {

// Below this the announced size is taken for none.
constexpr int kAnnouncedSizeFloor = 1024;
constexpr char kUpdateButtonText[] = "Обновить программу";
constexpr char kCancelButtonText[] = "Отменить загрузку";

// The alert that tells the user of a failed download.
const char* failureAlert(UpdateOutcome outcome) {
    switch (outcome) {
    case UpdateOutcome::NoSession:
        return "Затрудняюсь открыть Интернет-сессию!";
    case UpdateOutcome::NoAnswer:
        return "Сервер не ответил!";
    case UpdateOutcome::NoMemory:
        return "Система не выделила память под буфер!";
    case UpdateOutcome::Mismatch:
        return "Контрольная сумма не совпала!";
    case UpdateOutcome::NotCreated:
        return "Файл обновлений не создан!";
    case UpdateOutcome::NotWritten:
        return "Файл обновлений не записан!";
    default:
        return "Файл обновлений не загрузился!";
    }
}

void reportFailure(HWND page, UpdateOutcome outcome) {
    showNotice(failureAlert(outcome), 1);
    showMessage(page, "Обновления загрузить не удалось.", kAgentCaption, MB_OK);
}

// The download's address, its file and what the version check announced,
// taken now: a poll that ends meanwhile may announce anew.
bool makeRequest(UpdateRequest& request) {
    const SettingsValues& settings = gAgent.settings;
    formatText(request.url, sizeof request.url, "%sdownload/Velnor.dat", settings.updateServer);
    request.announcedSize = settings.versionSize > kAnnouncedSizeFloor ? settings.versionSize : 0;
    copyText(request.hash, sizeof request.hash, settings.versionHash);
    if (!joinPath(request.target, sizeof request.target, gAgent.moduleFolder, kUpdaterExeName)) {
        SystemError failure(ERROR_FILENAME_EXCED_RANGE);
        writeLogf("Затрудняюсь создать файл обновления %s   Ошибка %u: %s", gAgent.moduleFolder, failure.code,
                  failure.text);
        return false;
    }
    return true;
}

// Starts "Velnor.exe <version>" in the module folder through the shell: an
// updater whose manifest asks for elevation then gets the consent prompt,
// where CreateProcess would fail with ERROR_ELEVATION_REQUIRED. The shell
// shows no error box of its own; the failure is told below.
bool launchUpdater(HWND page) {
    char exe[kFilePathCapacity];
    char version[16];
    joinPath(exe, sizeof exe, gAgent.moduleFolder, kUpdaterExeName);
    formatText(version, sizeof version, "%d", kProgramVersion);
    // The agent ends right after: the start completes before the call returns.
    return shellOpen(page, SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC, exe, version, gAgent.moduleFolder, SW_SHOWNORMAL) !=
           FALSE;
}

// Starts the updater and asks the agent window to end the agent.
void startUpdater(HWND page) {
    writeLog("Файл обновлений загружен. Обновляю.");
    showNotice("Файл обновлений загружен. Обновляю.", 0);
    if (!launchUpdater(page)) {
        SystemError failure(GetLastError());
        writeLogf("Затрудняюсь запустить обновление! Ошибка %u: %s", failure.code, failure.text);
        showMessagef(page, kAgentCaption, MB_OK | MB_ICONERROR, "Затрудняюсь запустить обновление! Ошибка %u: %s",
                     failure.code, failure.text);
        return;
    }
    EnableWindow(GetDlgItem(page, IDC_OPTIONS_UPDATE), FALSE);
    // The agent window shuts the agent down, the settings dialog with it; a
    // new interval is still saved, but calls for no poll at this closing.
    gAgent.settingsChanged = 0;
    if (gAgent.agentWindow != nullptr) {
        PostMessageA(gAgent.agentWindow, WM_COMMAND, IDM_QUIT, 0);
    }
}

// The page as it is without a download; the status line says how the last
// one ended.
void showUpdateButton(HWND page, const char* status) {
    setItemText(page, IDC_OPTIONS_UPDATE, kUpdateButtonText);
    setPageStatus(page, status);
}

} // namespace

bool updateOffered() {
    return gAgent.settings.newVersion > kProgramVersion;
}

void onUpdateButton(HWND page, UpdateDownload& download) {
    if (download.running()) {
        download.cancel();
        showUpdateButton(page, "Загрузка обновления отменена.");
        return;
    }
    UpdateRequest request;
    if (!makeRequest(request)) {
        reportFailure(page, UpdateOutcome::NotCreated);
        return;
    }
    UpdateOutcome failure = UpdateOutcome::NotArrived;
    if (!download.start(page, request, failure)) {
        reportFailure(page, failure);
        return;
    }
    setItemText(page, IDC_OPTIONS_UPDATE, kCancelButtonText);
    setPageStatus(page, "Загрузка обновления...");
}

void onUpdateProgress(HWND page, UpdateDownload& download) {
    unsigned long long received = 0;
    unsigned long long expected = 0;
    download.progress(received, expected);
    if (!download.running()) {
        return;
    }
    char text[96];
    if (expected != 0) {
        formatText(text, sizeof text, "Загрузка обновления: %llu из %llu байт", received, expected);
    } else {
        formatText(text, sizeof text, "Загрузка обновления: %llu байт", received);
    }
    setPageStatus(page, text);
}

void onUpdateDone(HWND page, UpdateDownload& download, WPARAM number) {
    UpdateOutcome outcome;
    if (!download.takeEnd(number, outcome)) {
        return;
    }
    showUpdateButton(page, "");
    if (outcome == UpdateOutcome::Stored) {
        startUpdater(page);
    } else if (outcome != UpdateOutcome::Cancelled) {
        reportFailure(page, outcome);
    }
}
