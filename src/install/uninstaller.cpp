#include "install/uninstaller.h"

#include "base/folder_tree.h"
#include "base/path.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "install/gone_installation.h"
#include "install/install_places.h"
#include "install/removal_folder.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <cstring>

DWORD gFolderRemovalPauseMs = kFolderRemovalPauseMs;

namespace {

// The agent window every running agent has (one per installation folder).
constexpr char kAgentWindowClass[] = "Lumetra_Agent_Class";
constexpr char kAgentWindowTitle[] = "MAIn Window";
// The agent's shutdown waits up to 10 s for a running poll.
constexpr UINT kShutdownRequestTimeoutMs = 15000;
constexpr DWORD kProcessEndWaitMs = 5000;
constexpr int kFolderRemovalAttempts = 5;
constexpr int kMaxAgentsAsked = 16;

// Processes of the installation's agent that were asked to shut down.
struct AskedAgents {
    DWORD ids[kMaxAgentsAsked] = {};
    int count = 0;

    void add(DWORD id) {
        if (count < kMaxAgentsAsked) {
            ids[count++] = id;
        }
    }
    bool contains(DWORD id) const {
        for (int i = 0; i < count; i++) {
            if (ids[i] == id) {
                return true;
            }
        }
        return false;
    }
};

bool isFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool isFolder(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder is removed only when it is an installation: its text is an
// absolute folder path and it holds the agent or its service folder.
bool isInstallationFolder(const char* folder) {
    char path[kFilePathCapacity];
    return isRemovableFolderText(folder) && ((joinPath(path, sizeof path, folder, kAgentExeName) && isFile(path)) ||
                                             (joinPath(path, sizeof path, folder, "MainFolder") && isFolder(path)));
}

void deleteSpecialFolderItem(int csidl, const char* name) {
    char path[kFilePathCapacity];
    if (specialFolderItem(csidl, name, path, sizeof path)) {
        DeleteFileA(path);
        Sleep(10);
    }
}

// Folders the shell may still hold on to for a moment are tried again; a
// folder that is not there is not waited for.
void removeFolderWithRetries(const char* path) {
    for (int attempt = 0; attempt < kFolderRemovalAttempts; attempt++) {
        if (RemoveDirectoryA(path)) {
            return;
        }
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return;
        }
        Sleep(gFolderRemovalPauseMs);
    }
}

void removeProgramGroup() {
    deleteSpecialFolderItem(CSIDL_COMMON_PROGRAMS, kStartLinkName);
    deleteSpecialFolderItem(CSIDL_COMMON_PROGRAMS, kRemovalLinkName);
    char group[kPathCapacity];
    if (specialFolderItem(CSIDL_COMMON_PROGRAMS, kGroupFolderName, group, sizeof group)) {
        removeFolderWithRetries(group);
    }
}

// Whether the process runs the executable exePath. Several installations may
// run their agents at once: only the image's full path tells them apart.
bool runsExecutable(HANDLE process, const char* exePath) {
    char image[kFilePathCapacity];
    DWORD size = sizeof image;
    if (!QueryFullProcessImageNameA(process, 0, image, &size)) {
        return false;
    }
    char longImage[kFilePathCapacity];
    DWORD n = GetLongPathNameA(image, longImage, sizeof longImage);
    return lstrcmpiA(n > 0 && n < sizeof longImage ? longImage : image, exePath) == 0;
}

// Asks the agent of this installation to shut down in order: the window
// procedure's WM_DESTROY closes its files and ends its message loop.
void askAgentsToShutDown(const char* exePath, AskedAgents& asked) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, kAgentWindowClass, kAgentWindowTitle)) != nullptr) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
        if (!process || !runsExecutable(process.get(), exePath)) {
            continue;
        }
        asked.add(processId);
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_DESTROY, 0, 0, SMTO_NORMAL, kShutdownRequestTimeoutMs, &result);
    }
}

// Every process of this installation's executable that still runs ends: an
// agent that was asked gets time to finish its shutdown first, others (a hung
// one, a second start still showing its message) are terminated at once.
void endAgentProcesses(const char* exePath, const AskedAgents& asked) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return;
    }
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId() || lstrcmpiA(entry.szExeFile, kAgentExeName) != 0) {
            continue;
        }
        UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                         entry.th32ProcessID));
        if (!process || !runsExecutable(process.get(), exePath)) {
            continue;
        }
        DWORD grace = asked.contains(entry.th32ProcessID) ? kProcessEndWaitMs : 0;
        if (WaitForSingleObject(process.get(), grace) == WAIT_TIMEOUT) {
            TerminateProcess(process.get(), 0);
            WaitForSingleObject(process.get(), kProcessEndWaitMs);
        }
    }
}

// Icons of ended processes stay in the notification area until the mouse
// passes over them: the pointer is led over the whole tray.
void sweepNotificationArea() {
    HWND window = FindWindowA("Shell_TrayWnd", nullptr);
    const char* const chain[] = {"TrayNotifyWnd", "SysPager", "ToolbarWindow32"};
    for (const char* className : chain) {
        if (window == nullptr) {
            return;
        }
        window = FindWindowExA(window, nullptr, className, nullptr);
    }
    RECT area;
    if (window == nullptr || !GetClientRect(window, &area)) {
        return;
    }
    Sleep(5);
    for (LONG x = 0; x < area.right - area.left; x += 15) {
        for (LONG y = 0; y < area.bottom - area.top; y += 15) {
            DWORD_PTR result = 0;
            SendMessageTimeoutA(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 1000, &result);
        }
    }
}

// The autostart shortcut is the installation's only when it recorded one: a
// link of the same name made by hand stays.
void removeAutostartShortcut() {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kAgentKey, 0, KEY_READ, key.out()) != ERROR_SUCCESS) {
        return;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.get(), kAutoStartValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        value != 0) {
        deleteSpecialFolderItem(CSIDL_STARTUP, kAgentLinkName);
    }
}

void removeRegistryEntries() {
    RegDeleteKeyA(HKEY_CURRENT_USER, kAgentKey);
    // Fails, as it should, while the maker's key holds other programs' keys.
    RegDeleteKeyA(HKEY_CURRENT_USER, kMakerKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
}

// The service folder with everything in it, tried again while the shell or a
// virus scanner may still hold a file. A link inside it, or the service
// folder itself when it is a link, goes as a link: the removal never leaves
// the installation folder.
void removeServiceFolder(const char* folder) {
    char service[kFilePathCapacity];
    if (!joinPath(service, sizeof service, folder, kServiceFolderName)) {
        return;
    }
    for (int attempt = 0; attempt < kFolderRemovalAttempts; attempt++) {
        if (removeFolderTree(service)) {
            return;
        }
        Sleep(gFolderRemovalPauseMs);
    }
}

} // namespace

UninstallResult uninstall(HWND) {
    const char* folder = gAgent.moduleFolder;
    if (isGoneFolder(folder)) {
        ComLibrary com;
        return {UninstallOutcome::FolderGone, removeGoneInstallation(folder)};
    }
    char agentExe[kFilePathCapacity];
    if (!isInstallationFolder(folder) || !joinPath(agentExe, sizeof agentExe, folder, kAgentExeName)) {
        return {UninstallOutcome::Refused, 0};
    }
    // The image names of running processes are long names.
    char longAgentExe[kFilePathCapacity];
    DWORD n = GetLongPathNameA(agentExe, longAgentExe, sizeof longAgentExe);
    if (n > 0 && n < sizeof longAgentExe) {
        copyText(agentExe, sizeof agentExe, longAgentExe);
    }

    ComLibrary com;
    deleteSpecialFolderItem(CSIDL_DESKTOPDIRECTORY, kAgentLinkName);
    removeProgramGroup();
    AskedAgents asked;
    askAgentsToShutDown(agentExe, asked);
    endAgentProcesses(agentExe, asked);
    sweepNotificationArea();
    removeAutostartShortcut();
    removeRegistryEntries();
    removeServiceFolder(folder);
    char exe[kFilePathCapacity];
    if (joinPath(exe, sizeof exe, folder, kAgentExeName)) {
        DeleteFileA(exe);
    }
    // Files of the user's own beside the agent keep the folder, also when
    // the folder is a link to them.
    removeFolderIfEmpty(folder);
    return {UninstallOutcome::Removed, 0};
}
