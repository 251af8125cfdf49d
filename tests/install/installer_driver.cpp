// Driving Korvel.exe's installer and uninstaller from a test, and reading
// back what they made.
#include "installer_driver.h"

#include "base/shell_link.h"
#include "resources/resource.h"
#include "base/win_handles.h"

#include "win_test_support.h"

#include <shlobj.h>

namespace {
constexpr char kInstallCaption[] = "Установка Lumetra Агента";
constexpr char kDoneText[] = "Установка Агента успешно завершена";
} // namespace

std::string specialFolder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    return path;
}

std::string desktopLink() {
    return specialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Korvel.lnk";
}
std::string startupLink() {
    return specialFolder(CSIDL_STARTUP) + "\\Korvel.lnk";
}
std::string windowsFolder() {
    char path[MAX_PATH] = {};
    GetWindowsDirectoryA(path, sizeof path);
    return path;
}

// A shortcut's target, arguments, working folder, icon, hot key and show
// command, read back through the shell link interface.
std::string linkText(const std::string& path) {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    wchar_t widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
    std::string text = "<unreadable>";
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(widePath, STGM_READ))) {
        char target[MAX_PATH], arguments[MAX_PATH], folder[MAX_PATH], icon[MAX_PATH], rest[64];
        int iconIndex = -1, show = -1;
        WORD hotKey = 0;
        link->GetPath(target, MAX_PATH, nullptr, 0);
        link->GetArguments(arguments, MAX_PATH);
        link->GetWorkingDirectory(folder, MAX_PATH);
        link->GetIconLocation(icon, MAX_PATH, &iconIndex);
        link->GetHotkey(&hotKey);
        link->GetShowCmd(&show);
        wsprintfA(rest, ",%d|%04x|%d", iconIndex, hotKey, show);
        text = std::string(target) + "|" + arguments + "|" + folder + "|" + icon + rest;
    }
    if (file != nullptr) {
        file->Release();
    }
    if (link != nullptr) {
        link->Release();
    }
    return text;
}

// A registry value as text (numbers in decimal); empty when it is missing.
std::string registryValue(HKEY root, const char* key, const char* name) {
    char value[1024] = {};
    DWORD size = sizeof value, type = 0;
    if (RegGetValueA(root, key, name, RRF_RT_ANY, &type, value, &size) != ERROR_SUCCESS) {
        return "";
    }
    return type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(value)) : std::string(value);
}

bool registryKeyExists(HKEY root, const char* key) {
    RegistryKey opened;
    return RegOpenKeyExA(root, key, 0, KEY_READ, opened.out()) == ERROR_SUCCESS;
}

// The window and process of the agent started from exe, once it runs.
HWND waitForAgentOf(const std::string& exe, UniqueHandle& process, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    do {
        HWND window = nullptr;
        while ((window = FindWindowExA(nullptr, window, "Lumetra_Agent_Class", "MAIn Window")) != nullptr) {
            DWORD id = 0;
            GetWindowThreadProcessId(window, &id);
            UniqueHandle candidate(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
            char image[MAX_PATH] = {};
            DWORD size = sizeof image;
            DWORD_PTR result = 0;
            if (candidate && QueryFullProcessImageNameA(candidate.get(), 0, image, &size) &&
                lstrcmpiA(image, exe.c_str()) == 0 &&
                SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kAgentStartTimeoutMs, &result)) {
                process = std::move(candidate);
                return window;
            }
        }
        Sleep(50); // the agent's window is looked for again until it is up
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

// Shuts the agent started from exe down, if one runs; true when it ended.
bool quitAgentOf(const std::string& exe, DWORD timeoutMs) {
    UniqueHandle process;
    HWND window = waitForAgentOf(exe, process, timeoutMs);
    return window != nullptr && PostMessageA(window, WM_COMMAND, IDM_QUIT, 0) &&
           WaitForSingleObject(process.get(), kAgentStartTimeoutMs) == WAIT_OBJECT_0;
}

// Starts the installer of inst, lets adjust set up its dialog, presses
// "Установить" and answers every box that follows with OK until it ends.
// With cancelAfterNotice the dialog is cancelled once a box other than the
// completion's has been answered (a failure leaves the dialog open).
InstallerRun runInstaller(const Installation& inst, const std::function<void(HWND)>& adjust,
                          const std::string& screenshotPrefix, bool cancelAfterNotice) {
    InstallerRun run;
    ChildProcess installer;
    if (!installer.start(inst.exe())) {
        return run;
    }
    HWND dialog = waitForWindow(installer.id(), "#32770", kInstallCaption, kAgentStartTimeoutMs);
    if (dialog == nullptr) {
        return run;
    }
    adjust(dialog);
    if (!screenshotPrefix.empty()) {
        saveScreenshot(artifactsFolder() + screenshotPrefix + "-dialog.bmp");
    }
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    HWND answered = nullptr;
    DWORD start = GetTickCount();
    while (!(run.ended = installer.wait(25)) && GetTickCount() - start < kAgentStartTimeoutMs) {
        MessageBoxInfo box;
        if (!waitForMessageBox(installer.id(), box, 0) || box.window == dialog || box.window == answered) {
            continue;
        }
        if (box.text == kDoneText) {
            run.completed = true;
            if (!screenshotPrefix.empty()) {
                saveScreenshot(artifactsFolder() + screenshotPrefix + "-done.bmp");
            }
        } else {
            run.notices.push_back(box.text);
        }
        answered = box.window;
        answerMessageBox(box.window, IDOK);
        if (cancelAfterNotice && !run.notices.empty()) {
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    }
    return run;
}

// A shortcut as the installer makes them, to target with arguments.
bool makeShortcut(const std::string& path, const std::string& target, const std::string& arguments) {
    wchar_t widePath[MAX_PATH];
    return MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH) != 0 &&
           createShortcut(widePath, target.c_str(), "", arguments.c_str(), 0, SW_SHOWNORMAL, target.c_str(), 0);
}

bool setRegistryText(HKEY root, const char* key, const char* name, const std::string& value) {
    RegistryKey opened;
    return RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, opened.out(), nullptr) == ERROR_SUCCESS &&
           RegSetValueExA(opened.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

// Runs the uninstaller copy for folder and confirms the removal; returns the
// caption and text of the message box that follows ("" when none does).
std::string uninstallAndReadReport(const std::string& uninstaller, const std::string& folder,
                                   const std::string& screenshot) {
    ChildProcess process;
    MessageBoxInfo box;
    if (!process.start(uninstaller, folder) || !waitForMessageBox(process.id(), box, kAgentStartTimeoutMs)) {
        return "<no question>";
    }
    HWND question = box.window;
    answerMessageBox(question, IDYES);
    DWORD start = GetTickCount();
    while (!process.wait(25) && GetTickCount() - start < kAgentStartTimeoutMs) {
        if (waitForMessageBox(process.id(), box, 0) && box.window != question) {
            if (!screenshot.empty()) {
                saveScreenshot(artifactsFolder() + screenshot);
            }
            answerMessageBox(box.window, IDOK);
            process.wait(kAgentStartTimeoutMs);
            return box.caption + "|" + box.text;
        }
    }
    return "";
}

void click(HWND dialog, int control) {
    SendMessageA(GetDlgItem(dialog, control), BM_CLICK, 0, 0);
}

void InstallationTest::SetUp() {
    CoInitialize(nullptr);
    removeInstalledThings();
}

void InstallationTest::TearDown() {
    for (const std::string& exe : agents_) {
        quitAgentOf(exe, 0);
    }
    removeInstalledThings();
    CoUninitialize();
}
