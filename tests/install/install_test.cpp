// Korvel.exe installing itself from a folder without an account list, and
// UnKorvel.exe removing the installation again. The tests share the session's
// Wine prefix: each one removes what an installation leaves outside its
// folder (shortcuts, registry keys, the uninstaller copy, running agents).
#include "base/shell_link.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "install/uninstaller.h"
#include "resources/resource.h"
#include "ui/folder_browser.h"

#include "agent_process.h"
#include "folder_links.h"
#include "installer_driver.h"
#include "win_test_support.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <shlobj.h>

namespace {

constexpr DWORD kTimeoutMs = kAgentStartTimeoutMs;
constexpr DWORD kTestFolderRemovalPauseMs = 20;
// Wine reports this Windows version to Korvel.exe: the removal shortcut is
// made only on systems older than Vista.
constexpr char kVersionKey[] = "Software\\Wine\\AppDefaults\\Korvel.exe";

std::string programGroup() {
    return specialFolder(CSIDL_COMMON_PROGRAMS) + "\\Korvel\\";
}

std::string uninstallerExe() {
    return windowsFolder() + "\\UnKorvel.exe";
}

class InstallerTest : public InstallationTest {
protected:
    void TearDown() override {
        InstallationTest::TearDown();
        gFolderRemovalPauseMs = kFolderRemovalPauseMs;
    }
    void removeInstalledThings() override {
        DeleteFileA(desktopLink().c_str());
        DeleteFileA(startupLink().c_str());
        removeTree(startupLink()); // the folder a test put in its way
        removeTree(programGroup());
        DeleteFileA(uninstallerExe().c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, kAgentKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Brastel\\");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, kVersionKey);
    }
};

} // namespace

TEST_F(InstallerTest, InstallsIntoTheFolderStartedFromAndUninstallsAgain) {
    RegistryKey version;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kVersionKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             version.out(), nullptr));
    RegSetValueExA(version.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("winxp64"), 8);

    Installation inst(false);
    agents_.push_back(inst.exe());
    // A mark at the end of the executable tells whether it was copied over.
    const std::string marked = readFile(inst.exe()) + "korvel-test-mark";
    ASSERT_TRUE(writeFile(inst.exe(), marked));
    InstallerRun run = runInstaller(
        inst, [](HWND) {}, "install");
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(run.completed);
    EXPECT_TRUE(run.notices.empty()) << run.notices.front();

    const std::string& folder = inst.folder();
    EXPECT_EQ(marked, readFile(inst.exe()));
    EXPECT_TRUE(fileExists(inst.service() + "MailBox.txt"));
    EXPECT_EQ(marked, readFile(uninstallerExe()));

    EXPECT_EQ(folder, registryValue(HKEY_CURRENT_USER, kAgentKey, "Path"));
    EXPECT_EQ("1", registryValue(HKEY_CURRENT_USER, kAgentKey, "AutoStart"));
    EXPECT_EQ("Lumetra Агент", registryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
    EXPECT_EQ(uninstallerExe() + " " + folder, registryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
    EXPECT_EQ(folder + "Korvel.exe,0", registryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon"));
    EXPECT_EQ("1", registryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "NoModify"));

    const std::string agentLink = inst.exe() + "||" + folder + "|" + inst.exe() + ",0|0644|1";
    for (const std::string& link : {desktopLink(), startupLink(), programGroup() + "Запуск.lnk"}) {
        EXPECT_EQ(agentLink, linkText(link)) << link;
    }
    EXPECT_EQ(uninstallerExe() + "|" + folder + "|" + windowsFolder() + "|" + uninstallerExe() + ",6|0675|1",
              linkText(programGroup() + "Удаление.lnk"));

    UniqueHandle agent;
    HWND agentWindow = waitForAgentOf(inst.exe(), agent);
    ASSERT_NE(nullptr, agentWindow);
    EXPECT_TRUE(waitForLogText(inst.log(), "Поток опроса почты", kTimeoutMs));

    // The agent of a second installation, started last, is the first one a
    // search by window finds: it must go on running.
    Installation other;
    ChildProcess otherAgent;
    ASSERT_TRUE(otherAgent.start(other.exe()));
    HWND otherWindow = waitForAgent(otherAgent);
    ASSERT_NE(nullptr, otherWindow);
    ASSERT_TRUE(writeFile(folder + "notes.txt", "the user's"));
    // The log goes with the service folder: a second name keeps its text.
    TempFolder kept;
    ASSERT_TRUE(CreateHardLinkA((kept / "log.txt").c_str(), inst.log().c_str(), nullptr));

    ChildProcess uninstaller;
    ASSERT_TRUE(uninstaller.start(uninstallerExe(), folder));
    MessageBoxInfo box;
    ASSERT_TRUE(waitForMessageBox(uninstaller.id(), box, kTimeoutMs));
    EXPECT_EQ("Действительно удалить Lumetra Агента?", box.text);
    answerMessageBox(box.window, IDYES);
    ASSERT_TRUE(uninstaller.wait(60000));

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(agent.get(), 0));
    std::vector<std::string> texts = logTexts(kept / "log.txt");
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ("Агент завершил работу", texts[texts.size() - 2]);
    EXPECT_TRUE(otherAgent.running());
    EXPECT_TRUE(quitAgent(otherWindow, otherAgent));

    for (const std::string& gone : {desktopLink(), startupLink(), inst.exe()}) {
        EXPECT_FALSE(fileExists(gone)) << gone;
    }
    EXPECT_FALSE(folderExists(programGroup()));
    EXPECT_FALSE(folderExists(inst.service()));
    EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, kAgentKey));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ("the user's", readFile(folder + "notes.txt"));
    EXPECT_TRUE(fileExists(uninstallerExe()));
}

TEST_F(InstallerTest, OverAnotherInstallationKeepsItsAccountsAndRecordsAFailedAutostart) {
    Installation existing;
    agents_.push_back(existing.exe());
    const std::string accounts = "A;alpha;user@alpha.test;secret;pop3.alpha.test;110\r\n";
    ASSERT_TRUE(writeFile(existing.service() + "MailBox.txt", accounts));
    ASSERT_TRUE(writeFile(existing.exe(), "an older agent"));
    // A folder in the autostart shortcut's place: the shortcut cannot be made.
    ASSERT_TRUE(CreateDirectoryA(startupLink().c_str(), nullptr));

    Installation installer(false);
    std::string typed = existing.folder().substr(0, existing.folder().size() - 1);
    InstallerRun run = runInstaller(installer, [&](HWND dialog) {
        click(dialog, IDC_INSTALL_HERE);
        char shown[MAX_PATH] = {};
        GetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, shown, sizeof shown);
        EXPECT_EQ(specialFolder(CSIDL_PROGRAM_FILES) + "\\Korvel\\", shown);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_INSTALL_FOLDER)));
        SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, typed.c_str());
        click(dialog, IDC_INSTALL_DESKTOP);
        click(dialog, IDC_INSTALL_GROUP);
    });
    ASSERT_TRUE(run.ended);
    // The completion names the shortcut that is missing.
    EXPECT_FALSE(run.completed);
    ASSERT_EQ(1u, run.notices.size());
    EXPECT_EQ("Установка Агента завершена, но не всё удалось:\r\nЗатрудняюсь реализовать автозапуск Агента.",
              run.notices[0]);

    EXPECT_EQ(accounts, readFile(existing.service() + "MailBox.txt"));
    EXPECT_EQ(readFile(builtKorvelExe()), readFile(existing.exe()));
    EXPECT_EQ(existing.folder(), registryValue(HKEY_CURRENT_USER, kAgentKey, "Path"));
    EXPECT_EQ("0", registryValue(HKEY_CURRENT_USER, kAgentKey, "AutoStart"));
    EXPECT_FALSE(fileExists(desktopLink()));
    EXPECT_FALSE(folderExists(programGroup()));
    EXPECT_TRUE(quitAgentOf(existing.exe()));
}

TEST_F(InstallerTest, ACopyThatFailsIsShownAndNothingIsInstalled) {
    Installation existing(false);
    ASSERT_TRUE(writeFile(existing.exe(), "an agent in use"));
    // Held open without sharing, as a running or scanned program can be.
    UniqueHandle held(CreateFileA(existing.exe().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    Installation installer(false);
    std::string typed = existing.folder().substr(0, existing.folder().size() - 1);
    InstallerRun run = runInstaller(
        installer,
        [&](HWND dialog) {
            click(dialog, IDC_INSTALL_HERE);
            SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, typed.c_str());
        },
        "", true);
    ASSERT_TRUE(run.ended);
    EXPECT_FALSE(run.completed);
    ASSERT_EQ(1u, run.notices.size());
    EXPECT_EQ(0u, run.notices[0].find("Затрудняюсь скопировать программу в " + existing.exe() + ". Ошибка 32: "))
        << run.notices[0];
    held.reset();
    EXPECT_EQ("an agent in use", readFile(existing.exe()));
    EXPECT_FALSE(fileExists(existing.service() + "MailBox.txt"));
    EXPECT_FALSE(fileExists(uninstallerExe()));
    EXPECT_EQ("", registryValue(HKEY_CURRENT_USER, kAgentKey, "Path"));
    EXPECT_FALSE(fileExists(desktopLink()));
    EXPECT_FALSE(fileExists(startupLink()));
}

// The folder of the command line is checked before anything is removed.
TEST_F(InstallerTest, UninstallerRefusesFoldersThatHoldNoInstallation) {
    ASSERT_TRUE(writeFile(desktopLink(), "a shortcut of an installation"));
    TempFolder plain;
    ASSERT_TRUE(writeFile(plain / "keep.txt", "kept"));
    Installation inst;
    std::string relative = "Korvel\\";
    // Names the installation's folder, but through its service folder.
    std::string dotted = inst.service() + "..\\";
    // On a drive that is not there: not known to be gone.
    std::string absentDrive = "C:\\Korvel\\";
    for (char letter = 'Z'; letter > 'C'; letter--) {
        if ((GetLogicalDrives() & (1u << (letter - 'A'))) == 0) {
            absentDrive[0] = letter;
            break;
        }
    }
    for (const std::string& folder : {plain.path(), relative, dotted, absentDrive}) {
        SCOPED_TRACE(folder);
        copyText(gAgent.moduleFolder, sizeof gAgent.moduleFolder, folder.c_str());
        EXPECT_EQ(UninstallOutcome::Refused, uninstall(nullptr).outcome);
    }
    EXPECT_TRUE(fileExists(desktopLink()));
    EXPECT_EQ("kept", readFile(plain / "keep.txt"));
    EXPECT_TRUE(fileExists(inst.exe()));
}

// Choosing a drive's root, then cancelling: "Korvel\" follows the root's
// backslash without a second one, and a cancel leaves the buffer alone.
TEST(FolderBrowser, AppendsTheAgentFolderToTheChosenOne) {
    struct Call {
        char out[MAX_PATH] = "untouched";
        bool chosen = false;
    };
    auto browse = [](void* p) -> DWORD {
        auto* call = static_cast<Call*>(p);
        CoInitialize(nullptr);
        call->chosen = browseForFolder(nullptr, "Выберите папку.", CSIDL_DESKTOP, BIF_RETURNONLYFSDIRS, 0, call->out,
                                       sizeof call->out);
        CoUninitialize();
        return 0;
    };
    for (const char* select : {"C:\\", static_cast<const char*>(nullptr)}) {
        Call call;
        UniqueHandle thread(CreateThread(nullptr, 0, browse, &call, 0, nullptr));
        HWND dialog = waitForWindow(GetCurrentProcessId(), "#32770", nullptr, kTimeoutMs);
        ASSERT_NE(nullptr, dialog);
        if (select != nullptr) {
            SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(select));
        }
        PostMessageA(dialog, WM_COMMAND, select != nullptr ? IDOK : IDCANCEL, 0);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), kTimeoutMs));
        EXPECT_EQ(select != nullptr, call.chosen);
        EXPECT_STREQ(select != nullptr ? "C:\\Korvel\\" : "untouched", call.out);
    }
}

// Links inside the service folder, and a service folder that is itself a
// link, are removed as links: what they point at keeps its files. (Wine
// cannot remove its stand-in for a link, so whether the link itself went is
// not asked here; the removal call is the one Windows documents for it.)
TEST_F(InstallerTest, UninstallerLeavesWhatFolderLinksPointAt) {
    // Wine cannot remove the links: only the retries' pauses are shortened.
    gFolderRemovalPauseMs = kTestFolderRemovalPauseMs;
    TempFolder outside;
    ASSERT_TRUE(writeFile(outside / "mail.txt", "kept"));
    ASSERT_TRUE(CreateDirectoryA((outside / "sub").c_str(), nullptr));
    ASSERT_TRUE(writeFile(outside / "sub\\deeper.txt", "kept too"));
    TempFolder elsewhere;
    ASSERT_TRUE(writeFile(elsewhere / "notes.txt", "the user's"));

    Installation inst;
    ASSERT_TRUE(CreateDirectoryA((inst.service() + "old").c_str(), nullptr));
    ASSERT_TRUE(writeFile(inst.service() + "old\\Mail.txt", "mail"));
    FolderLink junction(FolderLinkKind::Junction, inst.service() + "linked", outside.path());
    if (!junction.made()) {
        GTEST_SKIP() << "no folder link can be made here";
    }
    // A directory symbolic link needs Developer Mode or elevation on Windows.
    FolderLink symbolic(FolderLinkKind::SymbolicLink, inst.service() + "old\\linked", elsewhere.path());

    // An installation whose service folder is a link to a folder of its own.
    Installation linkedService;
    ASSERT_TRUE(DeleteFileA((linkedService.service() + "MailBox.txt").c_str()));
    ASSERT_TRUE(RemoveDirectoryA(linkedService.service().c_str()));
    TempFolder serviceTarget;
    ASSERT_TRUE(writeFile(serviceTarget / "MailBox.txt", "A;alpha;user@alpha.test;secret;pop3.alpha.test;110\r\n"));
    FolderLink serviceLink(FolderLinkKind::Junction, linkedService.service(), serviceTarget.path());
    ASSERT_TRUE(serviceLink.made());

    for (const Installation* removed : {&inst, &linkedService}) {
        copyText(gAgent.moduleFolder, sizeof gAgent.moduleFolder, removed->folder().c_str());
        uninstall(nullptr);
        EXPECT_FALSE(fileExists(removed->exe())) << removed->folder();
    }
    EXPECT_FALSE(fileExists(inst.service() + "MailBox.txt"));
    EXPECT_FALSE(fileExists(inst.service() + "old\\Mail.txt"));
    EXPECT_EQ("kept", readFile(outside / "mail.txt"));
    EXPECT_EQ("kept too", readFile(outside / "sub\\deeper.txt"));
    if (symbolic.made()) {
        EXPECT_EQ("the user's", readFile(elsewhere / "notes.txt"));
    }
    EXPECT_EQ("A;alpha;user@alpha.test;secret;pop3.alpha.test;110\r\n", readFile(serviceTarget / "MailBox.txt"));
}

// The folder was deleted by hand: the uninstaller removes the shortcuts and
// registry entries that name it, leaves those of another installation, and
// tells what it removed.
TEST_F(InstallerTest, UninstallerOfAGoneFolderRemovesOnlyWhatNamesIt) {
    Installation gone;
    Installation other;
    const std::string goneExe = gone.exe();
    ASSERT_TRUE(CreateDirectoryA(programGroup().c_str(), nullptr));
    ASSERT_TRUE(makeShortcut(desktopLink(), goneExe, ""));
    ASSERT_TRUE(makeShortcut(programGroup() + "Запуск.lnk", goneExe, ""));
    ASSERT_TRUE(makeShortcut(programGroup() + "Удаление.lnk", uninstallerExe(), gone.folder()));
    ASSERT_TRUE(makeShortcut(startupLink(), other.exe(), ""));
    ASSERT_TRUE(setRegistryText(HKEY_CURRENT_USER, kAgentKey, "Path", other.folder()));
    ASSERT_TRUE(
        setRegistryText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", uninstallerExe() + " " + gone.folder()));
    ASSERT_TRUE(CopyFileA(builtKorvelExe().c_str(), uninstallerExe().c_str(), FALSE));
    removeTree(gone.folder());
    ASSERT_FALSE(folderExists(gone.folder()));

    // Named in other letters and without its backslash.
    std::string typed = gone.folder().substr(0, gone.folder().size() - 1);
    CharUpperA(&typed[0]);
    const std::string header =
        "Удаление Lumetra Агента|Папка \"" + typed + "\\\" не найдена: файлы и папки не удалялись.\r\n\r\n";
    EXPECT_EQ(header + "Удалены ярлыки и записи этой установки:\r\n— ярлык на рабочем столе\r\n"
                       "— ярлык \"Запуск\" в меню \"Пуск\"\r\n— ярлык \"Удаление\" в меню \"Пуск\"\r\n"
                       "— запись в списке установленных программ",
              uninstallAndReadReport(uninstallerExe(), typed, "gone-folder-report.bmp"));
    EXPECT_FALSE(fileExists(desktopLink()));
    EXPECT_FALSE(folderExists(programGroup()));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ(other.exe(), linkText(startupLink()).substr(0, other.exe().size()));
    EXPECT_EQ(other.folder(), registryValue(HKEY_CURRENT_USER, kAgentKey, "Path"));

    // Now the other two name it, and the desktop shortcut another one.
    ASSERT_TRUE(makeShortcut(desktopLink(), other.exe(), ""));
    ASSERT_TRUE(makeShortcut(startupLink(), goneExe, ""));
    ASSERT_TRUE(setRegistryText(HKEY_CURRENT_USER, kAgentKey, "Path", gone.folder()));
    EXPECT_EQ(header + "Удалены ярлыки и записи этой установки:\r\n— ярлык автозапуска\r\n— запись Агента в реестре",
              uninstallAndReadReport(uninstallerExe(), typed));
    EXPECT_FALSE(fileExists(startupLink()));
    EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, kAgentKey));
    EXPECT_TRUE(fileExists(desktopLink()));

    EXPECT_EQ(header + "Ярлыков и записей в реестре, относящихся к этой установке, не найдено.",
              uninstallAndReadReport(uninstallerExe(), typed));
    EXPECT_TRUE(fileExists(desktopLink()));
    EXPECT_TRUE(fileExists(other.exe()));
    EXPECT_TRUE(fileExists(other.service() + "MailBox.txt"));
    EXPECT_TRUE(fileExists(uninstallerExe()));
}

// A needed step that fails after others were done: the uninstaller copy,
// held by another program. What this installation made goes again, but not
// the account list of the installation it went over, whose agent it had
// ended and starts again.
TEST_F(InstallerTest, ANeededStepThatFailsTakesBackWhatTheInstallationMade) {
    ASSERT_TRUE(writeFile(uninstallerExe(), "an uninstaller in use"));
    UniqueHandle held(CreateFileA(uninstallerExe().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const std::string undone = "\r\n\r\nУстановка не выполнена; то, что она успела сделать, отменено.";

    TempFolder parent;
    const std::string fresh = parent / "new\\Korvel\\";
    Installation existing;
    const std::string accounts = "A;alpha;user@alpha.test;secret;pop3.alpha.test;110\r\n";
    ASSERT_TRUE(writeFile(existing.service() + "MailBox.txt", accounts));
    agents_.push_back(existing.exe());
    ChildProcess running;
    ASSERT_TRUE(running.start(existing.exe()));
    ASSERT_NE(nullptr, waitForAgent(running));
    for (const std::string& folder : {fresh, existing.folder()}) {
        SCOPED_TRACE(folder);
        Installation installer(false);
        InstallerRun run = runInstaller(
            installer,
            [&](HWND dialog) {
                click(dialog, IDC_INSTALL_HERE);
                SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, folder.c_str());
            },
            "", true);
        ASSERT_TRUE(run.ended);
        EXPECT_FALSE(run.completed);
        ASSERT_EQ(1u, run.notices.size());
        const std::string& notice = run.notices[0];
        EXPECT_EQ(0u, notice.find("Затрудняюсь скопировать программу удаления в " + uninstallerExe() + ". Ошибка 32: "))
            << notice;
        EXPECT_EQ(notice.size() - undone.size(), notice.rfind(undone)) << notice;
        EXPECT_FALSE(fileExists(desktopLink()));
        EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, kAgentKey));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    }
    EXPECT_FALSE(folderExists(parent / "new"));
    EXPECT_EQ(accounts, readFile(existing.service() + "MailBox.txt"));
    // Its agent was ended for the installation, and runs again.
    EXPECT_TRUE(running.wait(0));
    EXPECT_TRUE(quitAgentOf(existing.exe()));
    held.reset();
    EXPECT_EQ("an uninstaller in use", readFile(uninstallerExe()));
}

// Installing over a folder whose agent runs: the agent ends first, so that
// its executable can be replaced, and the new one starts.
TEST_F(InstallerTest, OverARunningAgentEndsItFirst) {
    Installation existing;
    agents_.push_back(existing.exe());
    ChildProcess running;
    ASSERT_TRUE(running.start(existing.exe()));
    ASSERT_NE(nullptr, waitForAgent(running));

    Installation installer(false);
    const std::string marked = readFile(installer.exe()) + "korvel-test-mark";
    ASSERT_TRUE(writeFile(installer.exe(), marked));
    InstallerRun run = runInstaller(installer, [&](HWND dialog) {
        click(dialog, IDC_INSTALL_HERE);
        SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, existing.folder().c_str());
    });
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(run.completed);
    EXPECT_TRUE(run.notices.empty()) << run.notices.front();
    EXPECT_TRUE(running.wait(0));
    std::vector<std::string> texts = logTexts(existing.log());
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "Агент завершил работу"));
    EXPECT_EQ(marked, readFile(existing.exe()));
    EXPECT_TRUE(quitAgentOf(existing.exe()));
}

// No agent may live where the uninstaller copy starts from: started there,
// it would remove installations instead.
TEST_F(InstallerTest, RefusesTheUninstallerFolderBeforeMakingAnything) {
    Installation installer(false);
    const std::string windows = windowsFolder() + "\\";
    InstallerRun run = runInstaller(
        installer,
        [&](HWND dialog) {
            click(dialog, IDC_INSTALL_HERE);
            SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, windows.c_str());
        },
        "", true);
    ASSERT_TRUE(run.ended);
    EXPECT_FALSE(run.completed);
    ASSERT_EQ(1u, run.notices.size());
    EXPECT_EQ("В папку " + windows +
                  " Агента установить нельзя: из неё запускается программа удаления. Выберите другую папку.",
              run.notices[0]);
    EXPECT_FALSE(fileExists(windows + "Korvel.exe"));
    EXPECT_FALSE(folderExists(windows + "MainFolder"));
    EXPECT_FALSE(fileExists(uninstallerExe()));
}

// The installation dialog at the display's scaling: every control inside
// it; then the installation, whose completion is pictured too.
TEST_F(InstallerTest, TheDialogIsWholeAtTheDisplaysScale) {
    Installation inst(false);
    agents_.push_back(inst.exe());
    const std::string dpi = std::to_string(screenDpi()) + "dpi";
    InstallerRun run = runInstaller(
        inst, [](HWND dialog) { EXPECT_EQ("", childrenOutside(dialog)) << "controls leaving the dialog"; },
        "installer-" + dpi);
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(run.completed);
    EXPECT_TRUE(quitAgentOf(inst.exe()));
}

// The same at 150 %, in a process of its own.
TEST(InstallerScaled, TheDialogIsWholeAtOneAndAHalfTimesTheScale) {
    std::string failures;
    EXPECT_EQ(0, runTestsAtDpi(144, "InstallerTest.TheDialogIsWhole*", kTimeoutMs * 3, failures)) << failures;
}
