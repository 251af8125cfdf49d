// The installation folder that the uninstaller copy in the Windows folder
// removes: its whole command line, as the installer wrote it.
#pragma once
#include <cstddef>

// Takes the folder from the command line: blanks, tabs and quotes around it
// are dropped (a launcher may add them; no folder name begins or ends with a
// quote) and a backslash is added at its end. False when nothing is left, or
// when the rest is no absolute path ("X:\..." or "\\server\..."): a relative
// folder would be removed relative to whatever the current folder is. False
// too when it does not fit into capacity.
bool uninstallFolder(const char* commandLine, char* folder, size_t capacity);
