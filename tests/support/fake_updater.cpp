// The updater that the update tests download and the agent starts: it writes
// its command line into "updater-args.txt" beside itself and ends.
#include <windows.h>

#include <cstring>

int main() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    if (length == 0 || length >= MAX_PATH || slash == nullptr ||
        static_cast<size_t>(slash + 1 - path) + sizeof "updater-args.txt" > MAX_PATH) {
        return 1;
    }
    strcpy(slash + 1, "updater-args.txt");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    const char* commandLine = GetCommandLineA();
    DWORD written = 0;
    BOOL ok = WriteFile(file, commandLine, static_cast<DWORD>(strlen(commandLine)), &written, nullptr);
    CloseHandle(file);
    return ok ? 0 : 1;
}
