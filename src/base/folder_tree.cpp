#include "base/folder_tree.h"
#include "base/file_names.h"

#include "base/path.h"
#include "base/text.h"
#include "base/win_handles.h"

#include <cstring>

namespace {

constexpr DWORD kAttributesToClear = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool isDotName(const char* name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

bool isNotFound(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// A reparse point whose tag says that it names another place: a junction or
// mount point, a symbolic link. Other reparse points hold their own data
// (cloud placeholders, deduplicated files) and are ordinary entries. Without
// a tag (Wine shows Unix symbolic links so) it is taken for a link.
bool isLink(const WIN32_FIND_DATAA& entry) {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return false;
    }
    return entry.dwReserved0 == 0 || IsReparseTagNameSurrogate(entry.dwReserved0);
}

// The reparse tag is cleared before each search step: Windows sets it for a
// reparse point, but Wine leaves there whatever the step before left.
HANDLE findFirst(const char* pattern, WIN32_FIND_DATAA& entry) {
    entry.dwReserved0 = 0;
    return findFirstFile(pattern, entry);
}

bool findNext(const FindHandle& find, WIN32_FIND_DATAA& entry) {
    entry.dwReserved0 = 0;
    return findNextFile(find.get(), entry) != FALSE;
}

void removeEntry(char* path, size_t capacity, const WIN32_FIND_DATAA& entry);

// Removes what the folder in path holds; path is restored before returning.
// An entry whose path does not fit stays, and so does the folder.
void removeContents(char* path, size_t capacity) {
    size_t length = strlen(path);
    if (!appendPathItem(path, capacity, "*")) {
        return;
    }
    WIN32_FIND_DATAA entry;
    FindHandle find(findFirst(path, entry));
    path[length] = '\0';
    if (!find.valid()) {
        return;
    }
    do {
        if (!isDotName(entry.cFileName) && appendPathItem(path, capacity, entry.cFileName)) {
            removeEntry(path, capacity, entry);
            path[length] = '\0';
        }
    } while (findNext(find, entry));
}

// A link goes by the call that removes the link itself: RemoveDirectory for a
// folder link, DeleteFile for a file link. Neither reaches the target.
void removeEntry(char* path, size_t capacity, const WIN32_FIND_DATAA& entry) {
    bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isLink(entry)) {
        if (folder) {
            removeFolder(path);
        } else {
            deleteFile(path);
        }
        return;
    }
    if ((entry.dwFileAttributes & kAttributesToClear) != 0) {
        setFileAttributes(path, FILE_ATTRIBUTE_NORMAL);
    }
    if (folder) {
        removeContents(path, capacity);
        removeFolder(path);
    } else {
        deleteFile(path);
    }
}

// The folder's path without its trailing backslash, as the search for the
// folder's own entry wants it.
bool copyFolderPath(char* path, size_t capacity, const char* folder) {
    size_t length = strlen(folder);
    if (length == 0 || copyText(path, capacity, folder) != length) {
        return false;
    }
    if (path[length - 1] == '\\') {
        path[length - 1] = '\0';
    }
    return path[0] != '\0';
}

} // namespace

bool removeFolderTree(const char* folder) {
    char path[kFilePathCapacity];
    if (!copyFolderPath(path, sizeof path, folder)) {
        return false;
    }
    WIN32_FIND_DATAA self;
    {
        FindHandle find(findFirst(path, self));
        if (!find.valid()) {
            return isNotFound(GetLastError());
        }
    }
    if ((self.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return false;
    }
    removeEntry(path, sizeof path, self);
    return fileAttributes(path) == INVALID_FILE_ATTRIBUTES && isNotFound(GetLastError());
}

bool removeFolderIfEmpty(const char* folder) {
    char pattern[kFilePathCapacity];
    if (!copyFolderPath(pattern, sizeof pattern, folder) || !appendPathItem(pattern, sizeof pattern, "*")) {
        return false;
    }
    WIN32_FIND_DATAA entry;
    {
        FindHandle find(findFirst(pattern, entry));
        if (!find.valid()) {
            return false;
        }
        do {
            if (!isDotName(entry.cFileName)) {
                return false;
            }
        } while (findNext(find, entry));
    }
    return removeFolder(folder) != FALSE;
}
