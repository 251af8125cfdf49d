#include "install/install_shortcuts.h"
#include "base/file_names.h"

#include "base/shell_link.h"
#include "base/text.h"
#include "core/agent_state.h"

#include <shlobj.h>

namespace {

// Ctrl+Alt+D starts the agent, Ctrl+Alt+F6 the removal.
constexpr WORD kAgentHotKey = MAKEWORD('D', HOTKEYF_CONTROL | HOTKEYF_ALT);
constexpr WORD kRemovalHotKey = MAKEWORD(VK_F6, HOTKEYF_CONTROL | HOTKEYF_ALT);
constexpr int kRemovalIconIndex = 6;

// What a shortcut starts and how.
struct Shortcut {
    const char* target;
    const char* workingFolder;
    const char* arguments;
    WORD hotKey;
    const char* iconFile;
    int iconIndex;
};

// Writes the shortcut as the special folder csidl + "\" + name.
bool makeShortcut(int csidl, const char* name, const Shortcut& s) {
    char path[kFilePathCapacity];
    wchar_t widePath[kFilePathCapacity];
    if (!specialFolderItem(csidl, name, path, sizeof path) ||
        MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, sizeof widePath / sizeof widePath[0]) == 0) {
        return false;
    }
    return createShortcut(widePath, s.target, s.workingFolder, s.arguments, s.hotKey, SW_SHOWNORMAL, s.iconFile,
                          s.iconIndex);
}

// The group in the kind's Start menu, with the agent's shortcut and, on
// systems older than Vista, the removal's.
bool makeProgramGroup(const InstallPlaces& places, const char* folder, const Shortcut& agent) {
    char group[kPathCapacity];
    if (!specialFolderItem(places.programsCsidl, kGroupFolderName, group, sizeof group) ||
        (!createFolder(group) && GetLastError() != ERROR_ALREADY_EXISTS) ||
        !makeShortcut(places.programsCsidl, kStartLinkName, agent)) {
        return false;
    }
    if (gAgent.isVista != 0) {
        return true;
    }
    const Shortcut removal{places.uninstallerExe, gAgent.windowsFolder,  folder,
                           kRemovalHotKey,        places.uninstallerExe, kRemovalIconIndex};
    return makeShortcut(places.programsCsidl, kRemovalLinkName, removal);
}

} // namespace

unsigned createShortcuts(const ShortcutChoices& choices, const InstallPlaces& places, const char* folder,
                         const char* agentExe) {
    const Shortcut agent{agentExe, folder, "", kAgentHotKey, agentExe, 0};
    unsigned missed = 0;
    if (choices.desktop && !makeShortcut(CSIDL_DESKTOPDIRECTORY, kAgentLinkName, agent)) {
        missed |= kMissedDesktopLink;
    }
    if (choices.group && !makeProgramGroup(places, folder, agent)) {
        missed |= kMissedProgramGroup;
    }
    if (choices.autoStart && !makeShortcut(CSIDL_STARTUP, kAgentLinkName, agent)) {
        missed |= kMissedAutostart;
    }
    return missed;
}

void deleteAutostartShortcut() {
    char path[kFilePathCapacity];
    if (specialFolderItem(CSIDL_STARTUP, kAgentLinkName, path, sizeof path)) {
        deleteFile(path);
    }
}

void describeMissedShortcuts(unsigned missed, char* text, size_t capacity) {
    struct Item {
        unsigned bit;
        const char* text;
    };
    static const Item kItems[] = {
        {kMissedDesktopLink, "Затрудняюсь создать ярлык на рабочем столе."},
        {kMissedProgramGroup, "Затрудняюсь создать программную группу в меню \"Пуск\"."},
        {kMissedAutostart, "Затрудняюсь реализовать автозапуск Агента."},
    };
    text[0] = '\0';
    for (const Item& item : kItems) {
        if ((missed & item.bit) != 0) {
            appendText(text, capacity, text[0] != '\0' ? "\r\n" : "");
            appendText(text, capacity, item.text);
        }
    }
}
