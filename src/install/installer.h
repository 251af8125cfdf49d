// The installation dialog, shown where the executable finds no account list,
// and the registry entries of an installation.
#pragma once
#include <windows.h>

// Dialog procedure of the installation dialog (template IDD_INSTALL, modal,
// no owner). Installing ends it, shows the completion dialog and starts the
// installed agent.
INT_PTR CALLBACK installDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Records the installation in folder (ending in a backslash): its path and
// whether it starts with Windows for the agent, and its entry in the
// system's program list with the uninstaller's command line.
void writeInstallRegistry(const char* folder, int autoStart);
