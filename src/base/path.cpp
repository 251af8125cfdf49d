#include "base/path.h"

#include <cstring>

bool joinPath(char* path, size_t capacity, const char* folder, const char* name) {
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(name);
    if (capacity == 0) {
        return false;
    }
    if (folderLength + nameLength >= capacity) {
        path[0] = '\0';
        return false;
    }
    memcpy(path, folder, folderLength);
    memcpy(path + folderLength, name, nameLength + 1);
    return true;
}

bool appendPathItem(char* folder, size_t capacity, const char* name) {
    size_t folderLength = strlen(folder);
    bool separator = folderLength == 0 || folder[folderLength - 1] != '\\';
    size_t nameLength = strlen(name);
    if (folderLength + (separator ? 1 : 0) + nameLength >= capacity) {
        return false;
    }
    if (separator) {
        folder[folderLength++] = '\\';
    }
    memcpy(folder + folderLength, name, nameLength + 1);
    return true;
}
