#include "folder_links.h"

#include "base/win_handles.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

namespace {

// The mount-point form of the reparse data (a junction): the target as an
// NT path ("\??\C:\...") and as the name shown.
struct MountPointData {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset;
    WORD substituteLength;
    WORD printOffset;
    WORD printLength;
    wchar_t names[2 * MAX_PATH + 8];
};

std::wstring wide(const std::string& text) {
    wchar_t buffer[2 * MAX_PATH];
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, buffer, 2 * MAX_PATH);
    return n > 0 ? std::wstring(buffer) : std::wstring();
}

std::string withoutBackslash(std::string path) {
    while (!path.empty() && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

bool makeJunction(const std::string& link, const std::string& target) {
    std::wstring print = wide(withoutBackslash(target));
    std::wstring substitute = L"\\??\\" + print;
    if (print.empty() || substitute.size() + print.size() + 2 > sizeof(MountPointData::names) / sizeof(wchar_t) ||
        !CreateDirectoryA(link.c_str(), nullptr)) {
        return false;
    }
    UniqueHandle folder(CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    bool made = false;
    if (folder) {
        MountPointData data = {};
        data.tag = IO_REPARSE_TAG_MOUNT_POINT;
        data.substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
        data.printOffset = static_cast<WORD>(data.substituteLength + sizeof(wchar_t));
        data.printLength = static_cast<WORD>(print.size() * sizeof(wchar_t));
        memcpy(data.names, substitute.c_str(), data.substituteLength + sizeof(wchar_t));
        memcpy(data.names + substitute.size() + 1, print.c_str(), data.printLength + sizeof(wchar_t));
        data.dataLength = static_cast<WORD>(4 * sizeof(WORD) + data.printOffset + data.printLength + sizeof(wchar_t));
        DWORD returned = 0;
        made = DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, &data, data.dataLength + 8, nullptr, 0, &returned,
                               nullptr) != FALSE;
    }
    if (!made) {
        RemoveDirectoryA(link.c_str());
    }
    return made;
}

bool makeSymbolicLink(const std::string& link, const std::string& target) {
    const DWORD allowUnprivileged = 2; // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    return CreateSymbolicLinkW(wide(link).c_str(), wide(withoutBackslash(target)).c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | allowUnprivileged) != FALSE;
}

// Wine runs Unix programs for its own tools through this ntdll export.
using UnixSpawn = LONG(CDECL*)(char* const argv[], int wait);
using UnixFileName = char*(CDECL*)(const wchar_t* dosName);

bool runUnix(std::vector<std::string> words) {
    auto spawn = reinterpret_cast<UnixSpawn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "__wine_unix_spawnvp")));
    if (spawn == nullptr) {
        return false;
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    return spawn(argv.data(), 1) == 0;
}

std::string unixName(const std::string& path) {
    auto convert = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* name = convert != nullptr ? convert(wide(withoutBackslash(path)).c_str()) : nullptr;
    if (name == nullptr) {
        return "";
    }
    std::string text = name;
    HeapFree(GetProcessHeap(), 0, name);
    return text;
}

bool makeUnixLink(const std::string& link, const std::string& target) {
    std::string from = unixName(target);
    std::string to = unixName(link);
    return !from.empty() && !to.empty() && runUnix({"/bin/ln", "-s", from, to});
}

// A reparse point that is a folder and shows what is inside its target.
bool isFolderLink(const std::string& link) {
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA(withoutBackslash(link).c_str(), &data));
    if (!find.valid()) {
        return false;
    }
    const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return (data.dwFileAttributes & folderLink) == folderLink;
}

} // namespace

FolderLink::FolderLink(FolderLinkKind kind, const std::string& link, const std::string& target)
    : link_(withoutBackslash(link)) {
    bool windowsLink = kind == FolderLinkKind::Junction ? makeJunction(link_, target) : makeSymbolicLink(link_, target);
    made_ = windowsLink && isFolderLink(link_);
    if (!made_ && GetFileAttributesA(link_.c_str()) == INVALID_FILE_ATTRIBUTES) {
        unix_ = makeUnixLink(link_, target);
        made_ = unix_ && isFolderLink(link_);
    }
}

FolderLink::~FolderLink() {
    if (unix_) {
        runUnix({"/bin/rm", "-f", unixName(link_)});
    } else if (GetFileAttributesA(link_.c_str()) != INVALID_FILE_ATTRIBUTES) {
        RemoveDirectoryA(link_.c_str());
    }
}
