#include "ui/folder_browser.h"

#include "base/path.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"

#include <shlobj.h>

#include <cstring>

const char kInstallCaption[] = "Установка Lumetra Агента";

bool browseForFolder(HWND owner, const char* title, int rootFolder, UINT flags, int targetControl, char* out,
                     size_t outCapacity) {
    TaskMemory<char> path(static_cast<char*>(CoTaskMemAlloc(MAX_PATH)));
    if (path.get() == nullptr) {
        showMessage(owner, "Затрудняюсь получить блок памяти.", kInstallCaption);
        return false;
    }
    TaskMemory<ITEMIDLIST> root;
    if (FAILED(SHGetSpecialFolderLocation(owner, rootFolder, root.out())) || root.get() == nullptr) {
        showMessage(owner, "Затрудняюсь обнаружить корневую папку.", kInstallCaption);
        return false;
    }
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = root.get();
    info.pszDisplayName = path.get();
    info.lpszTitle = title;
    info.ulFlags = flags;
    TaskMemory<ITEMIDLIST> chosen(SHBrowseForFolderA(&info));
    // Cancelled, or a folder without a file-system path.
    if (chosen.get() == nullptr || !SHGetPathFromIDListA(chosen.get(), path.get())) {
        return false;
    }
    char folder[kPathCapacity];
    // A path with no room for the agent's folder is not cut into another one.
    if (copyText(folder, sizeof folder, path.get()) != strlen(path.get()) ||
        !appendPathItem(folder, sizeof folder, "Korvel\\") || (out != nullptr && strlen(folder) >= outCapacity)) {
        showMessagef(owner, kInstallCaption, MB_OK, "Имя папки \"%s\" задано неверно.", path.get());
        return false;
    }
    if (targetControl != 0) {
        SetDlgItemTextA(owner, targetControl, folder);
    }
    if (out != nullptr) {
        copyText(out, outCapacity, folder);
    }
    return true;
}
