// The installation itself, once the dialog has its folder and choices: the
// steps it needs, checked one by one and taken back together when one of
// them fails, and the shortcuts, which it can do without.
#pragma once
#include <windows.h>

#include "install/install_places.h"
#include "install/install_shortcuts.h"

struct InstallRequest {
    InstallKind kind;
    const char* folder; // ends with a backslash
    ShortcutChoices shortcuts;
};

// Installs into request.folder. A folder that cannot take the agent is
// refused before anything is made; a needed step that fails (the folder, the
// agent's executable, the service folder and its account list, the
// uninstaller copy, the registry entries) is shown with the system's error,
// and what this installation had made is taken back (an existing account
// list always stays). A running agent of that folder is ended first. On
// success, missed holds the kMissed... bits of the shortcuts that could not
// be made. COM must be initialised.
bool performInstallation(HWND dialog, const InstallRequest& request, unsigned& missed);
