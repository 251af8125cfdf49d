// Driving Korvel.exe's installer and uninstaller from a test, and reading
// back what they made.
#pragma once
#include <windows.h>

#include "agent_process.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

constexpr char kAgentKey[] = "SOFTWARE\\Brastel\\Korvel\\";
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel";

// Installer tests share the session's prefix: each removes what an
// installation leaves outside its folder before and after it runs
// (removeInstalledThings, which the test class gives), and ends the agents a
// failed test left running (agents_).
class InstallationTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual void removeInstalledThings() = 0;

    std::vector<std::string> agents_; // executables of the agents the installer starts
};

// A special folder of the shell, without a trailing backslash.
std::string specialFolder(int csidl);
std::string desktopLink();
std::string startupLink();
std::string windowsFolder();

// A shortcut's target, arguments, working folder, icon, hot key and show
// command as "target|arguments|folder|icon,index|hotkey|show".
std::string linkText(const std::string& path);

// A registry value as text (numbers in decimal); empty when it is missing.
std::string registryValue(HKEY root, const char* key, const char* name);
bool registryKeyExists(HKEY root, const char* key);
bool setRegistryText(HKEY root, const char* key, const char* name, const std::string& value);

// The window and process of the agent started from exe, once it runs.
HWND waitForAgentOf(const std::string& exe, UniqueHandle& process, DWORD timeoutMs = kAgentStartTimeoutMs);
// Shuts the agent started from exe down, if one runs; true when it ended.
bool quitAgentOf(const std::string& exe, DWORD timeoutMs = kAgentStartTimeoutMs);

struct InstallerRun {
    bool ended = false;
    bool completed = false;           // the completion dialog was shown
    std::vector<std::string> notices; // other message boxes, answered with OK
};

// Starts the installer of inst, lets adjust set up its dialog, presses
// "Установить" and answers every box that follows with OK until it ends.
// With cancelAfterNotice the dialog is cancelled once a box other than the
// completion's has been answered (a failure leaves the dialog open).
InstallerRun runInstaller(const Installation& inst, const std::function<void(HWND)>& adjust,
                          const std::string& screenshotPrefix = "", bool cancelAfterNotice = false);

// A shortcut as the installer makes them, to target with arguments.
bool makeShortcut(const std::string& path, const std::string& target, const std::string& arguments);

// Runs the uninstaller for folder and confirms the removal; returns the
// caption and text of the message box that follows ("" when none does).
std::string uninstallAndReadReport(const std::string& uninstaller, const std::string& folder,
                                   const std::string& screenshot = "");

void click(HWND dialog, int control);
