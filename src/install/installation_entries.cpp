#include "install/installation_entries.h"
#include "base/file_names.h"

#include "base/folder_tree.h"
#include "base/path.h"
#include "base/shell_link.h"
#include "install/install_places.h"
#include "install/uninstall_folder.h"

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

bool readRegistryText(HKEY root, const char* key, const char* name, char* text, size_t capacity) {
    return registryText(root, key, name, text, static_cast<DWORD>(capacity)) == ERROR_SUCCESS;
}

namespace {

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

// Deletes the removal shortcut when it starts the uninstaller for folder.
bool removeRemovalShortcut(int csidl, const char* folder) {
    ShortcutText link;
    char named[kFilePathCapacity];
    return readShortcutOf(csidl, kRemovalLinkName, link) && uninstallFolder(link.arguments, named, sizeof named) &&
           samePath(named, folder) && deleteFile(link.path);
}

} // namespace

bool removeShortcutTo(int csidl, const char* name, const char* agentExe) {
    ShortcutText link;
    return readShortcutOf(csidl, name, link) && samePath(link.target, agentExe) && deleteFile(link.path);
}

bool removeProgramListEntry(HKEY root, const char* folder) {
    char command[2 * kFilePathCapacity];
    char named[kFilePathCapacity];
    return readRegistryText(root, kUninstallKey, kUninstallStringValue, command, sizeof command) &&
           commandFolder(command, kUninstallerName, named, sizeof named) && samePath(named, folder) &&
           RegDeleteKeyA(root, kUninstallKey) == ERROR_SUCCESS;
}

unsigned removeProgramGroupOf(int csidl, const char* folder, const char* agentExe) {
    unsigned removed = 0;
    removed |= removeShortcutTo(csidl, kStartLinkName, agentExe) ? kGoneStartLink : 0;
    removed |= removeRemovalShortcut(csidl, folder) ? kGoneRemovalLink : 0;
    char group[kPathCapacity];
    if (removed != 0 && specialFolderItem(csidl, kGroupFolderName, group, sizeof group)) {
        removeFolderIfEmpty(group);
    }
    return removed;
}
