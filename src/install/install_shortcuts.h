// The shortcuts an installation makes as the user chose: on the desktop, a
// program group in the Start menu, and one that starts the agent with
// Windows. None of them is needed for the agent to run.
#pragma once
#include "install/install_places.h"

// The shortcuts that could not be made, as bits.
constexpr unsigned kMissedDesktopLink = 1u << 0;
constexpr unsigned kMissedProgramGroup = 1u << 1;
constexpr unsigned kMissedAutostart = 1u << 2;

struct ShortcutChoices {
    bool desktop;
    bool group;
    bool autoStart;
};

// Makes the chosen shortcuts to agentExe in folder (ending with a
// backslash); the group goes into the kind's Start menu. COM must be
// initialised. Returns the kMissed... bits of those that could not be made.
unsigned createShortcuts(const ShortcutChoices& choices, const InstallPlaces& places, const char* folder,
                         const char* agentExe);

// Deletes the autostart shortcut again (when the choice could not be
// recorded).
void deleteAutostartShortcut();

// The user's report of the missed shortcuts, one line each.
void describeMissedShortcuts(unsigned missed, char* text, size_t capacity);
