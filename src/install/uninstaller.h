// Removal of an installation named by the uninstaller's command line.
#pragma once
#include <windows.h>

enum class UninstallOutcome {
    Refused,    // not an installation folder: nothing was touched
    Removed,    // the installation was removed
    FolderGone, // the folder no longer exists: only what named it went
};

struct UninstallResult {
    UninstallOutcome outcome;
    unsigned goneItems; // with FolderGone, the kGone... bits (gone_installation.h) of what went
};

// Removes the installation in gAgent.moduleFolder (ending in a backslash):
// its shortcuts, its running agent, its registry entries, its service folder,
// its executable and, when that leaves it empty, the folder itself. Every
// step runs whatever became of the one before, and nothing is shown. A folder
// that is not an absolute path to a folder holding "Korvel.exe" or
// "MainFolder" is refused without touching anything, unless it is gone
// altogether: then the shortcuts and registry entries that name it are
// removed, and nothing in any folder.
UninstallResult uninstall(HWND owner);

// The pause before a folder that could not be removed is tried again. The
// Windows tests that call uninstall in their own process shorten
// gFolderRemovalPauseMs; the program never changes it.
constexpr DWORD kFolderRemovalPauseMs = 1000;
extern DWORD gFolderRemovalPauseMs;
