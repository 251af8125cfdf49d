// The updater that the update tests download, the agent starts and the demo
// serves: it writes its working folder into "updater-folder.txt" and then
// its command line into "updater-args.txt" beside itself, and ends. Each
// file is written under a temporary name and renamed when complete, so that
// whoever waits for the command line never reads either half written.
#include <windows.h>

#include <cstring>

namespace {

constexpr char kArgsFile[] = "updater-args.txt";
constexpr char kFolderFile[] = "updater-folder.txt";
constexpr char kTempSuffix[] = ".tmp";

// The path of name beside this program; false when it does not fit.
bool besideMe(const char* name, char* path, size_t capacity) {
    DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(capacity));
    char* slash = strrchr(path, '\\');
    if (length == 0 || length >= capacity || slash == nullptr ||
        static_cast<size_t>(slash + 1 - path) + strlen(name) + 1 > capacity) {
        return false;
    }
    strcpy(slash + 1, name);
    return true;
}

// Writes text into the file name beside this program.
bool writeBesideMe(const char* name, const char* text) {
    char target[MAX_PATH];
    char temp[MAX_PATH];
    if (!besideMe(name, target, sizeof target) || !besideMe(name, temp, sizeof temp - (sizeof kTempSuffix - 1))) {
        return false;
    }
    strcat(temp, kTempSuffix);
    HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr) && written == strlen(text);
    ok = CloseHandle(file) && ok;
    if (!ok || !MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp);
        return false;
    }
    return true;
}

} // namespace

int main() {
    char folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder || !writeBesideMe(kFolderFile, folder)) {
        return 1;
    }
    return writeBesideMe(kArgsFile, GetCommandLineA()) ? 0 : 1;
}
