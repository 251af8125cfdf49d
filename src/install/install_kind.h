// Which kind of installation this process can make, and whether a folder
// can be written before anything is put into it.
#pragma once
#include <windows.h>

#include "install/install_places.h"

// Per machine only when the process is elevated and a file can really be
// made in the Windows folder; per user otherwise (an ordinary user, or an
// administrator whose programs run unelevated). Decided once, when the
// installation dialog opens.
InstallKind decideInstallKind();

// 0 when files can be made in folder, or, while it does not exist yet, in
// the nearest folder above it that does (where it would be made); else the
// error that kept the probe file from being made.
DWORD folderWriteError(const char* folder);
