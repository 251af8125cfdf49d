// Where an installation puts things outside its folder: the names the
// installer creates and the uninstaller removes.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/program_names.h"

constexpr char kServiceFolderName[] = "MainFolder\\";
constexpr char kUninstallerName[] = "UnKorvel.exe";

// The program group in the common programs folder.
constexpr char kGroupFolderName[] = "Korvel\\";
constexpr char kStartLinkName[] = "Korvel\\Запуск.lnk";
constexpr char kRemovalLinkName[] = "Korvel\\Удаление.lnk";

// Under HKEY_LOCAL_MACHINE: the entry of the system's program list, whose
// command starts the uninstaller with the installation folder.
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel";
constexpr char kUninstallStringValue[] = "UninstallString";

// The shell's special folder csidl + "\" + name into path. False when the
// folder is unknown or the path does not fit (path is then empty).
bool specialFolderItem(int csidl, const char* name, char* path, size_t capacity);
