#include "base/shell_link.h"

#include "base/win_handles.h"

#include <shlobj.h>

bool createShortcut(const wchar_t* linkPath, const char* target, const char* workingFolder, const char* arguments,
                    WORD hotKey, int showCommand, const char* iconFile, int iconIndex) {
    ComReference<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.out()))) {
        return false;
    }
    if (FAILED(link->SetPath(target)) || FAILED(link->SetArguments(arguments)) ||
        FAILED(link->SetWorkingDirectory(workingFolder)) || FAILED(link->SetIconLocation(iconFile, iconIndex)) ||
        FAILED(link->SetHotkey(hotKey)) || FAILED(link->SetShowCmd(showCommand))) {
        return false;
    }
    ComReference<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.out()))) {
        return false;
    }
    return SUCCEEDED(file->Save(linkPath, TRUE));
}

bool readShortcut(const wchar_t* linkPath, char* target, size_t targetCapacity, char* arguments,
                  size_t argumentsCapacity) {
    if (targetCapacity == 0 || argumentsCapacity == 0) {
        return false;
    }
    target[0] = '\0';
    arguments[0] = '\0';
    ComReference<IShellLinkA> link;
    ComReference<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.out())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.out())) || FAILED(file->Load(linkPath, STGM_READ))) {
        return false;
    }
    // GetPath tells the stored path without looking for the target (only
    // IShellLink::Resolve does); S_FALSE means that the link has none.
    if (link->GetPath(target, static_cast<int>(targetCapacity), nullptr, 0) != S_OK ||
        FAILED(link->GetArguments(arguments, static_cast<int>(argumentsCapacity)))) {
        target[0] = '\0';
        arguments[0] = '\0';
        return false;
    }
    return true;
}
