// Removal of an installation named by the uninstaller's command line.
#pragma once
#include <windows.h>

// Removes the installation in gAgent.moduleFolder; returns 1.
int uninstall(HWND owner);
