// An installation whose folder no longer exists: what still names it
// outside the folder (shortcuts, registry entries) is removed, and nothing
// else.
#pragma once
#include <cstddef>

#include "install/installation_entries.h"

// True when the folder text names a folder that could be removed, its drive
// or share answers, and the folder is not there. A folder on a drive that is
// not attached (or a share out of reach) is not taken for gone.
bool isGoneFolder(const char* folder);

// Removes every shortcut and registry entry that names this folder: the
// desktop, Start menu and autostart shortcuts to its Korvel.exe (the program
// group too when that leaves it empty), the removal shortcut and the program
// list entry that start the uninstaller for it, and the agent's key whose
// "Path" is the folder. Those of another installation stay. COM must be
// initialised. Returns the kGone... bits of what was removed.
unsigned removeGoneInstallation(const char* folder);

// The uninstaller's report of such a removal, for a message box.
void describeGoneInstallation(const char* folder, unsigned removed, char* text, size_t capacity);
