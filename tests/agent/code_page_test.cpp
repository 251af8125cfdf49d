// Korvel.exe on a system whose code page is not the Russian one: ctest runs
// this program, and the agents it starts, with a locale that gives Wine the
// code page 1252. The texts the agent shows are read back with the W
// functions and must be the Russian texts.
#include "agent/tray_menu.h"
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
#include <gtest/gtest.h>

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
