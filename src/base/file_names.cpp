#include "base/file_names.h"

#include "base/text.h"
#include "base/wide_text.h"

#include <aclapi.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

namespace {

// A name Windows-1251 cannot hold: the call fails as Windows fails a name it
// cannot translate.
template <typename T>
T untranslatable(T failure) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return failure;
}

// What Windows gave as a path, in Windows-1251 into out with the A
// functions' count: the length without the zero, the size needed when out is
// too small, 0 when it cannot be named.
DWORD givenPath(const wchar_t* wide, char* out, DWORD capacity) {
    int size = WideCharToMultiByte(kTextCodePage, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return 0;
    }
    if (static_cast<DWORD>(size) > capacity) {
        return static_cast<DWORD>(size);
    }
    if (!exactNarrowText(wide, out, capacity)) {
        return untranslatable<DWORD>(0);
    }
    return static_cast<DWORD>(size - 1);
}

// "?" for what Windows-1251 cannot hold, never a look-alike letter.
void foundName(const wchar_t* wide, char* name, size_t capacity) {
    name[0] = '\0';
    int size = WideCharToMultiByte(kTextCodePage, WC_NO_BEST_FIT_CHARS, wide, -1, name, static_cast<int>(capacity), "?",
                                   nullptr);
    if (size <= 0) {
        copyText(name, capacity, "?");
    }
}

void narrowFound(const WIN32_FIND_DATAW& wide, WIN32_FIND_DATAA& found) {
    found.dwFileAttributes = wide.dwFileAttributes;
    found.dwReserved0 = wide.dwReserved0;
    foundName(wide.cFileName, found.cFileName, sizeof found.cFileName);
}

// A list of names, each ending with a zero and the list with another one.
std::wstring wideList(const char* list) {
    std::wstring wide;
    for (const char* name = list; name != nullptr && *name != '\0'; name += strlen(name) + 1) {
        wide += WideText(name).get();
        wide += L'\0';
    }
    wide += L'\0';
    return wide;
}

// Windows keeps a profile without a UTF-16 mark in the system's code page:
// what goes into it is converted in that code page, so that the file holds
// the program's bytes as the A functions wrote them (the program's sections,
// keys and values are ASCII). Only the file's name is Windows-1251.
class ProfileText {
public:
    explicit ProfileText(const char* text) : null_(text == nullptr) {
        int length = null_ ? 0 : MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        if (length > 0) {
            text_.resize(static_cast<size_t>(length));
            MultiByteToWideChar(CP_ACP, 0, text, -1, &text_[0], length);
        }
    }
    const wchar_t* get() const { return null_ ? nullptr : text_.c_str(); }

private:
    bool null_;
    std::wstring text_;
};

const wchar_t* orNull(const char* text, const WideText& wide) {
    return text == nullptr ? nullptr : wide.get();
}

} // namespace

bool exactNarrowText(const wchar_t* wide, char* text, size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    text[0] = '\0';
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(kTextCodePage, WC_NO_BEST_FIT_CHARS, wide, -1, text, static_cast<int>(capacity),
                                   nullptr, &usedDefault);
    if (size <= 0 || usedDefault) {
        text[0] = '\0';
        return false;
    }
    return true;
}

HANDLE createFile(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                  DWORD flags, HANDLE templateFile) {
    return CreateFileW(WideText(path).get(), access, share, security, disposition, flags, templateFile);
}

BOOL deleteFile(const char* path) {
    return DeleteFileW(WideText(path).get());
}

DWORD fileAttributes(const char* path) {
    return GetFileAttributesW(WideText(path).get());
}

BOOL setFileAttributes(const char* path, DWORD attributes) {
    return SetFileAttributesW(WideText(path).get(), attributes);
}

BOOL createFolder(const char* path) {
    return CreateDirectoryW(WideText(path).get(), nullptr);
}

BOOL removeFolder(const char* path) {
    return RemoveDirectoryW(WideText(path).get());
}

BOOL moveFile(const char* source, const char* target, DWORD flags) {
    return MoveFileExW(WideText(source).get(), WideText(target).get(), flags);
}

BOOL copyFile(const char* source, const char* target, BOOL failIfExists) {
    return CopyFileW(WideText(source).get(), WideText(target).get(), failIfExists);
}

BOOL replaceFile(const char* replaced, const char* replacement, DWORD flags) {
    return ReplaceFileW(WideText(replaced).get(), WideText(replacement).get(), nullptr, flags, nullptr, nullptr);
}

DWORD fullPathName(const char* path, DWORD capacity, char* out) {
    wchar_t wide[MAX_PATH * 2];
    DWORD n = GetFullPathNameW(WideText(path).get(), MAX_PATH * 2, wide, nullptr);
    if (n == 0 || n >= MAX_PATH * 2) {
        return n;
    }
    return givenPath(wide, out, capacity);
}

DWORD longPathName(const char* path, char* out, DWORD capacity) {
    wchar_t wide[MAX_PATH * 2];
    DWORD n = GetLongPathNameW(WideText(path).get(), wide, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) {
        return n;
    }
    return givenPath(wide, out, capacity);
}

HANDLE findFirstFile(const char* pattern, WIN32_FIND_DATAA& found) {
    WIN32_FIND_DATAW wide = {};
    wide.dwReserved0 = found.dwReserved0;
    HANDLE find = FindFirstFileExW(WideText(pattern).get(), FindExInfoBasic, &wide, FindExSearchNameMatch, nullptr, 0);
    if (find != INVALID_HANDLE_VALUE) {
        narrowFound(wide, found);
    }
    return find;
}

BOOL findNextFile(HANDLE find, WIN32_FIND_DATAA& found) {
    WIN32_FIND_DATAW wide = {};
    wide.dwReserved0 = found.dwReserved0;
    if (!FindNextFileW(find, &wide)) {
        return FALSE;
    }
    narrowFound(wide, found);
    return TRUE;
}

DWORD profileString(const char* section, const char* key, const char* fallback, char* out, DWORD capacity,
                    const char* file) {
    if (capacity == 0) {
        return 0;
    }
    std::vector<wchar_t> wide(capacity);
    ProfileText wideSection(section);
    ProfileText wideKey(key);
    GetPrivateProfileStringW(wideSection.get(), wideKey.get(), ProfileText(fallback).get(), wide.data(), capacity,
                             WideText(file).get());
    out[0] = '\0';
    int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, out, static_cast<int>(capacity), nullptr, nullptr);
    return size > 0 ? static_cast<DWORD>(size - 1) : 0;
}

BOOL writeProfileString(const char* section, const char* key, const char* text, const char* file) {
    return WritePrivateProfileStringW(ProfileText(section).get(), ProfileText(key).get(), ProfileText(text).get(),
                                      WideText(file).get());
}

bool moduleFilePath(char* path, size_t capacity, std::wstring* wide) {
    std::vector<wchar_t> buffer(MAX_PATH * 2);
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    // A cut path (n == capacity) would point at the wrong folder.
    if (n == 0 || n >= buffer.size()) {
        SetLastError(n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (wide != nullptr) {
        wide->assign(buffer.data(), n);
    }
    int size = WideCharToMultiByte(kTextCodePage, 0, buffer.data(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0 || static_cast<size_t>(size) > capacity) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (!exactNarrowText(buffer.data(), path, capacity)) {
        return untranslatable(false);
    }
    return true;
}

bool windowsFolderPath(char* path, size_t capacity) {
    wchar_t wide[MAX_PATH];
    UINT n = GetWindowsDirectoryW(wide, MAX_PATH);
    return n > 0 && n < MAX_PATH && exactNarrowText(wide, path, capacity);
}

bool specialFolderPath(int csidl, char* path, size_t capacity) {
    wchar_t wide[MAX_PATH] = {};
    if (capacity > 0) {
        path[0] = '\0';
    }
    return SHGetSpecialFolderPathW(nullptr, wide, csidl, FALSE) && exactNarrowText(wide, path, capacity);
}

BOOL processImageName(HANDLE process, char* image, DWORD* size) {
    wchar_t wide[MAX_PATH * 2];
    DWORD length = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process, 0, wide, &length)) {
        return FALSE;
    }
    if (!exactNarrowText(wide, image, *size)) {
        return untranslatable(FALSE);
    }
    *size = static_cast<DWORD>(strlen(image));
    return TRUE;
}

BOOL createProcess(const char* exe, const char* commandLine, DWORD flags, const char* folder,
                   PROCESS_INFORMATION* process) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // CreateProcessW may write into its command line.
    std::wstring line = WideText(commandLine).get();
    WideText wideFolder(folder);
    return CreateProcessW(WideText(exe).get(), &line[0], nullptr, nullptr, FALSE, flags, nullptr,
                          orNull(folder, wideFolder), &startup, process);
}

BOOL shellOpen(HWND owner, ULONG mask, const char* file, const char* parameters, const char* folder, int show) {
    WideText wideFile(file);
    WideText wideParameters(parameters);
    WideText wideFolder(folder);
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof execute;
    execute.fMask = mask;
    execute.hwnd = owner;
    execute.lpVerb = L"open";
    execute.lpFile = wideFile.get();
    execute.lpParameters = orNull(parameters, wideParameters);
    execute.lpDirectory = orNull(folder, wideFolder);
    execute.nShow = show;
    return ShellExecuteExW(&execute);
}

int fileOperation(SHFILEOPSTRUCTA& operation) {
    std::wstring from = wideList(operation.pFrom);
    std::wstring to = wideList(operation.pTo);
    WideText title(operation.lpszProgressTitle);
    SHFILEOPSTRUCTW wide = {};
    wide.hwnd = operation.hwnd;
    wide.wFunc = operation.wFunc;
    wide.pFrom = from.c_str();
    wide.pTo = operation.pTo == nullptr ? nullptr : to.c_str();
    wide.fFlags = operation.fFlags;
    wide.lpszProgressTitle = orNull(operation.lpszProgressTitle, title);
    int result = SHFileOperationW(&wide);
    operation.fAnyOperationsAborted = wide.fAnyOperationsAborted;
    return result;
}

DWORD namedSecurityInfo(const char* path, SECURITY_INFORMATION what, PACL* dacl, PSECURITY_DESCRIPTOR* descriptor) {
    return GetNamedSecurityInfoW(WideText(path).get(), SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr,
                                 descriptor);
}

DWORD setNamedSecurityInfo(const char* path, SECURITY_INFORMATION what, PACL dacl) {
    std::wstring wide = WideText(path).get();
    return SetNamedSecurityInfoW(&wide[0], SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
}

LONG setRegistryText(HKEY key, const char* name, const char* value) {
    std::wstring wide = WideText(value).get();
    return RegSetValueExW(key, WideText(name).get(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

LONG registryText(HKEY root, const char* key, const char* name, char* text, DWORD capacity) {
    std::vector<wchar_t> wide(capacity);
    DWORD size = capacity * sizeof(wchar_t);
    LONG error =
        RegGetValueW(root, WideText(key).get(), WideText(name).get(), RRF_RT_REG_SZ, nullptr, wide.data(), &size);
    if (error == ERROR_SUCCESS && !exactNarrowText(wide.data(), text, capacity)) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    return error;
}

int showUnnameableFolder(HWND owner, const char* caption, const char* format, const wchar_t* folder) {
    std::string before = format;
    std::string after;
    size_t mark = before.find("%s");
    if (mark != std::string::npos) {
        after = before.substr(mark + 2);
        before.resize(mark);
    }
    std::wstring text = WideText(before.c_str()).get();
    text += folder;
    text += WideText(after.c_str()).get();
    HWND topLevel = owner != nullptr ? GetAncestor(owner, GA_ROOT) : nullptr;
    return MessageBoxW(topLevel != nullptr ? topLevel : owner, text.c_str(), WideText(caption).get(),
                       MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND);
}
