// Paths of the files in the service folder (MainFolder\ beside the program).
#pragma once
#include "base/path.h"

// serviceFolder + name. A path that does not fit is logged and left empty,
// so that whatever is done with it fails with an error instead of reaching a
// file of a cut name.
struct ServicePath {
    char text[kFilePathCapacity] = {};
    bool fits = false;
    explicit ServicePath(const char* name);
};
