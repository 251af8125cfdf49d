// Removal of folders that never passes through a link.
#pragma once

// Removes the folder (named with or without a trailing backslash) and
// everything in it. A link (junction, symbolic link, mount point) is removed
// as a link and never entered, whether it is the folder itself or anything
// inside: what it points at stays as it is. Read-only, hidden and system
// files are made normal before their removal; a link's attributes are left
// alone, since setting them may reach its target. True when the folder no
// longer exists afterwards.
bool removeFolderTree(const char* folder);

// Removes the folder only when it holds nothing. RemoveDirectory alone would
// also remove a link to a folder that still holds files.
bool removeFolderIfEmpty(const char* folder);
