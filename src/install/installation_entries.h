// What names an installation outside its folder (shortcuts, registry
// entries), found and removed only where it names this installation.
#pragma once
#include <windows.h>

#include <cstddef>

// The things of an installation outside its folder, as bits.
constexpr unsigned kGoneDesktopLink = 1u << 0;
constexpr unsigned kGoneStartLink = 1u << 1;
constexpr unsigned kGoneRemovalLink = 1u << 2;
constexpr unsigned kGoneAutostartLink = 1u << 3;
constexpr unsigned kGoneAgentKey = 1u << 4;
constexpr unsigned kGoneProgramListEntry = 1u << 5;

// Whether two paths are spelt alike, as the file system compares names
// (ordinal, case ignored); a trailing backslash does not count.
bool samePath(const char* a, const char* b);

bool readRegistryText(HKEY root, const char* key, const char* name, char* text, size_t capacity);

// Deletes the shortcut csidl + "\" + name when it starts agentExe.
bool removeShortcutTo(int csidl, const char* name, const char* agentExe);

// Deletes the program group's shortcuts in the Start menu folder csidl that
// start agentExe or the uninstaller for folder, and the group when that
// leaves it empty. Returns kGoneStartLink and kGoneRemovalLink as removed.
unsigned removeProgramGroupOf(int csidl, const char* folder, const char* agentExe);

// Deletes the program list entry under root when its command removes
// folder.
bool removeProgramListEntry(HKEY root, const char* folder);
