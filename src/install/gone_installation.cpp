#include "install/gone_installation.h"

#include "base/folder_tree.h"
#include "base/path.h"
#include "base/shell_link.h"
#include "base/text.h"
#include "install/install_places.h"
#include "install/removal_folder.h"
#include "install/uninstall_folder.h"

#include <shlobj.h>

namespace {

bool isNotFound(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// Whether two paths are spelt alike, as the file system compares names
// (ordinal, case ignored); a trailing backslash does not count.
bool samePath(const char* a, const char* b) {
    wchar_t wideA[kFilePathCapacity];
    wchar_t wideB[kFilePathCapacity];
    int lengthA = MultiByteToWideChar(CP_ACP, 0, a, -1, wideA, kFilePathCapacity) - 1;
    int lengthB = MultiByteToWideChar(CP_ACP, 0, b, -1, wideB, kFilePathCapacity) - 1;
    if (lengthA < 0 || lengthB < 0) {
        return false;
    }
    lengthA -= lengthA > 0 && wideA[lengthA - 1] == L'\\' ? 1 : 0;
    lengthB -= lengthB > 0 && wideB[lengthB - 1] == L'\\' ? 1 : 0;
    return CompareStringOrdinal(wideA, lengthA, wideB, lengthB, TRUE) == CSTR_EQUAL;
}

// A shortcut in a special folder, with what it starts.
struct ShortcutText {
    char path[kFilePathCapacity];
    char target[kFilePathCapacity];
    char arguments[kFilePathCapacity];
};

bool readShortcutOf(int csidl, const char* name, ShortcutText& link) {
    wchar_t widePath[kFilePathCapacity];
    return specialFolderItem(csidl, name, link.path, sizeof link.path) &&
           MultiByteToWideChar(CP_ACP, 0, link.path, -1, widePath, kFilePathCapacity) != 0 &&
           readShortcut(widePath, link.target, sizeof link.target, link.arguments, sizeof link.arguments);
}

// Deletes the shortcut when it starts agentExe.
bool removeShortcutTo(int csidl, const char* name, const char* agentExe) {
    ShortcutText link;
    return readShortcutOf(csidl, name, link) && samePath(link.target, agentExe) && DeleteFileA(link.path);
}

// Deletes the removal shortcut when it starts the uninstaller for folder.
bool removeRemovalShortcut(const char* folder) {
    ShortcutText link;
    char named[kFilePathCapacity];
    return readShortcutOf(CSIDL_COMMON_PROGRAMS, kRemovalLinkName, link) &&
           uninstallFolder(link.arguments, named, sizeof named) && samePath(named, folder) && DeleteFileA(link.path);
}

bool readText(HKEY root, const char* key, const char* name, char* text, size_t capacity) {
    DWORD size = static_cast<DWORD>(capacity);
    return RegGetValueA(root, key, name, RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS;
}

bool removeAgentKey(const char* folder) {
    char path[kFilePathCapacity];
    if (!readText(HKEY_CURRENT_USER, kAgentKey, kPathValue, path, sizeof path) || !samePath(path, folder) ||
        RegDeleteKeyA(HKEY_CURRENT_USER, kAgentKey) != ERROR_SUCCESS) {
        return false;
    }
    // Fails, as it should, while the maker's key holds other programs' keys.
    RegDeleteKeyA(HKEY_CURRENT_USER, kMakerKey);
    return true;
}

bool removeProgramListEntry(const char* folder) {
    char command[2 * kFilePathCapacity];
    char named[kFilePathCapacity];
    return readText(HKEY_LOCAL_MACHINE, kUninstallKey, kUninstallStringValue, command, sizeof command) &&
           commandFolder(command, kUninstallerName, named, sizeof named) && samePath(named, folder) &&
           RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey) == ERROR_SUCCESS;
}

} // namespace

bool isGoneFolder(const char* folder) {
    char root[kPathCapacity];
    if (!removableFolderRoot(folder, root, sizeof root) || GetFileAttributesA(root) == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    return GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES && isNotFound(GetLastError());
}

unsigned removeGoneInstallation(const char* folder) {
    char agentExe[kFilePathCapacity];
    if (!joinPath(agentExe, sizeof agentExe, folder, kAgentExeName)) {
        return 0;
    }
    unsigned removed = 0;
    removed |= removeShortcutTo(CSIDL_DESKTOPDIRECTORY, kAgentLinkName, agentExe) ? kGoneDesktopLink : 0;
    removed |= removeShortcutTo(CSIDL_COMMON_PROGRAMS, kStartLinkName, agentExe) ? kGoneStartLink : 0;
    removed |= removeRemovalShortcut(folder) ? kGoneRemovalLink : 0;
    char group[kPathCapacity];
    if ((removed & (kGoneStartLink | kGoneRemovalLink)) != 0 &&
        specialFolderItem(CSIDL_COMMON_PROGRAMS, kGroupFolderName, group, sizeof group)) {
        removeFolderIfEmpty(group);
    }
    removed |= removeShortcutTo(CSIDL_STARTUP, kAgentLinkName, agentExe) ? kGoneAutostartLink : 0;
    removed |= removeAgentKey(folder) ? kGoneAgentKey : 0;
    removed |= removeProgramListEntry(folder) ? kGoneProgramListEntry : 0;
    return removed;
}

void describeGoneInstallation(const char* folder, unsigned removed, char* text, size_t capacity) {
    struct Item {
        unsigned bit;
        const char* text;
    };
    static const Item kItems[] = {
        {kGoneDesktopLink, "ярлык на рабочем столе"},
        {kGoneStartLink, "ярлык \"Запуск\" в меню \"Пуск\""},
        {kGoneRemovalLink, "ярлык \"Удаление\" в меню \"Пуск\""},
        {kGoneAutostartLink, "ярлык автозапуска"},
        {kGoneAgentKey, "запись Агента в реестре"},
        {kGoneProgramListEntry, "запись в списке установленных программ"},
    };
    formatText(text, capacity, "Папка \"%s\" не найдена: файлы и папки не удалялись.\r\n\r\n", folder);
    if (removed == 0) {
        appendText(text, capacity, "Ярлыков и записей в реестре, относящихся к этой установке, не найдено.");
        return;
    }
    appendText(text, capacity, "Удалены ярлыки и записи этой установки:");
    for (const Item& item : kItems) {
        if ((removed & item.bit) != 0) {
            appendText(text, capacity, "\r\n— ");
            appendText(text, capacity, item.text);
        }
    }
}
