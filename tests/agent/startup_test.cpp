// Korvel.exe started as a user starts it: from an installation folder, twice,
// from a folder without an account list, from the Windows folder.
#include "resources/resource.h"

#include "agent_process.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr DWORD kStartTimeoutMs = kAgentStartTimeoutMs;
constexpr char kAgentClass[] = "Lumetra_Agent_Class";
constexpr char kAgentTitle[] = "MAIn Window";

void expectMessageBox(const ChildProcess& process, const char* caption, const char* text, int answer = IDOK) {
    MessageBoxInfo box;
    ASSERT_TRUE(waitForMessageBox(process.id(), box, kStartTimeoutMs)) << "no message box: " << text;
    EXPECT_EQ(caption, box.caption);
    EXPECT_EQ(text, box.text);
    answerMessageBox(box.window, answer);
}

} // namespace

TEST(Startup, AgentStartsHiddenLogsAndShutsDown) {
    Installation inst;
    ChildProcess agent;
    ASSERT_TRUE(agent.start(inst.exe()));
    HWND window = waitForAgent(agent);
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(IsWindowVisible(window));
    std::vector<std::string> texts = logTexts(inst.log());
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ("Агент стартовал", texts[0]);
    EXPECT_EQ("", texts[1]);

    EXPECT_TRUE(quitAgent(window, agent));
    texts = logTexts(inst.log());
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ("Агент завершил работу", texts[texts.size() - 2]);
    EXPECT_EQ("", texts.back());

    // A new start empties the log of the previous run.
    ChildProcess again;
    ASSERT_TRUE(again.start(inst.exe()));
    window = waitForAgent(again);
    ASSERT_NE(nullptr, window);
    texts = logTexts(inst.log());
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ("Агент стартовал", texts[0]);
    EXPECT_EQ(1, std::count(texts.begin(), texts.end(), "Агент стартовал"));
    EXPECT_EQ(0, std::count(texts.begin(), texts.end(), "Агент завершил работу"));
    EXPECT_TRUE(quitAgent(window, again));
}

TEST(Startup, SecondStartOfTheSameInstallationEndsAndLeavesTheLogAlone) {
    Installation inst;
    ChildProcess first;
    ASSERT_TRUE(first.start(inst.exe()));
    HWND window = waitForAgent(first);
    ASSERT_NE(nullptr, window);
    // The first poll has ended (no servers here): the log stands still.
    ASSERT_TRUE(waitForLogText(inst.log(), "Поток опроса почты", kStartTimeoutMs));
    std::string logBefore = readFile(inst.log());

    ChildProcess second;
    ASSERT_TRUE(second.start(inst.exe()));
    expectMessageBox(second, "Lumetra Агент", "Программа уже работает.");
    DWORD code = 1234;
    EXPECT_TRUE(second.wait(kStartTimeoutMs, &code));
    EXPECT_EQ(0u, code);

    EXPECT_TRUE(first.running());
    EXPECT_EQ(logBefore, readFile(inst.log()));
    EXPECT_TRUE(quitAgent(window, first));
}

TEST(Startup, InstallationsInTwoFoldersRunSideBySide) {
    Installation one;
    Installation two;
    ChildProcess a, b;
    ASSERT_TRUE(a.start(one.exe()));
    ASSERT_TRUE(b.start(two.exe()));
    HWND windowA = waitForAgent(a);
    HWND windowB = waitForAgent(b);
    ASSERT_NE(nullptr, windowA);
    ASSERT_NE(nullptr, windowB);
    EXPECT_TRUE(a.running());
    EXPECT_TRUE(b.running());
    EXPECT_TRUE(quitAgent(windowA, a));
    EXPECT_TRUE(quitAgent(windowB, b));
}

TEST(Startup, PathsDifferingOnlyInCaseShareOneAgent) {
    Installation inst(true, "Korvel");
    ChildProcess first;
    ASSERT_TRUE(first.start(inst.exe()));
    HWND window = waitForAgent(first);
    ASSERT_NE(nullptr, window);

    std::string upper = inst.folder();
    upper.replace(upper.size() - 7, 6, "KORVEL");
    ChildProcess second;
    ASSERT_TRUE(second.start(upper + "Korvel.exe"));
    expectMessageBox(second, "Lumetra Агент", "Программа уже работает.");
    EXPECT_TRUE(second.wait(kStartTimeoutMs));
    EXPECT_TRUE(quitAgent(window, first));
}

namespace {

// The installation's event in the namespace all sessions share, as an agent
// of another user's session holds it.
std::string globalInstanceName(const Installation& inst) {
    std::string name = inst.service();
    CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
    std::replace(name.begin(), name.end(), '\\', '_');
    return "Global\\" + name;
}

} // namespace

TEST(Startup, AnAgentOfAnotherSessionOnTheSameInstallationKeepsASecondFromStarting) {
    Installation inst;
    UniqueHandle other(CreateEventA(nullptr, FALSE, TRUE, globalInstanceName(inst).c_str()));
    ASSERT_TRUE(other);
    ChildProcess second;
    ASSERT_TRUE(second.start(inst.exe()));
    expectMessageBox(second, "Lumetra Агент",
                     "Программа уже работает в другом сеансе Windows на этом компьютере: "
                     "одну установку Агента может одновременно использовать только один сеанс.");
    EXPECT_TRUE(second.wait(kStartTimeoutMs));
    EXPECT_FALSE(fileExists(inst.log()));
}

// Where the global name cannot be had (here another kind of object holds it),
// the session's own name keeps the rule, and the agent starts.
TEST(Startup, AnUnusableGlobalNameFallsBackToTheSessionsOwn) {
    Installation inst;
    UniqueHandle squatter(CreateMutexA(nullptr, FALSE, globalInstanceName(inst).c_str()));
    ASSERT_TRUE(squatter);
    ChildProcess first;
    ASSERT_TRUE(first.start(inst.exe()));
    HWND window = waitForAgent(first);
    ASSERT_NE(nullptr, window);
    ChildProcess second;
    ASSERT_TRUE(second.start(inst.exe()));
    expectMessageBox(second, "Lumetra Агент", "Программа уже работает.");
    EXPECT_TRUE(second.wait(kStartTimeoutMs));
    EXPECT_TRUE(quitAgent(window, first));
}

TEST(Startup, MissingAccountListShowsTheInstallerAndCreatesNoLog) {
    for (bool withServiceFolder : {false, true}) {
        SCOPED_TRACE(withServiceFolder);
        Installation inst(false);
        if (withServiceFolder) {
            CreateDirectoryA(inst.service().c_str(), nullptr);
        }
        ChildProcess installer;
        ASSERT_TRUE(installer.start(inst.exe()));
        HWND dialog = waitForWindow(installer.id(), "#32770", "Установка Lumetra Агента", kStartTimeoutMs);
        ASSERT_NE(nullptr, dialog);
        char folder[MAX_PATH] = {};
        GetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, folder, sizeof folder);
        EXPECT_EQ(inst.folder(), folder);
        EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, IDC_INSTALL_HERE));
        EXPECT_FALSE(fileExists(inst.log()));
        EXPECT_EQ(nullptr, findProcessWindow(installer.id(), kAgentClass, kAgentTitle));

        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        DWORD code = 1234;
        EXPECT_TRUE(installer.wait(kStartTimeoutMs, &code));
        EXPECT_EQ(0u, code);
        EXPECT_FALSE(fileExists(inst.log()));
    }
}

TEST(Startup, FromTheWindowsFolderItIsTheUninstaller) {
    Installation inst;
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    char name[64];
    wsprintfA(name, "\\UnKorvelTest%lu.exe", GetCurrentProcessId());
    std::string uninstaller = std::string(windows) + name;
    ASSERT_TRUE(CopyFileA(builtKorvelExe().c_str(), uninstaller.c_str(), FALSE));

    // No folder, also once the blanks and quotes a launcher adds are gone.
    for (const char* arguments : {"", "\"\"", "   "}) {
        SCOPED_TRACE(arguments);
        ChildProcess noArguments;
        ASSERT_TRUE(noArguments.start(uninstaller, arguments));
        expectMessageBox(noArguments, "Удаление Lumetra Агента", "Мало параметров для программы удаления.");
        DWORD code = 1234;
        EXPECT_TRUE(noArguments.wait(kStartTimeoutMs, &code));
        EXPECT_EQ(0u, code);
    }
    {
        // Answering No removes nothing.
        ChildProcess declined;
        ASSERT_TRUE(declined.start(uninstaller, inst.folder()));
        expectMessageBox(declined, "Удаление Lumetra Агента", "Действительно удалить Lumetra Агента?", IDNO);
        DWORD code = 1234;
        EXPECT_TRUE(declined.wait(kStartTimeoutMs, &code));
        EXPECT_EQ(0u, code);
        EXPECT_TRUE(fileExists(inst.exe()));
        EXPECT_TRUE(fileExists(inst.service() + "MailBox.txt"));
    }
    DeleteFileA(uninstaller.c_str());
}

TEST(Startup, ALogThatCannotBeOpenedStopsTheStart) {
    Installation inst;
    ASSERT_TRUE(CreateDirectoryA(inst.log().c_str(), nullptr)); // a folder in the log's place
    ChildProcess agent;
    ASSERT_TRUE(agent.start(inst.exe()));
    MessageBoxInfo box;
    ASSERT_TRUE(waitForMessageBox(agent.id(), box, kStartTimeoutMs));
    EXPECT_EQ("Lumetra Агент", box.caption);
    std::string expected = "Затрудняюсь открыть файл " + inst.log() + "\r\nОшибка ";
    // The service folder path is lower-cased before the log is opened.
    CharLowerBuffA(&expected[0], static_cast<DWORD>(expected.size()));
    std::string text = box.text;
    CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    EXPECT_EQ(expected, text.substr(0, expected.size())) << box.text;
    answerMessageBox(box.window, IDOK);
    DWORD code = 1234;
    EXPECT_TRUE(agent.wait(kStartTimeoutMs, &code));
    EXPECT_EQ(0u, code);
    EXPECT_EQ(nullptr, findProcessWindow(agent.id(), kAgentClass, kAgentTitle));
}

// The running agent's icon is in the notification area, and a picture of
// the desktop with it is left with the run's artefacts.
TEST(Startup, TheRunningAgentShowsItsTrayIcon) {
    Installation inst;
    ChildProcess agent;
    ASSERT_TRUE(agent.start(inst.exe()));
    HWND window = waitForAgent(agent);
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(waitForTrayIcon(window, kStartTimeoutMs));
    std::string path = artifactsFolder() + "agent-desktop.bmp";
    EXPECT_TRUE(saveScreenshot(path));
    EXPECT_GT(readFile(path).size(), 100000u);
    EXPECT_TRUE(quitAgent(window, agent));
}
