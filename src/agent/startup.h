#pragma once
#include <windows.h>

// Runs the executable in the mode its location calls for (uninstaller,
// installer or agent) and returns the process exit code.
int runKorvel(HINSTANCE instance, const char* commandLine);

// Registers the four window classes of the program; shows the failure text of
// the first class that cannot be registered and returns false.
bool registerWindowClasses(HINSTANCE instance);

// 1 on Windows Vista or later (major version 6 or higher) and when the
// version cannot be read, else 0: the value of isVista.
int detectVista();

// The rule of detectVista for a version read (null: none could be read).
int vistaFromVersion(const OSVERSIONINFOA* version);
