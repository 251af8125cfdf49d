#include "install/gone_installation.h"
#include "base/file_names.h"

#include "base/folder_tree.h"
#include "base/path.h"
#include "base/shell_link.h"
#include "base/text.h"
#include "install/install_places.h"
#include "install/installation_entries.h"
#include "install/removal_folder.h"

#include <shlobj.h>

#include <initializer_list>

namespace {

bool isNotFound(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool removeAgentKey(const char* folder) {
    char path[kFilePathCapacity];
    if (!readRegistryText(HKEY_CURRENT_USER, kAgentKey, kPathValue, path, sizeof path) || !samePath(path, folder) ||
        RegDeleteKeyA(HKEY_CURRENT_USER, kAgentKey) != ERROR_SUCCESS) {
        return false;
    }
    // Fails, as it should, while the maker's key holds other programs' keys.
    RegDeleteKeyA(HKEY_CURRENT_USER, kMakerKey);
    return true;
}

} // namespace

bool isGoneFolder(const char* folder) {
    char root[kPathCapacity];
    if (!removableFolderRoot(folder, root, sizeof root) || fileAttributes(root) == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    return fileAttributes(folder) == INVALID_FILE_ATTRIBUTES && isNotFound(GetLastError());
}

unsigned removeGoneInstallation(const char* folder) {
    char agentExe[kFilePathCapacity];
    if (!joinPath(agentExe, sizeof agentExe, folder, kAgentExeName)) {
        return 0;
    }
    unsigned removed = 0;
    removed |= removeShortcutTo(CSIDL_DESKTOPDIRECTORY, kAgentLinkName, agentExe) ? kGoneDesktopLink : 0;
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        removed |= removeProgramGroupOf(csidl, folder, agentExe);
    }
    removed |= removeShortcutTo(CSIDL_STARTUP, kAgentLinkName, agentExe) ? kGoneAutostartLink : 0;
    removed |= removeAgentKey(folder) ? kGoneAgentKey : 0;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        removed |= removeProgramListEntry(root, folder) ? kGoneProgramListEntry : 0;
    }
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
