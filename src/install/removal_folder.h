// The uninstaller's judgement of the folder named on its command line, as far
// as the text alone tells.
#pragma once
#include <cstddef>

// True for an absolute folder path ending with a backslash: a drive ("X:\")
// or a share ("\\server\share\") followed by folder names, none of them
// empty or ending in a dot or a blank (".", ".." and the like), and no
// wildcard, stream or other character that a plain folder name cannot hold.
// Everything the removal deletes is built from this path, so anything that
// could point elsewhere than the folder itself is refused.
bool isRemovableFolderText(const char* folder);

// The drive ("X:\") or share ("\\server\share\") that a removable folder
// lies on. False when the folder is not removable (isRemovableFolderText) or
// its root does not fit.
bool removableFolderRoot(const char* folder, char* root, size_t capacity);
