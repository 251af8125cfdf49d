#include "install/install_places.h"

#include "base/path.h"
#include "base/text.h"

#include <shlobj.h>

#include <cstring>

bool specialFolderItem(int csidl, const char* name, char* path, size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    path[0] = '\0';
    char folder[MAX_PATH];
    if (!SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE)) {
        return false;
    }
    if (copyText(path, capacity, folder) != strlen(folder) || !appendPathItem(path, capacity, name)) {
        path[0] = '\0';
        return false;
    }
    return true;
}
