#include "base/ensure_folder.h"
#include "base/file_names.h"

#include "base/text.h"
#include "base/win_util.h"

#include <cstring>

namespace {

constexpr size_t kFolderPathCapacity = 1080;
constexpr size_t kFolderErrorTextCapacity = 120;

bool isFolder(const char* path) {
    DWORD attributes = fileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void reportFailure(HWND owner, const char* path, DWORD code) {
    char errorText[kFolderErrorTextCapacity];
    systemErrorText(code, errorText, sizeof errorText);
    showMessagef(owner, kAgentCaption, MB_OK, "Затрудняюсь создать папку \"%s\"\nОшибка %u: %s", path,
                 static_cast<unsigned>(code), errorText);
}

} // namespace

int ensureFolder(HWND owner, const char* path) {
    char buffer[kFolderPathCapacity];
    copyText(buffer, sizeof buffer, path);
    char* backslash = strchr(buffer, '\\');
    if (backslash == nullptr) {
        showMessagef(owner, kAgentCaption, MB_OK, "Имя папки \"%s\" задано неверно.", buffer);
        return 0;
    }
    while (backslash != nullptr) {
        char* next = strchr(backslash + 1, '\\');
        bool last = next == nullptr;
        char saved = backslash[1];
        backslash[1] = '\0';
        if (createFolder(buffer)) {
            // Only a folder made here, or the folder asked for, loses its
            // attributes: the ancestors (system or hidden folders among them)
            // are the user's and stay as they are.
            setFileAttributes(buffer, FILE_ATTRIBUTE_NORMAL);
        } else {
            DWORD code = GetLastError();
            // A level that exists or may not be created (a drive root answers
            // "access denied") is fine only when it really is a folder: a file
            // in the way, or a folder that could not be made, is a failure.
            if ((code != ERROR_ALREADY_EXISTS && code != ERROR_ACCESS_DENIED) || !isFolder(buffer)) {
                backslash[1] = saved;
                reportFailure(owner, buffer, code);
                return 0;
            }
            if (last) {
                setFileAttributes(buffer, FILE_ATTRIBUTE_NORMAL);
            }
        }
        backslash[1] = saved;
        backslash = next;
    }
    return 1;
}
