// The registry entries of an installation: the agent's key (its folder and
// whether it starts with Windows) and the entry of the system's program list.
#pragma once
#include <windows.h>

#include "install/install_places.h"

// Writes the agent's key under HKEY_CURRENT_USER: "Path" = folder (ending
// with a backslash), "AutoStart" = 0 or 1. created tells whether the key was
// new. Returns 0 or the registry's error.
LONG writeAgentKey(const char* folder, bool autoStart, bool& created);

// The entry of the system's program list under the kind's root, whose
// command starts the kind's uninstaller copy with folder. created tells
// whether the key was new. Returns 0 or the registry's error.
LONG writeProgramListEntry(const InstallPlaces& places, const char* folder, bool& created);

// The uninstaller's command: its path (quoted when it holds a blank, so that
// no other program is started in its place) and the folder.
void uninstallCommand(const InstallPlaces& places, const char* folder, char* command, size_t capacity);
