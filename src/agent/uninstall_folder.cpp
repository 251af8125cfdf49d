#include "agent/uninstall_folder.h"

#include "base/text.h"

#include <cstring>

namespace {

bool isWrapping(char c) {
    return c == ' ' || c == '\t' || c == '"';
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isAbsolute(const char* path, size_t length) {
    bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
    if (length >= 3 && letter && path[1] == ':' && isSeparator(path[2])) {
        return true;
    }
    return length >= 3 && isSeparator(path[0]) && isSeparator(path[1]) && !isSeparator(path[2]);
}

} // namespace

bool uninstallFolder(const char* commandLine, char* folder, size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    folder[0] = '\0';
    if (commandLine == nullptr) {
        return false;
    }
    const char* start = commandLine;
    while (isWrapping(*start)) {
        start++;
    }
    size_t length = strlen(start);
    while (length > 0 && isWrapping(start[length - 1])) {
        length--;
    }
    if (length == 0 || length >= capacity || !isAbsolute(start, length)) {
        return false;
    }
    copyTextN(folder, capacity, start, length);
    if (!ensureTrailingBackslash(folder, capacity)) {
        folder[0] = '\0';
        return false;
    }
    return true;
}
