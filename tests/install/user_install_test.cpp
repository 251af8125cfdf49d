// Korvel.exe installed by an ordinary user, who may not write into the
// Windows folder, the program folders or the all-users Start menu. ctest runs
// this program as the test session's second account, in a Wine prefix of its
// own where those folders belong to root (tools/run-as-user.sh). The session
// tests come first: when the account could write there after all, they fail,
// and the installation tests would only repeat the administrator's case.
#include "base/win_handles.h"

#include "agent_process.h"
#include "installer_driver.h"
#include "win_test_support.h"

#include <gtest/gtest.h>
#include <shlobj.h>

namespace {

constexpr char kAgentKey[] = "SOFTWARE\\Brastel\\Korvel\\";
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel";

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

// Removes what an installation leaves in this user's places, before and
// after each test, and ends the agents a failed test left running.
class UserInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        removeInstalledThings();
    }
    void TearDown() override {
        for (const std::string& exe : agents_) {
            quitAgentOf(exe, 0);
        }
        removeInstalledThings();
        CoUninitialize();
    }
    static void removeInstalledThings() {
        DeleteFileA(desktopLink().c_str());
        DeleteFileA(startupLink().c_str());
        removeTree(userProgramGroup());
        RegDeleteKeyA(HKEY_CURRENT_USER, kAgentKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Brastel\\");
        RegDeleteKeyA(HKEY_CURRENT_USER, kUninstallKey);
    }
    std::vector<std::string> agents_; // executables of the agents the installer starts
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
