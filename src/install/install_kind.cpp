#include "install/install_kind.h"
#include "base/file_names.h"

#include "base/path.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "install/desktop_user.h"

#include <cstring>

namespace {

constexpr char kProbeName[] = "Korvel-probe.tmp";

bool exists(const char* path) {
    return fileAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

// Cuts the last folder name off path (ending with a backslash); false when
// nothing is above it.
bool toParent(char* path) {
    size_t length = strlen(path);
    size_t cut = length >= 2 ? length - 2 : 0;
    while (cut > 0 && path[cut] != '\\') {
        cut--;
    }
    if (cut == 0 || path[cut - 1] == '\\') {
        return false;
    }
    path[cut + 1] = '\0';
    return true;
}

} // namespace

DWORD folderWriteError(const char* folder) {
    char existing[kPathCapacity];
    if (copyText(existing, sizeof existing, folder) != strlen(folder) ||
        !ensureTrailingBackslash(existing, sizeof existing)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    while (!exists(existing)) {
        if (!toParent(existing)) {
            return ERROR_PATH_NOT_FOUND;
        }
    }
    char probe[kFilePathCapacity];
    if (!joinPath(probe, sizeof probe, existing, kProbeName)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    // Deleted by the system when closed: nothing is left behind.
    UniqueHandle file(createFile(probe, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file ? 0 : GetLastError();
}

InstallKind decideInstallKind() {
    char windows[kPathCapacity];
    bool probed =
        formatText(windows, sizeof windows, "%s\\", gAgent.windowsFolder) == strlen(gAgent.windowsFolder) + 1 &&
        folderWriteError(windows) == 0;
    return isElevatedProcess() && probed ? InstallKind::PerMachine : InstallKind::PerUser;
}
