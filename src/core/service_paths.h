// Paths of the files in the service folder (MainFolder\ beside the program).
#pragma once
#include "base/path.h"

// A kernel object name of this installation: prefix, then the service folder
// in lower case with its backslashes (not allowed in names) made "_".
struct InstallationName {
    char text[kFilePathCapacity + 32] = {};
    explicit InstallationName(const char* prefix);
};

// serviceFolder + name. A path that does not fit is logged and left empty,
// so that whatever is done with it fails with an error instead of reaching a
// file of a cut name.
struct ServicePath {
    char text[kFilePathCapacity] = {};
    bool fits = false;
    explicit ServicePath(const char* name);
};
