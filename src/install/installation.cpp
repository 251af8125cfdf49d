#include "install/installation.h"
#include "base/file_names.h"

#include "base/ensure_folder.h"
#include "base/folder_tree.h"
#include "base/path.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "install/desktop_user.h"
#include "install/install_kind.h"
#include "install/install_registry.h"
#include "install/removal_folder.h"
#include "install/running_agents.h"
#include "ui/folder_browser.h"

#include <shlobj.h>

#include <cstdarg>
#include <cstring>

namespace {

constexpr char kUndoneText[] = "\r\n\r\nУстановка не выполнена; то, что она успела сделать, отменено.";

bool exists(const char* path) {
    return fileAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

// Calls visit with each folder of path (ending with a backslash) below its
// drive or share, from the top down, while visit returns 0; returns what
// visit returned last.
template <typename Visit>
DWORD forEachLevel(const char* path, Visit visit) {
    char root[kPathCapacity];
    size_t start = removableFolderRoot(path, root, sizeof root) ? strlen(root) : 0;
    char level[kPathCapacity];
    for (const char* backslash = strchr(path + start, '\\'); backslash != nullptr;
         backslash = strchr(backslash + 1, '\\')) {
        size_t length = static_cast<size_t>(backslash - path) + 1;
        if (length >= sizeof level) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        memcpy(level, path, length);
        level[length] = '\0';
        DWORD result = visit(level);
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

// The highest folder of path that does not exist yet: the one that making
// path creates first. Empty when path exists.
void firstMissingFolder(const char* path, char* first, size_t capacity) {
    first[0] = '\0';
    forEachLevel(path, [&](const char* level) -> DWORD {
        if (exists(level)) {
            return 0;
        }
        copyText(first, capacity, level);
        return 1;
    });
}

// Makes the folder path with every folder above it that is missing; 0 or
// the error of the level that could not be made.
DWORD createFolderPath(const char* path) {
    return forEachLevel(path, [](const char* level) -> DWORD {
        DWORD attributes = fileAttributes(level);
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : static_cast<DWORD>(ERROR_ALREADY_EXISTS);
        }
        return createFolder(level) ? 0 : GetLastError();
    });
}

// Removes path and the folders above it up to first, each only while empty.
void removeMadeFolders(const char* path, const char* first) {
    if (first[0] == '\0') {
        return;
    }
    char level[kPathCapacity];
    copyText(level, sizeof level, path);
    size_t firstLength = strlen(first);
    while (strlen(level) >= firstLength && removeFolderIfEmpty(level)) {
        char* end = level + strlen(level) - 1;
        *end = '\0';
        char* backslash = strrchr(level, '\\');
        if (backslash == nullptr) {
            return;
        }
        backslash[1] = '\0';
    }
}

// Whether both paths name one existing file, however they are spelt.
bool sameFile(const char* a, const char* b) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    UniqueHandle fileA(createFile(a, 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
    UniqueHandle fileB(createFile(b, 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION infoA, infoB;
    return fileA && fileB && GetFileInformationByHandle(fileA.get(), &infoA) &&
           GetFileInformationByHandle(fileB.get(), &infoB) &&
           infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}

// What this installation made, so that a failure can take it back.
struct MadeThings {
    char firstFolder[kPathCapacity] = {};            // the installation folder's
    char firstUninstallerFolder[kPathCapacity] = {}; // the per-user uninstaller folder's
    bool agentExe = false;
    bool serviceFolder = false;
    bool accountList = false;
    bool uninstaller = false;
    bool programList = false;
    bool agentKey = false;
};

class Installation {
public:
    Installation(HWND dialog, const InstallRequest& request) : dialog_(dialog), request_(request) {}
    bool run(unsigned& missed);

private:
    bool preparePaths();
    bool refuseFolder();
    bool makeFolder();
    bool copyAgent();
    bool makeServiceFolder();
    bool grantUserRights();
    bool copyUninstaller();
    bool writeRegistry();
    bool failed(DWORD error, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void undo();

    HWND dialog_;
    const InstallRequest& request_;
    InstallPlaces places_ = {};
    char agentExe_[kFilePathCapacity] = {};
    char serviceFolder_[kFilePathCapacity] = {};
    char accountList_[kFilePathCapacity] = {};
    MadeThings made_;
    bool agentEnded_ = false;
    bool ownFolder_ = false; // made by this installation, or holding one already
};

// Shows the failed step with the system's text and takes back what was made.
bool Installation::failed(DWORD error, const char* format, ...) {
    char what[2 * kFilePathCapacity];
    va_list args;
    va_start(args, format);
    formatTextV(what, sizeof what, format, args);
    va_end(args);
    undo();
    SystemError failure(error);
    showMessagef(dialog_, kInstallCaption, MB_OK | MB_ICONERROR, "%s Ошибка %u: %s%s", what, failure.code, failure.text,
                 kUndoneText);
    return false;
}

void Installation::undo() {
    if (made_.agentKey) {
        RegDeleteKeyA(HKEY_CURRENT_USER, kAgentKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, kMakerKey); // only while it holds nothing else
    }
    if (made_.programList) {
        RegDeleteKeyA(places_.programListRoot, kUninstallKey);
    }
    if (made_.uninstaller) {
        deleteFile(places_.uninstallerExe);
        removeMadeFolders(places_.uninstallerFolder, made_.firstUninstallerFolder);
    }
    if (made_.accountList) {
        deleteFile(accountList_);
    }
    if (made_.serviceFolder) {
        removeFolderIfEmpty(serviceFolder_);
    }
    if (made_.agentExe) {
        deleteFile(agentExe_);
    }
    removeMadeFolders(request_.folder, made_.firstFolder);
    made_ = MadeThings();
}

bool Installation::preparePaths() {
    return installPlacesOf(request_.kind, places_) &&
           joinPath(agentExe_, sizeof agentExe_, request_.folder, kAgentExeName) &&
           joinPath(serviceFolder_, sizeof serviceFolder_, request_.folder, kServiceFolderName) &&
           joinPath(accountList_, sizeof accountList_, serviceFolder_, kMailBoxFile);
}

// Before anything is made: no agent may live where the uninstaller starts
// from, and the agent must be able to write its folder and service folder.
bool Installation::refuseFolder() {
    const char* folder = request_.folder;
    if (isUninstallerFolder(folder)) {
        showMessagef(dialog_, kInstallCaption, MB_OK | MB_ICONERROR,
                     "В папку %s Агента установить нельзя: из неё запускается программа удаления. "
                     "Выберите другую папку.",
                     folder);
        return true;
    }
    DWORD error = folderWriteError(folder);
    if (error == 0 && exists(serviceFolder_)) {
        error = folderWriteError(serviceFolder_);
    }
    if (error == 0) {
        return false;
    }
    SystemError failure(error);
    char advice[kPathCapacity + 160] = "";
    char userFolder[kPathCapacity];
    if (request_.kind == InstallKind::PerUser &&
        specialFolderItem(CSIDL_LOCAL_APPDATA, kUserProgramFolderName, userFolder, sizeof userFolder)) {
        formatText(advice, sizeof advice,
                   "\r\n\r\nВыберите папку, в которую Вы можете записывать, например %s, "
                   "или запустите установку от имени администратора.",
                   userFolder);
    }
    showMessagef(dialog_, kInstallCaption, MB_OK | MB_ICONERROR,
                 "Затрудняюсь установить Агента в папку %s: в неё нельзя записывать. Ошибка %u: %s%s", folder,
                 failure.code, failure.text, advice);
    return true;
}

bool Installation::makeFolder() {
    firstMissingFolder(request_.folder, made_.firstFolder, sizeof made_.firstFolder);
    ownFolder_ = made_.firstFolder[0] != '\0' || exists(agentExe_) || exists(serviceFolder_);
    if (ensureFolder(dialog_, request_.folder)) {
        return true;
    }
    undo();
    return false;
}

// Copies the running executable over the agent's, unless the agent's is the
// running one (installing into the folder started from).
bool Installation::copyAgent() {
    char running[kFilePathCapacity];
    if (!moduleFilePath(running, sizeof running)) {
        return failed(GetLastError(), "Затрудняюсь скопировать программу в %s.", agentExe_);
    }
    if (sameFile(running, agentExe_)) {
        return true;
    }
    bool existed = exists(agentExe_);
    setFileAttributes(agentExe_, FILE_ATTRIBUTE_NORMAL);
    if (!copyFile(running, agentExe_, FALSE)) {
        return failed(GetLastError(), "Затрудняюсь скопировать программу в %s.", agentExe_);
    }
    made_.agentExe = !existed;
    return true;
}

// The service folder and its empty account list, which marks a new
// installation. An existing list holds the user's mailboxes and passwords:
// installing again keeps it.
bool Installation::makeServiceFolder() {
    made_.serviceFolder = !exists(serviceFolder_);
    if (!ensureFolder(dialog_, serviceFolder_)) {
        undo();
        return false;
    }
    UniqueHandle file(createFile(accountList_, 0, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        made_.accountList = true;
        return true;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || failed(error, "Затрудняюсь создать файл %s.", accountList_);
}

// Files that an elevated installation makes belong to the administrators,
// and the agent runs as the desktop's ordinary user, who must be able to
// write its files (and, for an update, its folder). A folder that was there
// before and is no installation (a folder the user typed, such as Program
// Files itself) is not opened up: only the service folder then is.
bool Installation::grantUserRights() {
    if (!isElevatedProcess()) {
        return true;
    }
    const char* folder = ownFolder_ ? request_.folder : serviceFolder_;
    DWORD error = grantDesktopUserChange(folder);
    return error == 0 || failed(error, "Затрудняюсь дать пользователю право записи в папку %s.", folder);
}

// The copy of the executable that the program list's entry starts to remove
// the installation. It may serve other installations too, so one that was
// there stays.
bool Installation::copyUninstaller() {
    firstMissingFolder(places_.uninstallerFolder, made_.firstUninstallerFolder, sizeof made_.firstUninstallerFolder);
    char running[kFilePathCapacity];
    DWORD error = moduleFilePath(running, sizeof running) ? 0 : GetLastError();
    bool existed = exists(places_.uninstallerExe);
    if (error == 0) {
        error = createFolderPath(places_.uninstallerFolder);
    }
    if (error == 0) {
        setFileAttributes(places_.uninstallerExe, FILE_ATTRIBUTE_NORMAL);
        error = copyFile(running, places_.uninstallerExe, FALSE) ? 0 : GetLastError();
    }
    made_.uninstaller = error == 0 && !existed;
    if (error != 0) {
        return failed(error, "Затрудняюсь скопировать программу удаления в %s.", places_.uninstallerExe);
    }
    return true;
}

// The program list's entry first: it lets the user remove the installation.
// The agent's key records the folder, and starting with Windows once its
// shortcut is made.
bool Installation::writeRegistry() {
    const char* root = places_.programListRoot == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    LONG error = writeProgramListEntry(places_, request_.folder, made_.programList);
    if (error != ERROR_SUCCESS) {
        return failed(static_cast<DWORD>(error), "Затрудняюсь записать в реестр %s\\%s.", root, kUninstallKey);
    }
    error = writeAgentKey(request_.folder, false, made_.agentKey);
    if (error != ERROR_SUCCESS) {
        return failed(static_cast<DWORD>(error), "Затрудняюсь записать в реестр HKEY_CURRENT_USER\\%s.", kAgentKey);
    }
    return true;
}

bool Installation::run(unsigned& missed) {
    if (!preparePaths()) {
        showMessagef(dialog_, kInstallCaption, MB_OK, "Имя папки \"%s\" задано неверно.", request_.folder);
        return false;
    }
    if (refuseFolder()) {
        return false;
    }
    // The agent of that folder holds its executable and files.
    agentEnded_ = exists(agentExe_) && endInstallationAgents(agentExe_);
    if (!makeFolder() || !copyAgent() || !makeServiceFolder() || !grantUserRights() || !copyUninstaller() ||
        !writeRegistry()) {
        // The agent that was ended for nothing runs again.
        if (agentEnded_ && exists(agentExe_)) {
            startAgentProcess(agentExe_, request_.folder);
        }
        return false;
    }
    missed = createShortcuts(request_.shortcuts, places_, request_.folder, agentExe_);
    bool autoStart = request_.shortcuts.autoStart && (missed & kMissedAutostart) == 0;
    bool created = false;
    if (autoStart && writeAgentKey(request_.folder, true, created) != ERROR_SUCCESS) {
        // Unrecorded, the uninstaller would leave the shortcut behind.
        deleteAutostartShortcut();
        missed |= kMissedAutostart;
    }
    return true;
}

} // namespace

bool performInstallation(HWND dialog, const InstallRequest& request, unsigned& missed) {
    missed = 0;
    Installation installation(dialog, request);
    return installation.run(missed);
}
