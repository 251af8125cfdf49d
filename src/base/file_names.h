// File and folder names in Windows-1251, whatever the system's code page.
// The A functions would read a name in the system's code page, so a folder
// with Russian letters is garbled or out of reach on a system whose code page
// is 1252 or UTF-8. These functions take the program's Windows-1251 names and
// call the W functions; they keep the A functions' parameters and results.
// A name that Windows gives back (the program's own file, special folders, a
// full or long path, a found file) is converted exactly: one that holds a
// character Windows-1251 cannot hold fails with ERROR_NO_UNICODE_TRANSLATION
// rather than turn into the name of another file.
#pragma once
#include <windows.h>

#include <shellapi.h>

#include <cstddef>

#include <string>

// wide as Windows-1251 into text: false when a character has no Windows-1251
// letter of its own (no best fit) or the text does not fit.
bool exactNarrowText(const wchar_t* wide, char* text, size_t capacity);

HANDLE createFile(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                  DWORD flags, HANDLE templateFile);
BOOL deleteFile(const char* path);
DWORD fileAttributes(const char* path);
BOOL setFileAttributes(const char* path, DWORD attributes);
BOOL createFolder(const char* path);
BOOL removeFolder(const char* path);
BOOL moveFile(const char* source, const char* target, DWORD flags);
BOOL copyFile(const char* source, const char* target, BOOL failIfExists);
BOOL replaceFile(const char* replaced, const char* replacement, DWORD flags);
DWORD fullPathName(const char* path, DWORD capacity, char* out);
DWORD longPathName(const char* path, char* out, DWORD capacity);

// A folder search (basic information) in Windows-1251. A found name that
// Windows-1251 cannot hold comes with "?" for those characters, which no file
// name may contain, so nothing is ever done to another file under it. Only
// the attributes, the reparse tag and the name are filled in.
HANDLE findFirstFile(const char* pattern, WIN32_FIND_DATAA& found);
BOOL findNextFile(HANDLE find, WIN32_FIND_DATAA& found);

DWORD profileString(const char* section, const char* key, const char* fallback, char* out, DWORD capacity,
                    const char* file);
BOOL writeProfileString(const char* section, const char* key, const char* text, const char* file);

// The running program's file. False, with the last error set, when it cannot
// be read or named in Windows-1251; wide then holds the path Windows gave, if
// any.
bool moduleFilePath(char* path, size_t capacity, std::wstring* wide = nullptr);
// The Windows folder: false when it cannot be read or named.
bool windowsFolderPath(char* path, size_t capacity);
// A special folder (CSIDL_*): false when it is not found or cannot be named.
bool specialFolderPath(int csidl, char* path, size_t capacity);
BOOL processImageName(HANDLE process, char* image, DWORD* size);

BOOL createProcess(const char* exe, const char* commandLine, DWORD flags, const char* folder,
                   PROCESS_INFORMATION* process);
// ShellExecuteEx with the given mask, verb "open" and show command.
BOOL shellOpen(HWND owner, ULONG mask, const char* file, const char* parameters, const char* folder, int show);
// SHFileOperation: from and to each end with two zeros.
int fileOperation(SHFILEOPSTRUCTA& operation);

DWORD namedSecurityInfo(const char* path, SECURITY_INFORMATION what, PACL* dacl, PSECURITY_DESCRIPTOR* descriptor);
DWORD setNamedSecurityInfo(const char* path, SECURITY_INFORMATION what, PACL dacl);

// A registry text value holding a path (REG_SZ), in Windows-1251.
LONG setRegistryText(HKEY key, const char* name, const char* value);
LONG registryText(HKEY root, const char* key, const char* name, char* text, DWORD capacity);

// Tells in a message box that Windows-1251 cannot name a folder: format is a
// Windows-1251 text whose "%s" stands for the folder's own (UTF-16) name.
int showUnnameableFolder(HWND owner, const char* caption, const char* format, const wchar_t* folder);
