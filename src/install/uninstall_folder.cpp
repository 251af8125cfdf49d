#include "install/uninstall_folder.h"

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

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool sameIgnoringAsciiCase(char a, char b) {
    return a == b || (isAsciiLetter(a) && isAsciiLetter(b) && (a | 0x20) == (b | 0x20));
}

// Where name occurs first in text, its ASCII letters in any case; null when
// it does not.
const char* findIgnoringAsciiCase(const char* text, const char* name) {
    size_t length = strlen(name);
    for (const char* p = text; *p != '\0'; p++) {
        size_t i = 0;
        while (i < length && sameIgnoringAsciiCase(p[i], name[i])) {
            i++;
        }
        if (i == length) {
            return p;
        }
    }
    return nullptr;
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

bool commandFolder(const char* command, const char* exeName, char* folder, size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    folder[0] = '\0';
    const char* name = command != nullptr && exeName != nullptr && exeName[0] != '\0'
                           ? findIgnoringAsciiCase(command, exeName)
                           : nullptr;
    return name != nullptr && uninstallFolder(name + strlen(exeName), folder, capacity);
}
