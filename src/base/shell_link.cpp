#include "base/shell_link.h"

#include "base/file_names.h"
#include "base/wide_text.h"
#include "base/win_handles.h"

#include <shlobj.h>

bool createShortcut(const wchar_t* linkPath, const char* target, const char* workingFolder, const char* arguments,
                    WORD hotKey, int showCommand, const char* iconFile, int iconIndex) {
    ComReference<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out()))) {
        return false;
    }
    if (FAILED(link->SetPath(WideText(target).get())) || FAILED(link->SetArguments(WideText(arguments).get())) ||
        FAILED(link->SetWorkingDirectory(WideText(workingFolder).get())) ||
        FAILED(link->SetIconLocation(WideText(iconFile).get(), iconIndex)) || FAILED(link->SetHotkey(hotKey)) ||
        FAILED(link->SetShowCmd(showCommand))) {
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
    ComReference<IShellLinkW> link;
    ComReference<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.out())) || FAILED(file->Load(linkPath, STGM_READ))) {
        return false;
    }
    // GetPath tells the stored path without looking for the target (only
    // IShellLink::Resolve does); S_FALSE means that the link has none.
    // A target that Windows-1251 cannot name is no link of this program.
    wchar_t wideTarget[MAX_PATH * 2] = {};
    wchar_t wideArguments[MAX_PATH * 2] = {};
    if (link->GetPath(wideTarget, MAX_PATH * 2, nullptr, 0) != S_OK ||
        FAILED(link->GetArguments(wideArguments, MAX_PATH * 2)) ||
        !exactNarrowText(wideTarget, target, targetCapacity) ||
        !exactNarrowText(wideArguments, arguments, argumentsCapacity)) {
        target[0] = '\0';
        arguments[0] = '\0';
        return false;
    }
    return true;
}
