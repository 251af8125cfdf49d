// The installed agent belongs to the user of the desktop, not to the
// installer: an installer started "as administrator" starts the agent with
// that user's own (unelevated) rights and lets that user change the
// installation folder.
#pragma once
#include <windows.h>

#include "base/win_handles.h"

// Whether this process runs with an elevated token (TokenElevation); false
// when the token cannot be read.
bool isElevatedProcess();

// Starts exe (no arguments, working folder `folder`) through the desktop
// shell's automation, so that the shell starts it with the desktop user's own
// token. The calling thread must have COM initialised apartment-threaded.
// False when exe is no file or any step fails (no shell, no automation).
bool startAsDesktopUser(const char* exe, const char* folder);

// Starts the installed agent exe with the working folder `folder`: an
// elevated process first tries the desktop shell, and otherwise (or when that
// fails) starts it itself by its quoted full path. True when a process was
// started.
bool startAgentProcess(const char* exe, const char* folder);

// Gives the user of the desktop shell (this process's user when there is no
// shell) the right to read, write, run and delete in folder, inherited by its
// files and subfolders, beside the entries already there. Returns 0 or the
// Windows error.
DWORD grantDesktopUserChange(const char* folder);

// The access list current with the entry that grantDesktopUserChange gives
// user added to the entries there; merged stays empty when there is no list
// (open to everyone), which needs no entry. Returns 0 or the Windows error.
DWORD addChangeEntry(ACL* current, PSID user, LocalMemory<ACL>& merged);
