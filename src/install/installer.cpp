#include "install/installer.h"

#include "base/ensure_folder.h"
#include "base/path.h"
#include "base/shell_link.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "base/win_util.h"
#include "core/agent_state.h"
#include "install/install_places.h"
#include "resources/resource.h"
#include "ui/folder_browser.h"
#include "core/program_names.h"

#include <shlobj.h>

#include <cstring>

namespace {

// Ctrl+Alt+D starts the agent, Ctrl+Alt+F6 the removal.
constexpr WORD kAgentHotKey = MAKEWORD('D', HOTKEYF_CONTROL | HOTKEYF_ALT);
constexpr WORD kRemovalHotKey = MAKEWORD(VK_F6, HOTKEYF_CONTROL | HOTKEYF_ALT);
constexpr int kRemovalIconIndex = 6;
constexpr char kProgramFilesFallback[] = "C:\\Program Files\\Korvel\\";

struct InstallChoices {
    bool here;
    bool autoStart;
    bool desktop;
    bool group;
};

// What a shortcut starts and how.
struct Shortcut {
    const char* target;
    const char* workingFolder;
    const char* arguments;
    WORD hotKey;
    const char* iconFile;
    int iconIndex;
};

bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// Writes the shortcut as the special folder csidl + "\" + name.
bool makeShortcut(int csidl, const char* name, const Shortcut& s) {
    char path[kFilePathCapacity];
    wchar_t widePath[kFilePathCapacity];
    if (!specialFolderItem(csidl, name, path, sizeof path) ||
        MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, sizeof widePath / sizeof widePath[0]) == 0) {
        return false;
    }
    return createShortcut(widePath, s.target, s.workingFolder, s.arguments, s.hotKey, SW_SHOWNORMAL, s.iconFile,
                          s.iconIndex);
}

// The desktop shortcut, the program group and the autostart shortcut, as
// chosen; returns whether the agent now starts with Windows.
bool createShortcuts(HWND dialog, const InstallChoices& choices, const char* folder, const char* agentExe,
                     const char* uninstallerExe) {
    const Shortcut agent{agentExe, folder, "", kAgentHotKey, agentExe, 0};
    if (choices.desktop && !makeShortcut(CSIDL_DESKTOPDIRECTORY, kAgentLinkName, agent)) {
        showMessage(dialog, "Затрудняюсь создать ярлык на рабочем столе.", kInstallCaption);
    }
    char group[kPathCapacity];
    if (choices.group && specialFolderItem(CSIDL_COMMON_PROGRAMS, kGroupFolderName, group, sizeof group) &&
        ensureFolder(dialog, group)) {
        makeShortcut(CSIDL_COMMON_PROGRAMS, kStartLinkName, agent);
        if (gAgent.isVista == 0) {
            const Shortcut removal{uninstallerExe, gAgent.windowsFolder, folder,
                                   kRemovalHotKey, uninstallerExe,       kRemovalIconIndex};
            makeShortcut(CSIDL_COMMON_PROGRAMS, kRemovalLinkName, removal);
        }
    }
    if (!choices.autoStart) {
        return false;
    }
    if (!makeShortcut(CSIDL_STARTUP, kAgentLinkName, agent)) {
        showMessage(dialog, "Затрудняюсь реализовать автозапуск Агента.", kInstallCaption);
        return false;
    }
    return true;
}

// The empty account list marks a new installation. An existing one holds the
// user's mailboxes and passwords: installing again keeps it.
void createAccountList(const char* serviceFolder) {
    char path[kFilePathCapacity];
    if (joinPath(path, sizeof path, serviceFolder, kMailBoxFile)) {
        UniqueHandle file(CreateFileA(path, 0, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
}

// Whether both paths name one existing file, however they are spelt.
bool sameFile(const char* a, const char* b) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    UniqueHandle fileA(CreateFileA(a, 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
    UniqueHandle fileB(CreateFileA(b, 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION infoA, infoB;
    return fileA && fileB && GetFileInformationByHandle(fileA.get(), &infoA) &&
           GetFileInformationByHandle(fileB.get(), &infoB) &&
           infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}

// Copies the running executable over target, unless target is the running
// executable itself (installing into the folder started from). The copy is
// taken from the running file, whatever its name. Returns 0 or the error
// that kept the copy from being made.
DWORD copyRunningExecutable(const char* target) {
    char running[kFilePathCapacity];
    DWORD n = GetModuleFileNameA(nullptr, running, sizeof running);
    if (n == 0 || n >= sizeof running) {
        return n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    }
    if (sameFile(running, target)) {
        return 0;
    }
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    return CopyFileA(running, target, FALSE) ? 0 : GetLastError();
}

// The agent's executable in the chosen folder; without it there is no
// installation, so a failure is shown and nothing more is done.
bool installAgentExecutable(HWND dialog, const char* agentExe) {
    DWORD error = copyRunningExecutable(agentExe);
    if (error == 0) {
        return true;
    }
    SystemError failure(error);
    showMessagef(dialog, kInstallCaption, MB_OK | MB_ICONERROR, "Затрудняюсь скопировать программу в %s. Ошибка %u: %s",
                 agentExe, failure.code, failure.text);
    return false;
}

void setString(HKEY key, const char* name, const char* value) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(strlen(value) + 1));
}

void setNumber(HKEY key, const char* name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Started by its full name: an unquoted path with blanks could start
// another program ("C:\Program.exe").
void startAgent(const char* exe) {
    char commandLine[kFilePathCapacity + 2];
    formatText(commandLine, sizeof commandLine, "\"%s\"", exe);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    ProcessInformation process;
    CreateProcessA(exe, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                   process.out());
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
    if (GetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, folder, static_cast<int>(capacity)) == 0) {
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

BOOL onInitDialog(HWND dialog) {
    HICON icon = LoadIconA(gAgent.instance, MAKEINTRESOURCEA(IDI_INSTALL));
    SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    CheckDlgButton(dialog, IDC_INSTALL_DESKTOP, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_GROUP, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_HERE, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_AUTOSTART, BST_CHECKED);
    SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, gAgent.moduleFolder);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_FOLDER), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_BROWSE), FALSE);
    return TRUE;
}

// Installing into the folder started from, or into one of the user's choice
// (Program Files + "Korvel\" to begin with).
void onInstallHereClicked(HWND dialog) {
    bool here = isChecked(dialog, IDC_INSTALL_HERE);
    char folder[kPathCapacity];
    if (here) {
        copyText(folder, sizeof folder, gAgent.moduleFolder);
    } else if (!specialFolderItem(CSIDL_PROGRAM_FILES, "Korvel\\", folder, sizeof folder)) {
        copyText(folder, sizeof folder, kProgramFilesFallback);
    }
    SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, folder);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_FOLDER), !here);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_BROWSE), !here);
}

void onInstall(HWND dialog) {
    InstallChoices choices{isChecked(dialog, IDC_INSTALL_HERE), isChecked(dialog, IDC_INSTALL_AUTOSTART),
                           isChecked(dialog, IDC_INSTALL_DESKTOP), isChecked(dialog, IDC_INSTALL_GROUP)};
    char folder[kPathCapacity];
    EnableWindow(dialog, FALSE);
    if (!readInstallFolder(dialog, folder, sizeof folder) || !ensureFolder(dialog, folder)) {
        EnableWindow(dialog, TRUE);
        return;
    }
    // The folder has room for the service folder, so these paths fit.
    char agentExe[kFilePathCapacity];
    char serviceFolder[kFilePathCapacity];
    char uninstallerExe[kFilePathCapacity];
    joinPath(agentExe, sizeof agentExe, folder, kAgentExeName);
    joinPath(serviceFolder, sizeof serviceFolder, folder, kServiceFolderName);
    formatText(uninstallerExe, sizeof uninstallerExe, "%s\\%s", gAgent.windowsFolder, kUninstallerName);

    if (!installAgentExecutable(dialog, agentExe)) {
        EnableWindow(dialog, TRUE);
        return;
    }
    bool autoStart = false;
    if (ensureFolder(dialog, serviceFolder)) {
        createAccountList(serviceFolder);
        autoStart = createShortcuts(dialog, choices, folder, agentExe, uninstallerExe);
    }
    copyRunningExecutable(uninstallerExe);
    writeInstallRegistry(folder, autoStart ? 1 : 0);

    ShowWindow(dialog, SW_HIDE);
    EndDialog(dialog, IDOK);
    DialogBoxParamA(gAgent.instance, MAKEINTRESOURCEA(IDD_INSTALL_DONE), nullptr, doneDialogProc, 0);
    startAgent(agentExe);
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

void writeInstallRegistry(const char* folder, int autoStart) {
    RegistryKey agent;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kAgentKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, agent.out(), nullptr) ==
        ERROR_SUCCESS) {
        setString(agent.get(), kPathValue, folder);
        setNumber(agent.get(), kAutoStartValue, autoStart != 0 ? 1 : 0);
    }
    RegistryKey uninstall;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, uninstall.out(),
                        nullptr) == ERROR_SUCCESS) {
        char text[2 * kFilePathCapacity];
        setString(uninstall.get(), "DisplayName", "Lumetra Агент");
        formatText(text, sizeof text, "%s\\%s %s", gAgent.windowsFolder, kUninstallerName, folder);
        setString(uninstall.get(), kUninstallStringValue, text);
        formatText(text, sizeof text, "%s%s,0", folder, kAgentExeName);
        setString(uninstall.get(), "DisplayIcon", text);
        setNumber(uninstall.get(), "NoModify", 1);
    }
}

INT_PTR CALLBACK installDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_COMMAND:
        return onCommand(dialog, wParam);
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}
