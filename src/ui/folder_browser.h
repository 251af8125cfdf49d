// The shell's folder browser, as the installation dialog and the options page
// use it to choose where the agent goes.
#pragma once
#include <windows.h>

#include <cstddef>

// Caption of the installer's messages, also those of the folder browser.
extern const char kInstallCaption[];

// Shows the shell's folder browser (title, root = the special folder
// rootFolder, a CSIDL, and the BIF_* flags). When the user chooses a
// file-system folder, "Korvel\" is appended to its path (after a backslash
// unless the path ends with one) and the result goes into the control
// targetControl of owner (0: none) and into out (nullptr: none); the result
// is true. Cancelling changes nothing. Failures are shown in a message box
// owned by owner.
bool browseForFolder(HWND owner, const char* title, int rootFolder, UINT flags, int targetControl, char* out,
                     size_t outCapacity);
