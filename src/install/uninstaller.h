// Removal of an installation named by the uninstaller's command line.
#pragma once
#include <windows.h>

// Removes the installation in gAgent.moduleFolder (ending in a backslash):
// its shortcuts, its running agent, its registry entries, its service folder,
// its executable and, when that leaves it empty, the folder itself. Every
// step runs whatever became of the one before, and nothing is shown. Returns
// 1; returns 0 without touching anything when the folder is not an absolute
// path to a folder holding "Korvel.exe" or "MainFolder".
int uninstall(HWND owner);
