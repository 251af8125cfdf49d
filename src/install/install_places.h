// Where an installation puts things outside its folder: the names the
// installer creates and the uninstaller removes, for both kinds of
// installation.
#pragma once
#include <windows.h>

#include <cstddef>

#include "base/path.h"
#include "core/program_names.h"

constexpr char kServiceFolderName[] = "MainFolder\\";
constexpr char kUninstallerName[] = "UnKorvel.exe";

// The program group in a Start menu's programs folder.
constexpr char kGroupFolderName[] = "Korvel\\";
constexpr char kStartLinkName[] = "Korvel\\Запуск.lnk";
constexpr char kRemovalLinkName[] = "Korvel\\Удаление.lnk";

// The entry of the system's program list, whose command starts the
// uninstaller with the installation folder.
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel";
constexpr char kUninstallStringValue[] = "UninstallString";

// Under the user's local application data: the folder a per-user
// installation proposes, and the one that holds its uninstaller copy.
constexpr char kUserProgramFolderName[] = "Programs\\Korvel\\";
constexpr char kUserUninstallerFolderName[] = "Brastel\\Korvel\\";

// A per-machine installation writes for every user of the computer (the
// common Start menu, HKEY_LOCAL_MACHINE, the Windows folder), which only an
// elevated administrator may. A per-user one keeps to the user's own places.
enum class InstallKind { PerMachine, PerUser };

struct InstallPlaces {
    int programsCsidl;                      // the Start menu folder of the group
    HKEY programListRoot;                   // the root of kUninstallKey
    char uninstallerFolder[kPathCapacity];  // ends with a backslash
    char uninstallerExe[kFilePathCapacity]; // uninstallerFolder + kUninstallerName
};

// The places of an installation of this kind. False when a folder of it is
// unknown or its path does not fit.
bool installPlacesOf(InstallKind kind, InstallPlaces& places);

// Whether folder (ending with a backslash) is where an uninstaller copy
// lives: the Windows folder or the user's uninstaller folder. The executable
// started from there removes an installation, and no agent may live there.
bool isUninstallerFolder(const char* folder);

// The shell's special folder csidl + "\" + name into path. False when the
// folder is unknown or the path does not fit (path is then empty).
bool specialFolderItem(int csidl, const char* name, char* path, size_t capacity);
