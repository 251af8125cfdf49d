// The options page (template 1038): autostart, the tray icon's blinking, the
// poll interval, clearing the mail archive, copying the agent to another
// folder and the program update. Every value lives in the agent state and
// is read afresh whenever the page is created; the page keeps only the update
// download it started, which ends with the page.
#include "settings/settings_pages.h"
#include "base/file_names.h"

#include "base/ensure_folder.h"
#include "base/path.h"
#include "base/shell_link.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/service_paths.h"
#include "resources/resource.h"
#include "core/program_names.h"
#include "settings/program_update.h"
#include "settings/update_download.h"
#include "ui/folder_browser.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>

namespace {

// What the page keeps on itself (DWLP_USER).
struct OptionsPage {
    UpdateDownload download;
};

// Ctrl+Alt+D starts the agent from its autostart link too.
constexpr WORD kAgentHotKey = MAKEWORD('D', HOTKEYF_CONTROL | HOTKEYF_ALT);
constexpr DWORD kLinkDeletePauseMs = 10;

void enable(HWND page, int id, bool on) {
    EnableWindow(GetDlgItem(page, id), on ? TRUE : FALSE);
}

bool isTicked(HWND page, int id) {
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

void setSpin(HWND page, int id, int low, int high, int position) {
    SendDlgItemMessageA(page, id, UDM_SETRANGE32, low, high);
    SendDlgItemMessageA(page, id, UDM_SETPOS32, 0, position);
}

// The up-down's position, held within its range.
int spinPosition(HWND spin, int low, int high) {
    int value = LOWORD(SendMessageA(spin, UDM_GETPOS, 0, 0)) & 0xFF;
    return value < low ? low : (value > high ? high : value);
}

// The archive button is offered while HistMail.txt holds something.
bool archiveHasMail() {
    ServicePath archive(kArchiveFile);
    if (!archive.fits) {
        return false;
    }
    UniqueHandle file(
        createFile(archive.text, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    return file && GetFileSizeEx(file.get(), &size) && size.QuadPart != 0;
}

// The current user's Startup folder + "\Korvel.lnk".
bool startupLink(char* path, size_t capacity) {
    char folder[kPathCapacity];
    if (!specialFolderPath(CSIDL_STARTUP, folder, sizeof folder)) {
        return false;
    }
    return copyText(path, capacity, folder) == strlen(folder) && appendPathItem(path, capacity, kAgentLinkName);
}

bool writeAutoStartValue(DWORD value) {
    RegistryKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kAgentKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExA(key.get(), kAutoStartValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

bool createAutoStartLink() {
    char link[kFilePathCapacity];
    wchar_t wideLink[kFilePathCapacity];
    if (!startupLink(link, sizeof link) ||
        MultiByteToWideChar(CP_ACP, 0, link, -1, wideLink, sizeof wideLink / sizeof wideLink[0]) == 0) {
        return false;
    }
    return createShortcut(wideLink, gAgent.agentExePath, gAgent.serviceFolder, "", kAgentHotKey, SW_SHOWNORMAL,
                          gAgent.agentExePath, 0);
}

// A missing link counts as deleted.
bool deleteAutoStartLink() {
    char link[kFilePathCapacity];
    if (!startupLink(link, sizeof link)) {
        return false;
    }
    bool gone = deleteFile(link) || GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    Sleep(kLinkDeletePauseMs);
    return gone;
}

// Failures are silent and leave the check box as the user set it;
// gAgent.autoStart then keeps saying what is really in place: 0 after a
// failed switch on, 1 after a failed switch off (a link that could not be
// deleted still starts the agent).
void onAutoStart(HWND page) {
    if (isTicked(page, IDC_OPTIONS_AUTOSTART)) {
        gAgent.autoStart = 0;
        if (createAutoStartLink() && writeAutoStartValue(1)) {
            gAgent.autoStart = 1;
        }
    } else {
        gAgent.autoStart = 1;
        if (deleteAutoStartLink() && writeAutoStartValue(0)) {
            gAgent.autoStart = 0;
        }
    }
}

void onBlink(HWND page) {
    bool on = isTicked(page, IDC_OPTIONS_BLINK);
    gAgent.settings.blink = on ? 1 : 0;
    enable(page, IDC_OPTIONS_BLINK_SPIN, on);
}

// Only a new interval calls for the poll at closing: it restarts the timer.
void onSpin(HWND page, HWND spin) {
    if (spin == GetDlgItem(page, IDC_OPTIONS_BLINK_SPIN)) {
        gAgent.settings.kolBlink = spinPosition(spin, kMinKolBlink, kMaxKolBlink);
    } else if (spin == GetDlgItem(page, IDC_OPTIONS_INTERVAL_SPIN)) {
        int interval = spinPosition(spin, kMinInterval, kMaxInterval);
        if (interval != gAgent.settings.interval) {
            gAgent.settings.interval = interval;
            gAgent.settingsChanged = 1;
        }
    }
}

void onClearArchive(HWND page) {
    if (showMessage(page, "Действительно удалить Архив писем?", kAgentCaption,
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    ServicePath archive(kArchiveFile);
    if (archive.fits) {
        deleteFile(archive.text);
    }
    enable(page, IDC_OPTIONS_CLEAR_ARCHIVE, false);
}

// Every file of the service folder into folder, in one shell operation with
// its own progress window. False when it failed or was cancelled.
bool copyServiceFiles(HWND page, const char* folder) {
    // Both lists of the shell operation end with two NULs.
    char from[kFilePathCapacity + 1] = {};
    char to[kFilePathCapacity + 1] = {};
    if (!joinPath(from, sizeof from - 1, gAgent.serviceFolder, "*.*") || copyText(to, sizeof to - 1, folder) == 0) {
        return false;
    }
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = page;
    operation.wFunc = FO_COPY;
    operation.pFrom = from;
    operation.pTo = to;
    operation.fFlags = FOF_FILESONLY | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_SIMPLEPROGRESS;
    operation.lpszProgressTitle = "Копирование файлов..";
    return fileOperation(operation) == 0 && !operation.fAnyOperationsAborted;
}

// Copies Korvel.exe and the service files into a "Korvel\" folder of the
// user's choice. An agent already there is not overwritten.
void onCopyAgent(HWND page) {
    char target[kPathCapacity];
    if (!browseForFolder(page, "Выберите папку в которую копировать.", CSIDL_DESKTOP, BIF_RETURNONLYFSDIRS, 0, target,
                         sizeof target) ||
        !ensureFolder(page, target)) {
        return;
    }
    char exe[kFilePathCapacity];
    char mainFolder[kPathCapacity];
    if (!joinPath(exe, sizeof exe, target, kAgentExeName) ||
        !joinPath(mainFolder, sizeof mainFolder, target, "MainFolder\\")) {
        showMessagef(page, kAgentCaption, MB_OK, "Имя папки \"%s\" задано неверно.", target);
        return;
    }
    if (!copyFile(gAgent.agentExePath, exe, TRUE)) {
        SystemError failure(GetLastError());
        showMessagef(page, kAgentCaption, MB_OK, "Затрудняюсь скопировать файл %s в файл %s\r\nОшибка %u: %s",
                     gAgent.agentExePath, exe, failure.code, failure.text);
        return;
    }
    if (!ensureFolder(page, mainFolder)) {
        return;
    }
    // The shell takes the target folder without its final backslash.
    mainFolder[strlen(mainFolder) - 1] = '\0';
    if (copyServiceFiles(page, mainFolder)) {
        showMessage(page, "Агент успешно скопирован.", kAgentCaption, MB_OK);
    } else {
        showMessage(page, "Ошибка. Копирование файлов не завершено.", kAgentCaption, MB_OK | MB_ICONERROR);
    }
}

BOOL onInitDialog(HWND page) {
    if (createPageState<OptionsPage>(page) == nullptr) {
        return FALSE;
    }
    CheckDlgButton(page, IDC_OPTIONS_AUTOSTART, gAgent.autoStart != 0 ? BST_CHECKED : BST_UNCHECKED);
    setSpin(page, IDC_OPTIONS_BLINK_SPIN, kMinKolBlink, kMaxKolBlink, gAgent.settings.kolBlink);
    CheckDlgButton(page, IDC_OPTIONS_BLINK, gAgent.settings.blink != 0 ? BST_CHECKED : BST_UNCHECKED);
    enable(page, IDC_OPTIONS_BLINK_SPIN, gAgent.settings.blink != 0);
    setSpin(page, IDC_OPTIONS_INTERVAL_SPIN, kMinInterval, kMaxInterval, gAgent.settings.interval);
    enable(page, IDC_OPTIONS_CLEAR_ARCHIVE, archiveHasMail());
    enable(page, IDC_OPTIONS_UPDATE, updateOffered());
    setPageStatus(page, "");
    return TRUE;
}

BOOL onCommand(HWND page, OptionsPage& state, WORD id) {
    switch (id) {
    case IDC_OPTIONS_AUTOSTART:
        onAutoStart(page);
        return TRUE;
    case IDC_OPTIONS_BLINK:
        onBlink(page);
        return TRUE;
    case IDC_OPTIONS_CLEAR_ARCHIVE:
        onClearArchive(page);
        return TRUE;
    case IDC_OPTIONS_COPY:
        onCopyAgent(page);
        return TRUE;
    case IDC_OPTIONS_UPDATE:
        onUpdateButton(page, state.download);
        return TRUE;
    case IDCANCEL:
        closeSettingsFromPage(page);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

bool optionsPageBusy(HWND page) {
    OptionsPage* state = pageState<OptionsPage>(page);
    return state != nullptr && state->download.running();
}

void stopOptionsPage(HWND page) {
    if (OptionsPage* state = pageState<OptionsPage>(page)) {
        state->download.cancel();
    }
}

INT_PTR CALLBACK optionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return onInitDialog(page);
    }
    OptionsPage* state = pageState<OptionsPage>(page);
    if (state == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_COMMAND:
        return onCommand(page, *state, LOWORD(wParam));
    case WM_VSCROLL:
        onSpin(page, reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_UPDATE_PROGRESS:
        onUpdateProgress(page, state->download);
        return TRUE;
    case WM_UPDATE_DONE:
        onUpdateDone(page, state->download, wParam);
        return TRUE;
    case WM_DESTROY:
        state->download.cancel();
        return FALSE;
    case WM_NCDESTROY:
        freePageState<OptionsPage>(page);
        return FALSE;
    default:
        return FALSE;
    }
}
