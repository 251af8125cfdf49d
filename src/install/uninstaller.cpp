#include "install/uninstaller.h"
#include "base/file_names.h"

#include "base/folder_tree.h"
#include "base/path.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "install/gone_installation.h"
#include "install/install_places.h"
#include "install/installation_entries.h"
#include "install/removal_folder.h"
#include "install/running_agents.h"

#include <shlobj.h>

#include <cstring>
#include <initializer_list>

DWORD gFolderRemovalPauseMs = kFolderRemovalPauseMs;

namespace {

constexpr int kFolderRemovalAttempts = 5;

bool isFile(const char* path) {
    DWORD attributes = fileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool isFolder(const char* path) {
    DWORD attributes = fileAttributes(path);
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
        deleteFile(path);
        Sleep(10);
    }
}

// Folders the shell may still hold on to for a moment are tried again; a
// folder that is not there is not waited for.
void removeFolderWithRetries(const char* path) {
    for (int attempt = 0; attempt < kFolderRemovalAttempts; attempt++) {
        if (removeFolder(path)) {
            return;
        }
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return;
        }
        Sleep(gFolderRemovalPauseMs);
    }
}

// The group's shortcuts of this installation, in the common and the user's
// own Start menu, then the group once it is empty.
void removeProgramGroups(const char* folder, const char* agentExe) {
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        char group[kPathCapacity];
        if (removeProgramGroupOf(csidl, folder, agentExe) != 0 &&
            specialFolderItem(csidl, kGroupFolderName, group, sizeof group)) {
            removeFolderWithRetries(group);
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

// The program list entries go only when they remove this folder: the other
// kind may belong to another installation.
void removeRegistryEntries(const char* folder) {
    RegDeleteKeyA(HKEY_CURRENT_USER, kAgentKey);
    // Fails, as it should, while the maker's key holds other programs' keys.
    RegDeleteKeyA(HKEY_CURRENT_USER, kMakerKey);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        removeProgramListEntry(root, folder);
    }
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
    char exe[kFilePathCapacity];
    if (!isInstallationFolder(folder) || !joinPath(exe, sizeof exe, folder, kAgentExeName)) {
        return {UninstallOutcome::Refused, 0};
    }
    // The image names of running processes are long names; the shortcuts
    // name the agent as the installation folder was spelt.
    char agentExe[kFilePathCapacity];
    DWORD n = longPathName(exe, agentExe, sizeof agentExe);
    if (n == 0 || n >= sizeof agentExe) {
        copyText(agentExe, sizeof agentExe, exe);
    }

    ComLibrary com;
    deleteSpecialFolderItem(CSIDL_DESKTOPDIRECTORY, kAgentLinkName);
    removeProgramGroups(folder, exe);
    endInstallationAgents(agentExe);
    sweepNotificationArea();
    removeAutostartShortcut();
    removeRegistryEntries(folder);
    removeServiceFolder(folder);
    deleteFile(exe);
    // Files of the user's own beside the agent keep the folder, also when
    // the folder is a link to them.
    removeFolderIfEmpty(folder);
    return {UninstallOutcome::Removed, 0};
}
