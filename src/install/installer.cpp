#include "install/installer.h"

#include "base/file_names.h"
#include "base/path.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "core/program_names.h"
#include "install/desktop_user.h"
#include "install/install_places.h"
#include "install/installation.h"
#include "resources/resource.h"
#include "ui/folder_browser.h"

#include <shlobj.h>

#include <cstring>

namespace {

constexpr char kProgramFilesFallback[] = "C:\\Program Files\\Korvel\\";

bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// The kind of installation, decided when the dialog opened, is kept on it.
InstallKind dialogInstallKind(HWND dialog) {
    return static_cast<InstallKind>(GetWindowLongPtrA(dialog, DWLP_USER));
}

INT_PTR CALLBACK doneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, IDOK);
        return TRUE;
    default:
        return FALSE;
    }
}

// The folder typed, with its trailing backslash. False when the field is
// empty (nothing happens) or when the folder leaves no room for the agent's
// own paths (shown, so that the user can choose another).
bool readInstallFolder(HWND dialog, char* folder, size_t capacity) {
    // The typed name must come over exactly: a letter Windows-1251 cannot
    // hold would make it name another folder.
    wchar_t typed[kPathCapacity] = {};
    if (GetDlgItemTextW(dialog, IDC_INSTALL_FOLDER, typed, kPathCapacity) == 0) {
        return false;
    }
    if (!exactNarrowText(typed, folder, capacity)) {
        showUnnameableFolder(dialog, kInstallCaption,
                             "В имени папки \"%s\" есть знаки, которых нет в кириллице Windows (1251). "
                             "Выберите папку с другим именем.",
                             typed);
        folder[0] = '\0';
        return false;
    }
    char service[kPathCapacity];
    if (!ensureTrailingBackslash(folder, capacity) || !joinPath(service, sizeof service, folder, kServiceFolderName)) {
        showMessagef(dialog, kInstallCaption, MB_OK, "Имя папки \"%s\" задано неверно.", folder);
        folder[0] = '\0';
        return false;
    }
    return true;
}

BOOL onInitDialog(HWND dialog, LPARAM kind) {
    SetWindowLongPtrA(dialog, DWLP_USER, kind);
    HICON icon = LoadIconA(gAgent.instance, MAKEINTRESOURCEA(IDI_INSTALL));
    SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    CheckDlgButton(dialog, IDC_INSTALL_DESKTOP, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_GROUP, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_HERE, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_AUTOSTART, BST_CHECKED);
    setItemText(dialog, IDC_INSTALL_FOLDER, gAgent.moduleFolder);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_FOLDER), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_BROWSE), FALSE);
    return TRUE;
}

// The folder proposed when the user chooses one: the programs folder of the
// computer for a per-machine installation, the user's own for a per-user
// one, which cannot write into the computer's.
void proposedFolder(InstallKind kind, char* folder, size_t capacity) {
    if (kind == InstallKind::PerUser &&
        specialFolderItem(CSIDL_LOCAL_APPDATA, kUserProgramFolderName, folder, capacity)) {
        return;
    }
    if (!specialFolderItem(CSIDL_PROGRAM_FILES, "Korvel\\", folder, capacity)) {
        copyText(folder, capacity, kProgramFilesFallback);
    }
}

// Installing into the folder started from, or into one of the user's choice.
void onInstallHereClicked(HWND dialog) {
    bool here = isChecked(dialog, IDC_INSTALL_HERE);
    char folder[kPathCapacity];
    if (here) {
        copyText(folder, sizeof folder, gAgent.moduleFolder);
    } else {
        proposedFolder(dialogInstallKind(dialog), folder, sizeof folder);
    }
    setItemText(dialog, IDC_INSTALL_FOLDER, folder);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_FOLDER), !here);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_BROWSE), !here);
}

// The completion: its dialog when everything was made, otherwise a message
// that names the shortcuts missing.
void reportCompletion(unsigned missed) {
    if (missed == 0) {
        DialogBoxParamW(gAgent.instance, MAKEINTRESOURCEW(IDD_INSTALL_DONE), nullptr, doneDialogProc, 0);
        return;
    }
    char text[512];
    describeMissedShortcuts(missed, text, sizeof text);
    showMessagef(nullptr, kInstallCaption, MB_OK | MB_ICONWARNING,
                 "Установка Агента завершена, но не всё удалось:\r\n%s", text);
}

void onInstall(HWND dialog) {
    char folder[kPathCapacity];
    if (!readInstallFolder(dialog, folder, sizeof folder)) {
        return;
    }
    InstallRequest request{dialogInstallKind(dialog),
                           folder,
                           {isChecked(dialog, IDC_INSTALL_DESKTOP), isChecked(dialog, IDC_INSTALL_GROUP),
                            isChecked(dialog, IDC_INSTALL_AUTOSTART)}};
    EnableWindow(dialog, FALSE);
    unsigned missed = 0;
    if (!performInstallation(dialog, request, missed)) {
        EnableWindow(dialog, TRUE);
        return;
    }
    ShowWindow(dialog, SW_HIDE);
    EndDialog(dialog, IDOK);
    reportCompletion(missed);
    char agentExe[kFilePathCapacity];
    if (joinPath(agentExe, sizeof agentExe, folder, kAgentExeName) && !startAgentProcess(agentExe, folder)) {
        SystemError failure(GetLastError());
        showMessagef(nullptr, kInstallCaption, MB_OK | MB_ICONERROR, "Затрудняюсь запустить Агента %s. Ошибка %u: %s",
                     agentExe, failure.code, failure.text);
    }
}

BOOL onCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDOK:
        onInstall(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case IDC_INSTALL_HERE:
        if (HIWORD(wParam) == BN_CLICKED) {
            onInstallHereClicked(dialog);
        }
        return TRUE;
    case IDC_INSTALL_BROWSE:
        if (HIWORD(wParam) == BN_CLICKED) {
            browseForFolder(dialog, "Выберите папку.", CSIDL_DESKTOP, BIF_RETURNONLYFSDIRS, IDC_INSTALL_FOLDER, nullptr,
                            0);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK installDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog, lParam);
    case WM_COMMAND:
        return onCommand(dialog, wParam);
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}
