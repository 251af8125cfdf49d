// The installation folder that the uninstaller copy in the Windows folder
// removes: its whole command line, as the installer wrote it, or the part of
// a command that follows the uninstaller's name.
#pragma once
#include <cstddef>

// Takes the folder from the command line: blanks, tabs and quotes around it
// are dropped (a launcher may add them; no folder name begins or ends with a
// quote) and a backslash is added at its end. False when nothing is left, or
// when the rest is no absolute path ("X:\..." or "\\server\..."): a relative
// folder would be removed relative to whatever the current folder is. False
// too when it does not fit into capacity.
bool uninstallFolder(const char* commandLine, char* folder, size_t capacity);

// The folder of a command that starts the uninstaller: what follows the
// first exeName in the command (its letters in any case), taken as
// uninstallFolder takes a command line. The entry of the system's program
// list starts the uninstaller so. False when the command does not name
// exeName or no folder follows it.
bool commandFolder(const char* command, const char* exeName, char* folder, size_t capacity);
