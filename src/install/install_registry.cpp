#include "install/install_registry.h"

#include "base/file_names.h"
#include "base/text.h"
#include "base/win_handles.h"

#include <cstring>

namespace {

constexpr char kDisplayName[] = "Lumetra Агент";

LONG setString(HKEY key, const char* name, const char* value) {
    return setRegistryText(key, name, value);
}

LONG setNumber(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG createKey(HKEY root, const char* name, RegistryKey& key, bool& created) {
    DWORD disposition = 0;
    LONG error = RegCreateKeyExA(root, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), &disposition);
    created = error == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return error;
}

} // namespace

void uninstallCommand(const InstallPlaces& places, const char* folder, char* command, size_t capacity) {
    if (strchr(places.uninstallerExe, ' ') != nullptr) {
        formatText(command, capacity, "\"%s\" %s", places.uninstallerExe, folder);
    } else {
        formatText(command, capacity, "%s %s", places.uninstallerExe, folder);
    }
}

LONG writeAgentKey(const char* folder, bool autoStart, bool& created) {
    RegistryKey key;
    LONG error = createKey(HKEY_CURRENT_USER, kAgentKey, key, created);
    if (error == ERROR_SUCCESS) {
        error = setString(key.get(), kPathValue, folder);
    }
    if (error == ERROR_SUCCESS) {
        error = setNumber(key.get(), kAutoStartValue, autoStart ? 1 : 0);
    }
    return error;
}

LONG writeProgramListEntry(const InstallPlaces& places, const char* folder, bool& created) {
    RegistryKey key;
    LONG error = createKey(places.programListRoot, kUninstallKey, key, created);
    char text[2 * kFilePathCapacity];
    if (error == ERROR_SUCCESS) {
        error = setString(key.get(), "DisplayName", kDisplayName);
    }
    if (error == ERROR_SUCCESS) {
        uninstallCommand(places, folder, text, sizeof text);
        error = setString(key.get(), kUninstallStringValue, text);
    }
    if (error == ERROR_SUCCESS) {
        formatText(text, sizeof text, "%s%s,0", folder, kAgentExeName);
        error = setString(key.get(), "DisplayIcon", text);
    }
    return error == ERROR_SUCCESS ? setNumber(key.get(), "NoModify", 1) : error;
}
