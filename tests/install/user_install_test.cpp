// Korvel.exe installed by an ordinary user, who may not write into the
// Windows folder, the program folders or the all-users Start menu. ctest runs
// this program as the test session's second account, in a Wine prefix of its
// own where those folders belong to root (tools/run-as-user.sh). The session
// tests come first: when the account could write there after all, they fail,
// and the installation tests would only repeat the administrator's case.
#include "base/win_handles.h"
#include "resources/resource.h"

#include "agent_process.h"
#include "installer_driver.h"
#include "win_test_support.h"

#include <gtest/gtest.h>
#include <shlobj.h>

namespace {

// What a per-user installation proposes, and where its uninstaller goes.
std::string userProgramFolder() {
    return specialFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\Korvel\\";
}
std::string userUninstallerFolder() {
    return specialFolder(CSIDL_LOCAL_APPDATA) + "\\Brastel\\";
}
std::string userUninstallerExe() {
    return userUninstallerFolder() + "Korvel\\UnKorvel.exe";
}

// The program group in the user's own Start menu.
std::string userProgramGroup() {
    return specialFolder(CSIDL_PROGRAMS) + "\\Korvel\\";
}

// The temporary folder, without its trailing backslash.
std::string tempFolder() {
    char path[MAX_PATH] = {};
    DWORD length = GetTempPathA(sizeof path, path);
    return length > 0 && length < sizeof path ? std::string(path, length - 1) : "";
}

// Creates a new file in folder, which goes again when it is closed: the
// error of the creation, ERROR_SUCCESS when the file could be made.
DWORD fileCreationError(const std::string& folder) {
    const std::string path = folder + "\\korvel-write-probe.tmp";
    UniqueHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.valid() ? ERROR_SUCCESS : GetLastError();
}

struct NamedFolder {
    const char* name;
    std::string path;
};

// What an installation leaves in this user's places.
class UserInstallTest : public InstallationTest {
protected:
    void removeInstalledThings() override {
        DeleteFileA(desktopLink().c_str());
        DeleteFileA(startupLink().c_str());
        removeTree(userProgramGroup());
        RegDeleteKeyA(HKEY_CURRENT_USER, kAgentKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Brastel\\");
        RegDeleteKeyA(HKEY_CURRENT_USER, kUninstallKey);
        removeTree(userProgramFolder());
        removeTree(userUninstallerFolder());
    }
};

} // namespace

TEST(OrdinaryUserSession, FoldersOfTheAdministratorRefuseNewFiles) {
    const NamedFolder folders[] = {
        {"Windows", windowsFolder()},
        {"all users' programs", specialFolder(CSIDL_COMMON_PROGRAMS)},
        {"Program Files", specialFolder(CSIDL_PROGRAM_FILES)},
    };
    for (const NamedFolder& folder : folders) {
        ASSERT_FALSE(folder.path.empty()) << folder.name;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), fileCreationError(folder.path))
            << folder.name << ": " << folder.path;
    }
}

TEST(OrdinaryUserSession, FoldersOfTheUserTakeNewFiles) {
    const NamedFolder folders[] = {
        {"local application data", specialFolder(CSIDL_LOCAL_APPDATA)},
        {"the user's programs", specialFolder(CSIDL_PROGRAMS)},
        {"the user's start-up", specialFolder(CSIDL_STARTUP)},
        {"desktop", specialFolder(CSIDL_DESKTOPDIRECTORY)},
        {"temporary files", tempFolder()},
    };
    for (const NamedFolder& folder : folders) {
        ASSERT_FALSE(folder.path.empty()) << folder.name;
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), fileCreationError(folder.path))
            << folder.name << ": " << folder.path;
    }
}

// The agent of an installation, started by this user, runs on the user's
// desktop and puts its icon into the notification area.
TEST_F(UserInstallTest, UserRunsTheAgentWithItsTrayIcon) {
    Installation inst;
    ChildProcess agent;
    ASSERT_TRUE(agent.start(inst.exe()));
    HWND window = waitForAgent(agent);
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(waitForTrayIcon(window, kAgentStartTimeoutMs));
    EXPECT_TRUE(quitAgent(window, agent));
}

// An ordinary user's installation: Program Files is refused before anything
// is made, the user's own folder is proposed instead, and what is installed
// there is the user's alone. The command of its entry in the list of
// programs removes it again.
TEST_F(UserInstallTest, RefusesProgramFilesAndInstallsForTheUserAloneUntilItsEntryRemovesIt) {
    Installation installer(false);
    const std::string programFiles = specialFolder(CSIDL_PROGRAM_FILES) + "\\Korvel\\";
    const std::string folder = userProgramFolder();
    InstallerRun refused = runInstaller(
        installer,
        [&](HWND dialog) {
            click(dialog, IDC_INSTALL_HERE);
            char shown[MAX_PATH] = {};
            GetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, shown, sizeof shown);
            EXPECT_EQ(folder, shown);
            SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, programFiles.c_str());
        },
        "user-refused", true);
    ASSERT_TRUE(refused.ended);
    EXPECT_FALSE(refused.completed);
    ASSERT_EQ(1u, refused.notices.size());
    const std::string& notice = refused.notices[0];
    EXPECT_EQ(0u, notice.find("Затрудняюсь установить Агента в папку " + programFiles +
                              ": в неё нельзя записывать. Ошибка 5: "))
        << notice;
    EXPECT_NE(std::string::npos, notice.find("например " + folder + ", ")) << notice;
    EXPECT_FALSE(folderExists(programFiles));
    EXPECT_FALSE(fileExists(userUninstallerExe()));
    EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, kUninstallKey));

    const std::string exe = folder + "Korvel.exe";
    agents_.push_back(exe);
    InstallerRun run = runInstaller(
        installer, [](HWND dialog) { click(dialog, IDC_INSTALL_HERE); }, "user-install");
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(run.completed);
    EXPECT_TRUE(run.notices.empty()) << run.notices.front();
    EXPECT_TRUE(fileExists(folder + "MainFolder\\MailBox.txt"));
    EXPECT_EQ(readFile(installer.exe()), readFile(userUninstallerExe()));
    const std::string command = registryValue(HKEY_CURRENT_USER, kUninstallKey, "UninstallString");
    const bool blank = userUninstallerExe().find(' ') != std::string::npos;
    EXPECT_EQ((blank ? "\"" + userUninstallerExe() + "\"" : userUninstallerExe()) + " " + folder, command);
    EXPECT_EQ("Lumetra Агент", registryValue(HKEY_CURRENT_USER, kUninstallKey, "DisplayName"));
    // Wine would let this user write there; an ordinary user's installation
    // does not try.
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(folderExists(specialFolder(CSIDL_COMMON_PROGRAMS) + "\\Korvel"));
    EXPECT_EQ(exe + "||" + folder + "|" + exe + ",0|0644|1", linkText(userProgramGroup() + "Запуск.lnk"));
    EXPECT_EQ(folder, registryValue(HKEY_CURRENT_USER, kAgentKey, "Path"));
    EXPECT_EQ("1", registryValue(HKEY_CURRENT_USER, kAgentKey, "AutoStart"));
    UniqueHandle agent;
    ASSERT_NE(nullptr, waitForAgentOf(exe, agent));
    EXPECT_TRUE(waitForLogText(folder + "MainFolder\\MAInLog.txt", "Поток опроса почты", kAgentStartTimeoutMs));

    ChildProcess uninstaller;
    ASSERT_TRUE(uninstaller.startCommand(command));
    MessageBoxInfo box;
    ASSERT_TRUE(waitForMessageBox(uninstaller.id(), box, kAgentStartTimeoutMs));
    EXPECT_EQ("Действительно удалить Lumetra Агента?", box.text);
    answerMessageBox(box.window, IDYES);
    ASSERT_TRUE(uninstaller.wait(60000));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(agent.get(), 0));
    EXPECT_FALSE(folderExists(folder));
    EXPECT_FALSE(folderExists(userProgramGroup()));
    EXPECT_FALSE(fileExists(desktopLink()));
    EXPECT_FALSE(fileExists(startupLink()));
    EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, kUninstallKey));
    EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, kAgentKey));
}
