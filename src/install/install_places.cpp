#include "install/install_places.h"

#include "base/file_names.h"
#include "base/text.h"
#include "core/agent_state.h"

#include <shlobj.h>

#include <cstring>
#include <initializer_list>

bool specialFolderItem(int csidl, const char* name, char* path, size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    path[0] = '\0';
    char folder[kPathCapacity];
    if (!specialFolderPath(csidl, folder, sizeof folder)) {
        return false;
    }
    if (copyText(path, capacity, folder) != strlen(folder) || !appendPathItem(path, capacity, name)) {
        path[0] = '\0';
        return false;
    }
    return true;
}

bool installPlacesOf(InstallKind kind, InstallPlaces& places) {
    bool perMachine = kind == InstallKind::PerMachine;
    places.programsCsidl = perMachine ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
    places.programListRoot = perMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    bool found = perMachine ? formatText(places.uninstallerFolder, sizeof places.uninstallerFolder, "%s\\",
                                         gAgent.windowsFolder) == strlen(gAgent.windowsFolder) + 1
                            : specialFolderItem(CSIDL_LOCAL_APPDATA, kUserUninstallerFolderName,
                                                places.uninstallerFolder, sizeof places.uninstallerFolder);
    return found &&
           joinPath(places.uninstallerExe, sizeof places.uninstallerExe, places.uninstallerFolder, kUninstallerName);
}

bool isUninstallerFolder(const char* folder) {
    for (InstallKind kind : {InstallKind::PerMachine, InstallKind::PerUser}) {
        InstallPlaces places;
        if (installPlacesOf(kind, places) && lstrcmpiA(places.uninstallerFolder, folder) == 0) {
            return true;
        }
    }
    return false;
}
