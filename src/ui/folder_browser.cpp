#include "ui/folder_browser.h"

#include "base/file_names.h"
#include "base/path.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "base/wide_text.h"

#include <shlobj.h>

#include <cstring>

const char kInstallCaption[] = "Установка Lumetra Агента";

namespace {

constexpr char kUnnameableFolder[] = "В имени папки \"%s\" есть знаки, которых нет в кириллице Windows (1251). "
                                     "Выберите папку с другим именем.";

} // namespace

bool browseForFolder(HWND owner, const char* title, int rootFolder, UINT flags, int targetControl, char* out,
                     size_t outCapacity) {
    TaskMemory<wchar_t> path(static_cast<wchar_t*>(CoTaskMemAlloc(MAX_PATH * sizeof(wchar_t))));
    if (path.get() == nullptr) {
        showMessage(owner, "Затрудняюсь получить блок памяти.", kInstallCaption);
        return false;
    }
    TaskMemory<ITEMIDLIST> root;
    if (FAILED(SHGetSpecialFolderLocation(owner, rootFolder, root.out())) || root.get() == nullptr) {
        showMessage(owner, "Затрудняюсь обнаружить корневую папку.", kInstallCaption);
        return false;
    }
    WideText wideTitle(title);
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pidlRoot = root.get();
    info.pszDisplayName = path.get();
    info.lpszTitle = wideTitle.get();
    info.ulFlags = flags;
    TaskMemory<ITEMIDLIST> chosen(SHBrowseForFolderW(&info));
    // Cancelled, or a folder without a file-system path.
    if (chosen.get() == nullptr || !SHGetPathFromIDListW(chosen.get(), path.get())) {
        return false;
    }
    char folder[kPathCapacity];
    // Every path the program keeps is Windows-1251: a folder it cannot name
    // is refused rather than turned into another one.
    if (!exactNarrowText(path.get(), folder, sizeof folder)) {
        showUnnameableFolder(owner, kInstallCaption, kUnnameableFolder, path.get());
        return false;
    }
    // A path with no room for the agent's folder is not cut into another one.
    if (!appendPathItem(folder, sizeof folder, "Korvel\\") || (out != nullptr && strlen(folder) >= outCapacity)) {
        showUnnameableFolder(owner, kInstallCaption, "Имя папки \"%s\" задано неверно.", path.get());
        return false;
    }
    if (targetControl != 0) {
        setItemText(owner, targetControl, folder);
    }
    if (out != nullptr) {
        copyText(out, outCapacity, folder);
    }
    return true;
}
