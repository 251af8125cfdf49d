// The program update of the options page: the updater "Velnor.exe" is
// downloaded from the update server, started, and the agent shuts down.
#pragma once
#include <windows.h>

// An announced version is newer than the running program.
bool updateOffered();

// Downloads the updater into the module folder as "Velnor.exe". Every
// failure is logged and shown in the alert window; true when the file was
// written whole (and matches the announced size and hash, when announced).
bool downloadUpdate();

// The update button: downloads, starts "Velnor.exe <version>" and asks the
// agent window to shut the agent down.
void updateProgram(HWND page);
