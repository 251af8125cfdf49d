// Shell links (.lnk files): the installer's shortcuts and the autostart link.
#pragma once
#include <windows.h>

#include <cstddef>

// Writes the shell link linkPath (UTF-16) to target with the given working
// folder, arguments, hot key word (HOTKEYF_* modifiers in the high byte, the
// virtual key in the low one), show command and icon. COM must be
// initialised on the calling thread. The link's properties are set in turn
// and the first one refused ends the attempt: true only when the link was
// saved.
bool createShortcut(const wchar_t* linkPath, const char* target, const char* workingFolder, const char* arguments,
                    WORD hotKey, int showCommand, const char* iconFile, int iconIndex);

// Reads the target and the arguments of the shell link linkPath (UTF-16).
// COM must be initialised on the calling thread. A link whose target no
// longer exists still tells the path it was made with. False when the link
// cannot be read; both texts are then empty.
bool readShortcut(const wchar_t* linkPath, char* target, size_t targetCapacity, char* arguments,
                  size_t argumentsCapacity);
