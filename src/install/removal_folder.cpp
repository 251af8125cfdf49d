#include "install/removal_folder.h"

#include "base/text.h"

#include <cstring>

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Where the folder names begin after the drive or share, or null when the
// path does not start with one.
const char* skipRoot(const char* path) {
    if (isAsciiLetter(path[0]) && path[1] == ':' && isSeparator(path[2])) {
        return path + 3;
    }
    if (isSeparator(path[0]) && isSeparator(path[1])) {
        // Server and share: two names, each ended by a separator.
        const char* p = path + 2;
        for (int part = 0; part < 2; part++) {
            const char* start = p;
            while (*p != '\0' && !isSeparator(*p)) {
                p++;
            }
            if (p == start || *p == '\0') {
                return nullptr;
            }
            p++;
        }
        return p;
    }
    return nullptr;
}

} // namespace

bool isRemovableFolderText(const char* folder) {
    if (folder == nullptr) {
        return false;
    }
    size_t length = strlen(folder);
    if (length == 0 || folder[length - 1] != '\\') {
        return false;
    }
    const char* names = skipRoot(folder);
    if (names == nullptr) {
        return false;
    }
    for (const char* p = folder; *p != '\0'; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 32 || strchr("*?\"<>|", c) != nullptr || (c == ':' && p != folder + 1)) {
            return false;
        }
    }
    // Each folder name between separators: no empty name (a doubled
    // separator), and none ending in a dot or a blank, which the system drops
    // from a name: "." and ".." among them, and "..." that becomes one of them.
    const char* start = names;
    for (const char* p = names; *p != '\0'; p++) {
        if (!isSeparator(*p)) {
            continue;
        }
        if (p == start || p[-1] == '.' || p[-1] == ' ') {
            return false;
        }
        start = p + 1;
    }
    return true;
}

bool removableFolderRoot(const char* folder, char* root, size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    root[0] = '\0';
    if (!isRemovableFolderText(folder)) {
        return false;
    }
    size_t length = static_cast<size_t>(skipRoot(folder) - folder);
    if (length >= capacity) {
        return false;
    }
    copyTextN(root, capacity, folder, length);
    return true;
}
