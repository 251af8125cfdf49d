// The updater that the update tests download, the agent starts and the demo
// serves: it writes its command line into "updater-args.txt" beside itself
// and ends. The file is written under a temporary name and renamed when
// complete, so that whoever waits for it never reads it half written.
#include <windows.h>

#include <cstring>

namespace {

constexpr char kArgsFile[] = "updater-args.txt";
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

} // namespace

int main() {
    char target[MAX_PATH];
    char temp[MAX_PATH];
    if (!besideMe(kArgsFile, target, sizeof target) ||
        !besideMe(kArgsFile, temp, sizeof temp - (sizeof kTempSuffix - 1))) {
        return 1;
    }
    strcat(temp, kTempSuffix);
    HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    const char* commandLine = GetCommandLineA();
    DWORD written = 0;
    BOOL ok = WriteFile(file, commandLine, static_cast<DWORD>(strlen(commandLine)), &written, nullptr) &&
              written == strlen(commandLine);
    ok = CloseHandle(file) && ok;
    if (!ok || !MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp);
        return 1;
    }
    return 0;
}
