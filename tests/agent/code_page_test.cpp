// Korvel.exe on a system whose code page is not the Russian one: ctest runs
// this program, and the agents it starts, with a locale that gives Wine the
// code page 1252. The texts the agent shows are read back with the W
// functions and must be the Russian texts.
#include "agent/tray_menu.h"
#include "base/file_names.h"
#include "base/wide_text.h"
#include "core/agent_state.h"
#include "resources/resource.h"
#include "ui/alert_window.h"
#include "ui/tray_icon.h"
#include "viewer/viewer_window.h"

#include "agent_process.h"
#include "agent_window_fixture.h"
#include "win_test_support.h"

#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::wstring windowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

} // namespace

// A broken set-up would only repeat the Russian system's case.
TEST(CodePage, TheSessionsCodePageIsNotTheRussianOne) {
    EXPECT_EQ(1252u, GetACP());
}

TEST(CodePage, AMessageBoxReadsInRussian) {
    Installation inst;
    ChildProcess first;
    ASSERT_TRUE(first.start(inst.exe()));
    HWND agent = waitForAgent(first);
    ASSERT_NE(nullptr, agent);
    ChildProcess second;
    ASSERT_TRUE(second.start(inst.exe()));
    MessageBoxInfo box;
    ASSERT_TRUE(waitForMessageBox(second.id(), box, kAgentStartTimeoutMs));
    EXPECT_EQ(L"Lumetra Агент", windowText(box.window));
    EXPECT_EQ(L"Программа уже работает.", windowText(GetDlgItem(box.window, 0xFFFF)));
    answerMessageBox(box.window, IDOK);
    EXPECT_TRUE(second.wait(kAgentStartTimeoutMs));
    EXPECT_TRUE(quitAgent(agent, first));
}

namespace {

class SettingsOnCodePage1252 : public AgentWindowFixture {};

std::wstring listCell(HWND list, int row, int column) {
    wchar_t text[300] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 300;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring tabText(HWND tabs, int index) {
    wchar_t text[100] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 100;
    SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    return text;
}

} // namespace

// The settings show their own texts and the user's mailbox names in Russian,
// and what the user types in Russian is read as the Windows-1251 the account
// list holds.
TEST_F(SettingsOnCodePage1252, TextsGoBothWaysInRussian) {
    ASSERT_TRUE(writeFile(path("MailBox.txt"), "A;Почта;user@alpha.test;secret;pop3.alpha.test;110\r\n"));
    send(WM_COMMAND, IDM_SETTINGS);
    HWND dialog = gAgent.settingsDialog;
    ASSERT_NE(nullptr, dialog);
    pumpPendingMessages();
    HWND page = gAgent.settingsPage;
    EXPECT_EQ(L"Почтовые ящики", tabText(GetDlgItem(dialog, IDC_SETTINGS_TABS), 0));
    EXPECT_EQ(L"Почта", listCell(GetDlgItem(page, IDC_MAILBOX_LIST), 0, 0));

    HWND alias = GetDlgItem(page, IDC_MAILBOX_ALIAS);
    ASSERT_TRUE(SetWindowTextW(alias, L"Работа"));
    char typed[64] = {};
    itemText(page, IDC_MAILBOX_ALIAS, typed, sizeof typed);
    EXPECT_STREQ("Работа", typed);
    // What Windows-1251 cannot hold comes as its nearest letter or "?".
    ASSERT_TRUE(SetWindowTextW(alias, L"Agn\u00e8s \u4e2d"));
    itemText(page, IDC_MAILBOX_ALIAS, typed, sizeof typed);
    EXPECT_STREQ("Agnes ?", typed);
    SendMessageA(dialog, WM_CLOSE, 0, 0);
}

namespace {

std::wstring columnHeader(HWND list, int column) {
    wchar_t text[100] = {};
    LVCOLUMNW header = {};
    header.mask = LVCF_TEXT;
    header.pszText = text;
    header.cchTextMax = 100;
    SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
    return text;
}

std::wstring statusPart(HWND status, int part) {
    wchar_t text[128] = {};
    SendMessageW(status, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return text;
}

// A picture of the screen among the test run's artifacts, when it keeps them.
void saveArtifactScreenshot(const char* name) {
    std::string folder = artifactsFolder();
    if (!folder.empty()) {
        pumpPendingMessages();
        saveScreenshot(folder + "\\" + name);
    }
}

// The tray's requests as the shell gets them.
struct TrayRequest {
    DWORD message;
    UINT flags;
    std::wstring tip;
    std::wstring title;
    std::wstring text;
};
std::vector<TrayRequest> trayRequests;

void recordTrayRequest(DWORD message, const NOTIFYICONDATAW& data) {
    trayRequests.push_back(TrayRequest{message, data.uFlags, data.szTip, data.szInfoTitle, data.szInfo});
}

class ViewerOnCodePage1252 : public AgentWindowFixture {
protected:
    void SetUp() override {
        trayRequests.clear();
        gTrayShellCall = recordTrayRequest;
        AgentWindowFixture::SetUp();
    }
    void TearDown() override {
        AgentWindowFixture::TearDown();
        gTrayShellCall = nullptr;
    }
    void open() {
        // One mail from a Russian sender with a Russian subject, in the
        // compact view: the check box, sender, date, subject, number.
        ASSERT_TRUE(writeFile(path("GetMail.txt"),
                              "7;0;Работа;ivan@work.test;1.0 Кб;id7;Пётр Ёлкин;1765000100;;Отчёт за квартал\r\n"));
        viewer = openViewer(nullptr);
        ASSERT_NE(nullptr, viewer);
        pumpPendingMessages();
        list = GetDlgItem(FindWindowExA(viewer, nullptr, WC_TABCONTROLA, nullptr), IDC_MAIL_LIST);
        ASSERT_NE(nullptr, list);
    }
    HWND viewer = nullptr;
    HWND list = nullptr;
};

} // namespace

// The list asks for its rows' texts as UTF-16 and gets the Russian texts;
// the headers, tabs, title and status bar are Russian too.
TEST_F(ViewerOnCodePage1252, TheViewersTextsReadInRussian) {
    open();
    EXPECT_EQ(L"Просмотр писем и телеграмм", windowText(viewer));
    HWND tabs = FindWindowExA(viewer, nullptr, WC_TABCONTROLA, nullptr);
    EXPECT_EQ(L"Новые", tabText(tabs, 0));
    EXPECT_EQ(L"История", tabText(tabs, 1));
    EXPECT_EQ(L"От кого", columnHeader(list, 1));
    EXPECT_EQ(L"Что", columnHeader(list, 3));
    ASSERT_EQ(1, SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    EXPECT_EQ(L"Пётр Ёлкин", listCell(list, 0, 1));
    EXPECT_EQ(L"Отчёт за квартал", listCell(list, 0, 3));
    EXPECT_EQ(L"7", listCell(list, 0, 4));
    // The buttons over the status bar are of the class with the Russian name.
    EXPECT_NE(nullptr, viewerButton(viewer, ViewerButton::Delete));
    HWND status = GetDlgItem(viewer, IDC_VIEWER_STATUS);
    EXPECT_EQ(L"Удалить (Del)", statusPart(status, 0));
    EXPECT_EQ(L"Показать подробно (Ctrl+Space)", statusPart(status, 4));
    // The tooltip counts the mails the viewer shows.
    ASSERT_FALSE(trayRequests.empty());
    EXPECT_EQ(L"Принято писем - 1", trayRequests.back().tip);
    saveArtifactScreenshot("viewer-cp1252.bmp");
    DestroyWindow(viewer);
}

// The alert shows its Russian text as given, and tells a mailbox test's
// success by that text.
TEST_F(ViewerOnCodePage1252, TheAlertReadsInRussian) {
    open();
    showAlert("Успешное тестирование.", 0);
    EXPECT_EQ(L"Успешное тестирование.", windowText(gAgent.alertWindow));
    saveArtifactScreenshot("alert-cp1252.bmp");
    hideAlert();
    DestroyWindow(viewer);
}

// The notification and the tooltip reach the shell as Russian UTF-16 texts,
// cut to what the shell's fields hold.
TEST_F(ViewerOnCodePage1252, TheTraysTextsReachTheShellInRussian) {
    modifyTrayIcon(0, "Опрос почты. Ждите...");
    ASSERT_FALSE(trayRequests.empty());
    EXPECT_EQ(L"Опрос почты. Ждите...", trayRequests.back().tip);
    std::string longText(300, '\xDF'); // "Я" in Windows-1251
    showTrayNotification(TrayNotification{"Новое письмо", longText.c_str(), NIIF_INFO});
    const TrayRequest& notice = trayRequests.back();
    EXPECT_EQ(static_cast<UINT>(NIF_INFO), notice.flags);
    EXPECT_EQ(L"Новое письмо", notice.title);
    EXPECT_EQ(std::wstring(255, L'Я'), notice.text);
}

// The tray menu's items are Russian.
TEST_F(ViewerOnCodePage1252, TheTrayMenuReadsInRussian) {
    HMENU menu = buildTrayMenu();
    ASSERT_NE(nullptr, menu);
    wchar_t text[64] = {};
    GetMenuStringW(menu, IDM_SETTINGS, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(L"Настройки", text);
    GetMenuStringW(menu, IDM_QUIT, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(L"Отключить Агента", text);
    DestroyMenu(menu);
}

namespace {

// Korvel.exe copied into a folder of the test's temporary folder whose name
// the session's code page 1252 cannot hold: everything here goes through the
// W functions, as the A ones would garble the name.
class ForeignFolder {
public:
    explicit ForeignFolder(const std::wstring& name, bool withAccountList = true) {
        folder_ = wide(temp_.path()) + name + L"\\";
        CreateDirectoryW(folder_.c_str(), nullptr);
        CopyFileW(wide(builtKorvelExe()).c_str(), exe().c_str(), FALSE);
        if (withAccountList) {
            CreateDirectoryW(service().c_str(), nullptr);
            UniqueHandle list(CreateFileW((service() + L"MailBox.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, 0, nullptr));
        }
    }
    ~ForeignFolder() { removeWideTree(folder_); }
    ForeignFolder(const ForeignFolder&) = delete;
    ForeignFolder& operator=(const ForeignFolder&) = delete;

    const std::wstring& folder() const { return folder_; }
    std::wstring exe() const { return folder_ + L"Korvel.exe"; }
    std::wstring service() const { return folder_ + L"MainFolder\\"; }
    // The names in the temporary folder: only this folder's, ungarbled.
    std::vector<std::wstring> tempEntries() const { return entries(wide(temp_.path())); }

    static std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

    static std::vector<std::wstring> entries(const std::wstring& folder) {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW entry = {};
        HANDLE find = FindFirstFileW((folder + L"*").c_str(), &entry);
        for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &entry) != FALSE) {
            if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0) {
                names.push_back(entry.cFileName);
            }
        }
        if (find != INVALID_HANDLE_VALUE) {
            FindClose(find);
        }
        return names;
    }

    static void removeWideTree(const std::wstring& folder) {
        for (const std::wstring& name : entries(folder)) {
            std::wstring path = folder + name;
            if ((GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                removeWideTree(path + L"\\");
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        }
        RemoveDirectoryW(folder.c_str());
    }

private:
    TempFolder temp_;
    std::wstring folder_;
};

std::string readWideFile(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (file && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    return bytes;
}

bool waitForWideLogText(const std::wstring& log, const std::string& text) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kAgentStartTimeoutMs) {
        if (readWideFile(log).find(text) != std::string::npos) {
            return true;
        }
        Sleep(50); // the log is read again until the line is written
    }
    return false;
}

} // namespace

// The agent in a Russian-named folder finds its account list, polls and logs
// there, in Windows-1251, and leaves no garbled copy of the folder beside it.
TEST(CodePage, TheAgentWorksInARussianNamedFolder) {
    ForeignFolder inst(L"Почта Агента");
    ChildProcess agent;
    ASSERT_TRUE(agent.startWide(inst.exe()));
    HWND window = waitForAgent(agent);
    ASSERT_NE(nullptr, window);
    std::wstring log = inst.service() + L"MAInLog.txt";
    EXPECT_TRUE(waitForWideLogText(log, "Поток опроса почты"));
    EXPECT_TRUE(quitAgent(window, agent));
    std::string text = readWideFile(log);
    EXPECT_NE(std::string::npos, text.find("Агент стартовал")) << text;
    EXPECT_NE(std::string::npos, text.find("Агент завершил работу")) << text;
    EXPECT_EQ(std::vector<std::wstring>{L"Почта Агента"}, inst.tempEntries());
    EXPECT_LT(1u, ForeignFolder::entries(inst.service()).size());
}

// A folder whose name Windows-1251 cannot hold is named in a message, and the
// program ends instead of working with a wrong path.
TEST(CodePage, AFolderWindows1251CannotNameIsShownAndTheProgramEnds) {
    ForeignFolder inst(L"Почта \u4e2d\u6587");
    ChildProcess agent;
    ASSERT_TRUE(agent.startWide(inst.exe()));
    MessageBoxInfo box;
    ASSERT_TRUE(waitForMessageBox(agent.id(), box, kAgentStartTimeoutMs));
    std::wstring text = windowText(GetDlgItem(box.window, 0xFFFF));
    EXPECT_NE(std::wstring::npos, text.find(inst.folder())) << inst.folder();
    answerMessageBox(box.window, IDOK);
    EXPECT_TRUE(agent.wait(kAgentStartTimeoutMs));
    EXPECT_EQ(1u, ForeignFolder::entries(inst.service()).size()); // the account list alone
}

namespace {

std::wstring specialFolderW(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
    return path;
}

std::wstring registryTextW(HKEY root, const wchar_t* key, const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    return RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS ? value : L"";
}

// The first text of a message box or of the completion dialog.
std::wstring firstStaticText(HWND box) {
    std::wstring text;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM param) -> BOOL {
            wchar_t name[32] = {};
            auto* found = reinterpret_cast<std::wstring*>(param);
            if (found->empty() && GetClassNameW(child, name, 32) && lstrcmpiW(name, L"Static") == 0) {
                *found = windowText(child);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

// What an installation leaves outside its folder, and the agent it starts.
void removeInstalledThings() {
    HWND agent = FindWindowExA(nullptr, nullptr, "Lumetra_Agent_Class", "MAIn Window");
    if (agent != nullptr) {
        DWORD id = 0;
        GetWindowThreadProcessId(agent, &id);
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
        PostMessageA(agent, WM_COMMAND, IDM_QUIT, 0);
        WaitForSingleObject(process.get(), kAgentStartTimeoutMs);
    }
    DeleteFileW((specialFolderW(CSIDL_DESKTOPDIRECTORY) + L"\\Korvel.lnk").c_str());
    DeleteFileW((specialFolderW(CSIDL_STARTUP) + L"\\Korvel.lnk").c_str());
    ForeignFolder::removeWideTree(specialFolderW(CSIDL_COMMON_PROGRAMS) + L"\\Korvel\\");
    DeleteFileW((specialFolderW(CSIDL_WINDOWS) + L"\\UnKorvel.exe").c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Brastel\\Korvel");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Brastel");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvel");
}

} // namespace

// Started from a Russian-named folder without an account list, Korvel.exe
// installs into that folder and records it, by its own name, as the agent's
// path.
TEST(CodePage, TheInstallerInstallsIntoARussianNamedFolder) {
    removeInstalledThings();
    ForeignFolder inst(L"Почта Агента", false);
    ChildProcess installer;
    ASSERT_TRUE(installer.startWide(inst.exe()));
    HWND dialog = waitForWindow(installer.id(), "#32770", nullptr, kAgentStartTimeoutMs);
    ASSERT_NE(nullptr, dialog);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    std::vector<std::wstring> boxes;
    HWND answered = nullptr;
    DWORD start = GetTickCount();
    bool ended = false;
    while (!(ended = installer.wait(25)) && GetTickCount() - start < kAgentStartTimeoutMs) {
        MessageBoxInfo box;
        if (waitForMessageBox(installer.id(), box, 0) && box.window != dialog && box.window != answered) {
            boxes.push_back(firstStaticText(box.window));
            answered = box.window;
            answerMessageBox(box.window, IDOK);
        }
    }
    EXPECT_TRUE(ended);
    // The completion alone: a failure would add its message.
    EXPECT_EQ(1u, boxes.size());
    EXPECT_EQ(inst.folder(), registryTextW(HKEY_CURRENT_USER, L"SOFTWARE\\Brastel\\Korvel\\", L"Path"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((inst.service() + L"MailBox.txt").c_str()));
    removeInstalledThings();
}

// The file functions reach the files by their Windows-1251 names, and a name
// Windows-1251 cannot hold is never taken for another one.
TEST(CodePage, FileNamesAreWindows1251WhateverTheCodePage) {
    TempFolder temp;
    const std::string folder = temp.path() + "Почта\\";
    const std::wstring wideFolder = ForeignFolder::wide(temp.path()) + L"Почта\\";
    ASSERT_TRUE(createFolder(folder.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wideFolder.c_str()));
    {
        UniqueHandle file(createFile((folder + "Файл.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(file);
        UniqueHandle foreign(
            CreateFileW((wideFolder + L"\u4e2d.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(foreign);
    }
    const std::string ini = folder + "Настройки.ini";
    ASSERT_TRUE(writeProfileString("Options", "Poll", "5", ini.c_str()));
    char value[16] = {};
    profileString("Options", "Poll", "", value, sizeof value, ini.c_str());
    EXPECT_STREQ("5", value);

    std::vector<std::string> names;
    WIN32_FIND_DATAA entry = {};
    HANDLE find = findFirstFile((folder + "*").c_str(), entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    for (bool more = true; more; more = findNextFile(find, entry) != FALSE) {
        names.push_back(entry.cFileName);
    }
    FindClose(find);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{".", "..", "?.txt", "Настройки.ini", "Файл.txt"}), names);
    EXPECT_FALSE(deleteFile((folder + "?.txt").c_str()));

    char path[MAX_PATH];
    EXPECT_FALSE(exactNarrowText(L"Agn\u00e8s", path, sizeof path)); // no "e" for the "è"
    EXPECT_TRUE(exactNarrowText(L"Почта", path, sizeof path));
    EXPECT_STREQ("Почта", path);
    ForeignFolder::removeWideTree(wideFolder);
}
