// The settings dialog as the agent window opens it: its pages, its closing,
// the alert window, and the mailbox page testing mailboxes against dovecot.
#include "base/event_log.h"
#include "base/sha256.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "resources/resource.h"
#include "ui/alert_window.h"
#include "ui/tray_icon.h"

#include "agent_process.h"
#include "agent_window_fixture.h"
#include "http_fixtures.h"
#include "imap_fixtures.h"
#include "onlooker.h"
#include "poll_cycle_wait.h"
#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>

#include <shlobj.h>

namespace {

// How long a shown alert may take to reach the screen.
constexpr DWORD kPaintTimeoutMs = 2000;
constexpr COLORREF kBlue = RGB(10, 80, 255);
constexpr COLORREF kRed = RGB(255, 32, 32);
constexpr COLORREF kGreen = RGB(60, 200, 60);
constexpr char kUpdateText[] = "Обновить программу";
constexpr char kClearTextQuestion[] =
    "Сервер pop3.alpha.test не поддерживает защищенное соединение (TLS). Пароль ящика будет передаваться по "
    "сети открытым текстом, и его смогут перехватить.\r\nСохранить ящик?";

class SettingsDialog : public AgentWindowFixture {
protected:
    void open(const std::string& mailboxes) {
        if (!mailboxes.empty()) {
            ASSERT_TRUE(writeFile(mailboxFile(), mailboxes));
        }
        send(WM_COMMAND, IDM_SETTINGS);
        dialog = gAgent.settingsDialog;
        ASSERT_NE(nullptr, dialog);
        pumpPendingMessages();
    }
    void selectTab(int index) {
        HWND tabs = GetDlgItem(dialog, IDC_SETTINGS_TABS);
        SendMessageA(tabs, TCM_SETCURSEL, index, 0);
        NMHDR change = {tabs, IDC_SETTINGS_TABS, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageA(dialog, WM_NOTIFY, IDC_SETTINGS_TABS, reinterpret_cast<LPARAM>(&change));
        pumpPendingMessages();
    }
    void closeDialog() { SendMessageA(dialog, WM_CLOSE, 0, 0); }

    HWND page() { return gAgent.settingsPage; }
    HWND item(int id) { return GetDlgItem(page(), id); }
    void command(int id) { SendMessageA(page(), WM_COMMAND, id, 0); }
    std::string text(int id) {
        char buffer[512] = {};
        GetWindowTextA(item(id), buffer, sizeof buffer);
        return buffer;
    }
    std::string status() { return text(IDC_STATUS_LINE); }
    bool enabled(int id) { return IsWindowEnabled(item(id)) != 0; }
    bool visible(int id) { return IsWindowVisible(item(id)) != 0; }

    int rows() { return static_cast<int>(SendMessageA(item(IDC_MAILBOX_LIST), LVM_GETITEMCOUNT, 0, 0)); }
    std::string cell(int row, int column) {
        char buffer[300] = {};
        LVITEMA lv = {};
        lv.iSubItem = column;
        lv.pszText = buffer;
        lv.cchTextMax = sizeof buffer;
        SendMessageA(item(IDC_MAILBOX_LIST), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&lv));
        return buffer;
    }
    bool ticked(int row) { return ListView_GetCheckState(item(IDC_MAILBOX_LIST), row) != 0; }
    void selectRow(int row) {
        ListView_SetItemState(item(IDC_MAILBOX_LIST), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    // A click with the mouse on the row's check box.
    void clickCheckBox(int row) {
        HWND list = item(IDC_MAILBOX_LIST);
        RECT bounds = {};
        ListView_GetItemRect(list, row, &bounds, LVIR_BOUNDS);
        LVHITTESTINFO hit = {};
        hit.pt.y = (bounds.top + bounds.bottom) / 2;
        for (hit.pt.x = 0; hit.pt.x < 40; hit.pt.x++) {
            if (ListView_HitTest(list, &hit) == row && (hit.flags & LVHT_ONITEMSTATEICON)) {
                break;
            }
        }
        LPARAM at = MAKELPARAM(hit.pt.x + 2, hit.pt.y);
        SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(list, WM_LBUTTONUP, 0, at);
        pumpPendingMessages();
    }
    // The mouse on the list at a point, once or twice; what the page posts
    // to itself meanwhile is handled before this returns.
    void mouseOnList(POINT at, bool twice) {
        HWND list = item(IDC_MAILBOX_LIST);
        LPARAM where = MAKELPARAM(at.x, at.y);
        SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, where);
        SendMessageA(list, WM_LBUTTONUP, 0, where);
        if (twice) {
            SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, where);
            SendMessageA(list, WM_LBUTTONUP, 0, where);
        }
        pumpPendingMessages();
    }
    // Adding or editing: fills the editing group and saves (the test runs).
    void enterAndSave(const std::string& alias, const std::string& address, const std::string& password) {
        SetWindowTextA(item(IDC_MAILBOX_ALIAS), alias.c_str());
        SetWindowTextA(item(IDC_MAILBOX_ADDRESS), address.c_str());
        SetWindowTextA(item(IDC_MAILBOX_PASSWORD), password.c_str());
        command(IDC_MAILBOX_SAVE);
    }
    bool editingMode() { return visible(IDC_MAILBOX_SAVE) && !visible(IDC_MAILBOX_ADD) && !enabled(IDC_MAILBOX_LIST); }

    // Presses "Обновить программу" and dispatches messages until the
    // download has ended and its end has been shown: the button is the
    // update button again, or the dialog is gone.
    void runUpdate() {
        command(IDC_OPTIONS_UPDATE);
        waitUntil([this] { return !IsWindow(dialog) || text(IDC_OPTIONS_UPDATE) == kUpdateText; });
    }
    // Dispatches messages until done() holds; false when it never did.
    bool waitUntil(const std::function<bool()>& done, DWORD timeoutMs = kPollCycleTimeoutMs) {
        return pumpMessagesUntil(done, timeoutMs);
    }

    std::string mailboxFile() { return path("MailBox.txt"); }
    void screenshot(const char* name) {
        pumpPendingMessages(); // painted first
        saveScreenshot(artifactsFolder() + name);
    }

    HWND dialog = nullptr;
};

} // namespace

TEST_F(SettingsDialog, TabsPagesAndAQuietClosing) {
    open("A;Работа;ivan@alpha.test;secret;pop3.alpha.test;110\r\nP;Дом;petr@beta.test;pw;pop.beta.test;110\r\n");
    HWND tabs = GetDlgItem(dialog, IDC_SETTINGS_TABS);
    EXPECT_EQ(3, TabCtrl_GetItemCount(tabs));
    // The mailbox page in list mode, its rows ticked by their state.
    ASSERT_EQ(2, rows());
    EXPECT_EQ("Работа", cell(0, 0));
    EXPECT_EQ("petr@beta.test", cell(1, 1));
    EXPECT_TRUE(ticked(0));
    EXPECT_FALSE(ticked(1));
    EXPECT_TRUE(enabled(IDC_MAILBOX_DELETE) && enabled(IDC_MAILBOX_EDIT));
    EXPECT_FALSE(visible(IDC_MAILBOX_GROUP) || visible(IDC_MAILBOX_SAVE));
    screenshot("settings-mailboxes.bmp");
    {
        // Edit and Delete before a row is selected do nothing.
        Onlooker onlooker(dialog, IDNO);
        command(IDC_MAILBOX_EDIT);
        command(IDC_MAILBOX_DELETE);
        EXPECT_TRUE(onlooker.boxes().empty());
    }
    EXPECT_FALSE(editingMode());

    selectTab(1);
    EXPECT_NE(nullptr, item(IDC_OPTIONS_INTERVAL_SPIN));
    screenshot("settings-options.bmp");
    selectTab(2);
    EXPECT_NE(nullptr, FindWindowExA(page(), nullptr, "Кнопка", nullptr));
    screenshot("settings-about.bmp");
    // Back on the mailbox tab the page reads MailBox.txt again.
    ASSERT_TRUE(writeFile(mailboxFile(), "A;Новый;anna@gamma.test;pw;gamma.test;110\r\n"));
    selectTab(0);
    ASSERT_EQ(1, rows());
    EXPECT_EQ("Новый", cell(0, 0));

    // Minimised to the tray, and back by a click on the icon.
    SendMessageA(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_STREQ("Окно настроек активно", trayState().tip);
    SendMessageA(agent, WM_TRAYICON, 0, trayClickEvent());
    EXPECT_TRUE(IsWindowVisible(dialog));

    // Nothing changed: no poll and no alert, but the user settings are written.
    gAgent.settings.kolBlink = 17;
    {
        Onlooker onlooker(dialog);
        closeDialog();
        EXPECT_FALSE(onlooker.alertSeen());
    }
    EXPECT_EQ(0, gAgent.settingsOpen);
    EXPECT_EQ(nullptr, gAgent.pollThread.load());
    std::string ini = readFile(dir / "Korvel.ini");
    for (const char* key : {"\nBlink=", "KolBlink=17", "Interval="}) {
        EXPECT_NE(std::string::npos, ini.find(key)) << key;
    }
    EXPECT_EQ(std::string::npos, log().find("Поток опроса почты"));
    EXPECT_STREQ("Принято писем - 0", trayState().tip);
}

TEST_F(SettingsDialog, TheAlertsColours) {
    HWND parent = CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 100, 100, 500, 200, nullptr, nullptr,
                                  gAgent.instance, nullptr);
    HWND alert = createAlertWindow(parent);
    struct Case {
        const char* text;
        int isError;
        int pollMode;
        COLORREF colour;
    };
    const Case cases[] = {
        {"Тестирование. Минуточку...", 0, 0, kBlue},
        {"Ошибка! Сервер не ответил.", 1, 0, kRed},
        {"Успешное тестирование.", 0, 0, kGreen},
        {"Успешное тестирование.", 1, 0, kGreen}, // success outranks the error colour
        {"Успешное тестирование.", 0, 1, kBlue},  // but only after a test
    };
    for (const Case& c : cases) {
        gAgent.pollMode = c.pollMode;
        showAlert(c.text, c.isError);
        // The paint reaches the screen.
        waitUntil([&] { return alertColour(alert) == c.colour; }, kPaintTimeoutMs);
        EXPECT_EQ(c.colour, alertColour(alert)) << c.text << " " << c.isError << " " << c.pollMode;
    }
    SendMessageA(alert, WM_LBUTTONUP, 0, 0); // a click hides it
    EXPECT_FALSE(IsWindowVisible(alert));
    DestroyWindow(parent);
    gAgent.alertWindow = nullptr;
}

TEST_F(SettingsDialog, AddingAMailboxTestsItStoresItAndPollsAtClosing) {
    DovecotMailbox box;
    box.addCorpus();
    open("");
    command(IDC_MAILBOX_ADD);
    EXPECT_TRUE(editingMode());
    EXPECT_EQ("Параметры нового ящика", text(IDC_MAILBOX_GROUP));
    {
        Onlooker onlooker(dialog, IDYES);
        // Trailing blanks go, leading ones stay.
        enterAndSave("  Рабочий  ", box.user() + "@alpha.test   ", box.password() + " ");
        // The server has no TLS: the user agreed to the password in the clear.
        ASSERT_EQ(1u, onlooker.boxes().size());
        EXPECT_EQ(kClearTextQuestion, onlooker.boxes()[0]);
        EXPECT_EQ(IDNO, onlooker.defaultButton(kClearTextQuestion));
        EXPECT_EQ(kGreen, onlooker.alert("Успешное тестирование."));
        EXPECT_EQ(0, onlooker.unanswered);
    }
    EXPECT_EQ("A;  Рабочий;" + box.user() + "@alpha.test;" + box.password() + ";pop3.alpha.test;110\r\n",
              readFile(mailboxFile()));
    EXPECT_FALSE(editingMode());
    EXPECT_EQ("Изменения сохранены", status());
    ASSERT_EQ(1, rows());
    EXPECT_TRUE(ticked(0));
    EXPECT_EQ(1, gAgent.settingsChanged);
    EXPECT_EQ(std::string::npos, log().find(box.password()));

    // The change calls for a poll as the dialog closes: it brings the mails.
    {
        Onlooker onlooker(dialog);
        closeDialog();
        EXPECT_EQ(kBlue, onlooker.alert("Идёт приём почты. Минуточку..."));
    }
    ASSERT_TRUE(waitForPollCycle());
    ASSERT_NE(std::string::npos, log().find("Поток опроса почты завершился"));
    EXPECT_EQ(box.messageCount(), splitLines(readFile(dir / "GetMail.txt")).size());
}

// The server of delta.test has POP3 over TLS on port 995: the mailbox is
// stored with it.
TEST_F(SettingsDialog, AMailboxWithImplicitTlsIsStoredWithPort995) {
    DovecotMailbox box;
    open("");
    command(IDC_MAILBOX_ADD);
    {
        Onlooker onlooker(dialog);
        enterAndSave("Защищённый", box.user() + "@delta.test", box.password());
        EXPECT_EQ(kGreen, onlooker.alert("Успешное тестирование."));
        EXPECT_TRUE(onlooker.boxes().empty());
    }
    EXPECT_EQ("A;Защищённый;" + box.user() + "@delta.test;" + box.password() + ";pop3.delta.test;995\r\n",
              readFile(mailboxFile()));
    // Its receptions will never send the password in the clear.
    EXPECT_EQ(box.user() + "@delta.test;pop3.delta.test\r\n", readFile(path("TlsBox.txt")));
}

// A domain without POP3 (iota.test): the page stores the IMAP server the
// test found, and the poll at closing brings the mails over IMAP.
TEST_F(SettingsDialog, AnImapMailboxIsFoundStoredAndPolled) {
    DovecotMailbox box;
    box.addCorpus();
    const std::string address = box.user() + "@iota.test";
    open("");
    command(IDC_MAILBOX_ADD);
    {
        Onlooker onlooker(dialog);
        enterAndSave("Имап", address, box.password());
        EXPECT_EQ(kGreen, onlooker.alert("Успешное тестирование."));
        EXPECT_TRUE(onlooker.boxes().empty());
    }
    EXPECT_EQ("A;Имап;" + address + ";" + box.password() + ";imap.iota.test;993\r\n", readFile(mailboxFile()));
    closeDialog();
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_EQ(box.messageCount(), splitLines(readFile(dir / "GetMail.txt")).size());
}

// A line written by hand with an IMAP server: editing the mailbox tests that
// server over IMAP, and never guesses (fake.test has a POP3 server that a
// guess finds). Another address is another mailbox, its server guessed.
TEST_F(SettingsDialog, EditingAHandWrittenImapMailboxTestsItsServer) {
    setFakePop3Scenario("{}");
    setFakeImapScenario("{\"password\": \"secret\"}");
    open("A;Фейк;ivan@fake.test;old;fakes.test;993\r\n");
    selectRow(0);
    command(IDC_MAILBOX_EDIT);
    {
        Onlooker onlooker(dialog);
        enterAndSave("Фейк", "ivan@fake.test", "secret");
        EXPECT_EQ(kGreen, onlooker.alert("Успешное тестирование."));
    }
    EXPECT_EQ("A;Фейк;ivan@fake.test;secret;fakes.test;993\r\n", readFile(mailboxFile()));
    EXPECT_TRUE(fakePop3Transcript().empty());
    EXPECT_FALSE(fakeImapTranscript().empty());

    selectRow(0);
    command(IDC_MAILBOX_EDIT);
    {
        Onlooker onlooker(dialog, IDYES); // the POP3 server has no TLS
        enterAndSave("Фейк", "petr@fake.test", "secret");
    }
    EXPECT_EQ("A;Фейк;petr@fake.test;secret;fake.test;110\r\n", readFile(mailboxFile()));
}

// A server without TLS gets the password in the clear: the page stores such
// a mailbox only when the user agrees, and then forgets that it had logged
// in over TLS before, so that its receptions go on in the clear.
TEST_F(SettingsDialog, AMailboxInTheClearIsStoredOnlyWhenTheUserAgrees) {
    DovecotMailbox box;
    box.addCorpus();
    const std::string address = box.user() + "@alpha.test";
    const std::string record = path("TlsBox.txt");
    const std::string otherRecord = "anna@delta.test;pop3.delta.test\r\n";
    ASSERT_TRUE(writeFile(record, address + ";pop3.alpha.test\r\n" + otherRecord));
    open("");
    command(IDC_MAILBOX_ADD);
    {
        Onlooker onlooker(dialog, IDNO);
        enterAndSave("Открытый", address, box.password());
        ASSERT_EQ(1u, onlooker.boxes().size());
        EXPECT_EQ(kClearTextQuestion, onlooker.boxes()[0]);
        EXPECT_EQ(CLR_INVALID, onlooker.alert("Успешное тестирование."));
    }
    EXPECT_FALSE(fileExists(mailboxFile()));
    EXPECT_EQ(0, rows());
    EXPECT_TRUE(editingMode() && enabled(IDC_MAILBOX_SAVE) && enabled(IDC_MAILBOX_ADDRESS));
    EXPECT_EQ("Открытый", text(IDC_MAILBOX_ALIAS));
    EXPECT_EQ(address, text(IDC_MAILBOX_ADDRESS));
    EXPECT_EQ(box.password(), text(IDC_MAILBOX_PASSWORD));
    EXPECT_EQ("Почтовый ящик не сохранён.", status());
    EXPECT_EQ(0, gAgent.settingsChanged);
    EXPECT_EQ(address + ";pop3.alpha.test\r\n" + otherRecord, readFile(record));
    // The question came before the login: the password never left.
    EXPECT_EQ(std::string::npos, log().find("USER "));

    {
        Onlooker onlooker(dialog, IDYES);
        command(IDC_MAILBOX_SAVE);
        EXPECT_EQ(1u, onlooker.boxes().size());
        EXPECT_EQ(kGreen, onlooker.alert("Успешное тестирование."));
    }
    EXPECT_EQ(1u, occurrences(log(), "USER " + address));
    EXPECT_EQ("A;Открытый;" + address + ";" + box.password() + ";pop3.alpha.test;110\r\n", readFile(mailboxFile()));
    EXPECT_EQ(otherRecord, readFile(record));
    // The poll at closing logs in in the clear and brings the mails.
    closeDialog();
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_EQ(box.messageCount(), splitLines(readFile(dir / "GetMail.txt")).size());
}

// The scripted server refuses the password as dovecot does; dovecot itself
// would hold back the next logins from this address for seconds.
TEST_F(SettingsDialog, FailedOrRefusedTestsStoreNothing) {
    setFakePop3Scenario("{\"messages\": [], \"password\": \"right\"}");
    open("");
    command(IDC_MAILBOX_ADD);
    {
        Onlooker onlooker(dialog, IDYES); // the server has no TLS: the password goes after the question
        enterAndSave("", " ivan@fake.test  ", "wrong");
        ASSERT_EQ(1u, onlooker.boxes().size());
        EXPECT_EQ(0u, onlooker.boxes()[0].find("Сервер fake.test не поддерживает защищенное соединение (TLS)."));
        EXPECT_EQ(kRed, onlooker.alert("Ошибка! Адрес и/или пароль неопознаны."));
    }
    EXPECT_EQ("Ошибка! Адрес и/или пароль неопознаны.", status());
    EXPECT_TRUE(editingMode() && enabled(IDC_MAILBOX_SAVE));
    EXPECT_EQ(" ivan@fake.test", text(IDC_MAILBOX_ADDRESS));

    struct Case {
        const char* address;
        const char* password;
        const char* shown;
        const char* status;
    };
    const Case refused[] = {
        {"a@b   ", "pw", "a@b", "Ошибка. Неверный почтовый адрес!"},
        {"anna@alpha.test", "   ", "anna@alpha.test", "Ошибка. Не введён пароль!"},
    };
    for (const Case& c : refused) {
        enterAndSave("x", c.address, c.password);
        EXPECT_EQ(c.status, status()) << c.address;
        EXPECT_EQ(c.shown, text(IDC_MAILBOX_ADDRESS));
        EXPECT_TRUE(enabled(IDC_MAILBOX_SAVE) && enabled(IDC_MAILBOX_PASSWORD));
    }
    std::string events = log();
    // Only the first mailbox went to the server: stopped before USER, then
    // tested again once the user agreed.
    EXPECT_EQ(2u, occurrences(events, "Тестовый запрос"));

    command(IDC_MAILBOX_CANCEL);
    EXPECT_FALSE(editingMode());
    EXPECT_EQ("Почтовый ящик не выбран", status());
    EXPECT_FALSE(fileExists(mailboxFile()));
    EXPECT_EQ(0, gAgent.settingsChanged);
}

TEST_F(SettingsDialog, EditingAPausedMailboxKeepsItPaused) {
    DovecotMailbox box;
    open("P;Старый;" + box.user() + "@alpha.test;old;pop3.alpha.test;110\r\n");
    selectRow(0);
    EXPECT_EQ("Выбран 1-й почтовый ящик", status());
    command(IDC_MAILBOX_EDIT);
    ASSERT_TRUE(editingMode());
    EXPECT_EQ("old", text(IDC_MAILBOX_PASSWORD));
    EXPECT_EQ('*', SendMessageA(item(IDC_MAILBOX_PASSWORD), EM_GETPASSWORDCHAR, 0, 0));
    screenshot("settings-mailbox-editing.bmp");
    {
        Onlooker onlooker(IDYES); // the server has no TLS
        enterAndSave("Новый", box.user() + "@alpha.test", box.password());
    }
    EXPECT_EQ("P;Новый;" + box.user() + "@alpha.test;" + box.password() + ";pop3.alpha.test;110\r\n",
              readFile(mailboxFile()));
    EXPECT_FALSE(ticked(0));
}

TEST_F(SettingsDialog, CheckBoxesDeletingAndTheRedNoticeAtClosing) {
    open("P;Первый;ivan@alpha.test;pw;pop3.alpha.test;110\r\nA;Второй;petr@beta.test;pw;pop.beta.test;110\r\n");
    // Pausing an active mailbox is saved but calls for no poll; activating one does.
    clickCheckBox(1);
    EXPECT_EQ("P;Первый;ivan@alpha.test;pw;pop3.alpha.test;110\r\nP;Второй;petr@beta.test;pw;pop.beta.test;110\r\n",
              readFile(mailboxFile()));
    EXPECT_EQ(0, gAgent.settingsChanged);
    clickCheckBox(0);
    EXPECT_TRUE(ticked(0));
    EXPECT_EQ('A', readFile(mailboxFile())[0]);
    EXPECT_EQ(1, gAgent.settingsChanged);

    // Deleting asks first: No keeps the row, Yes removes it.
    for (int answer : {IDNO, IDYES, IDYES}) {
        selectRow(rows() - 1);
        Onlooker onlooker(dialog, answer);
        command(IDM_MAILBOX_DELETE);
        EXPECT_EQ(std::vector<std::string>{"Удалить ящик из списка?"}, onlooker.boxes());
    }
    EXPECT_EQ(0, rows());
    EXPECT_EQ("", readFile(mailboxFile()));
    EXPECT_FALSE(enabled(IDC_MAILBOX_DELETE) || enabled(IDC_MAILBOX_EDIT));

    // Without a connection at closing the notice is red.
    copyText(gAgent.settings.updateServer, sizeof gAgent.settings.updateServer, "http://127.0.0.1:9/");
    Onlooker onlooker(dialog);
    closeDialog();
    EXPECT_EQ(kRed, onlooker.alert("Нет соединения с Интернет!"));
}

TEST_F(SettingsDialog, TheCheckBoxIsWhereTheListDrawsIt) {
    open("A;Первый;ivan@alpha.test;pw;pop3.alpha.test;110\r\nA;Второй;petr@beta.test;pw;pop.beta.test;110\r\n");
    RECT box = listCheckBoxRect(item(IDC_MAILBOX_LIST), 0);
    POINT middle = rectCentre(box);
    // A click on the box pauses the mailbox and selects no row.
    mouseOnList(middle, false);
    EXPECT_FALSE(ticked(0));
    EXPECT_EQ('P', readFile(mailboxFile())[0]);
    EXPECT_EQ("", status());
    // Double clicks anywhere on the box only tick it, they open no editing.
    for (POINT at : {middle, POINT{box.right - 2, middle.y}, POINT{box.left + 2, middle.y}}) {
        mouseOnList(at, true);
        EXPECT_FALSE(editingMode()) << at.x;
        EXPECT_EQ("", status()) << at.x;
    }
    screenshot(("settings-mailbox-check-boxes-" + std::to_string(screenDpi()) + "dpi.bmp").c_str());
    // Beside the box a click selects the row and a double click edits it.
    RECT labelRect = {};
    labelRect.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageA(item(IDC_MAILBOX_LIST), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&labelRect)));
    POINT label = rectCentre(labelRect);
    mouseOnList(label, false);
    EXPECT_EQ("Выбран 2-й почтовый ящик", status());
    mouseOnList(label, true);
    EXPECT_TRUE(editingMode());
    EXPECT_EQ("Второй", text(IDC_MAILBOX_ALIAS));
}

// The same clicks with the display scaled to 200 %, in a process of its own
// (the scaling is read when a process starts).
TEST(SettingsDialogScaled, TheCheckBoxIsWhereTheListDrawsItAtTwiceTheScale) {
    std::string failures;
    EXPECT_EQ(0,
              runTestsAtDpi(192, "SettingsDialog.TheCheckBoxIsWhereTheListDrawsIt", kPollCycleTimeoutMs * 4, failures))
        << failures;
}

TEST_F(SettingsDialog, AMailboxWhoseRewriteFailedIsWrittenByTheNextSave) {
    DovecotMailbox box;
    open("");
    // A folder in the way of the new file's temporary name.
    ASSERT_TRUE(CreateDirectoryA((mailboxFile() + ".tmp").c_str(), nullptr));
    command(IDC_MAILBOX_ADD);
    {
        Onlooker onlooker(dialog, IDYES); // yes to the server without TLS, then OK
        enterAndSave("Почта", box.user() + "@alpha.test", box.password());
        ASSERT_EQ(2u, onlooker.boxes().size());
        EXPECT_NE(std::string::npos, onlooker.boxes()[1].find("Последние изменения не будут сохранены!"));
    }
    EXPECT_EQ(0, gAgent.settingsChanged);
    // Another tab and back: the entry is still there, not read from the file.
    selectTab(2);
    selectTab(0);
    ASSERT_EQ(1, rows());
    RemoveDirectoryA((mailboxFile() + ".tmp").c_str());
    clickCheckBox(0); // pausing it rewrites the file
    EXPECT_EQ("P;Почта;" + box.user() + "@alpha.test;" + box.password() + ";pop3.alpha.test;110\r\n",
              readFile(mailboxFile()));

    // What a failed rewrite left in memory is the open dialog's only: a new
    // dialog reads the file.
    ASSERT_TRUE(CreateDirectoryA((mailboxFile() + ".tmp").c_str(), nullptr));
    {
        Onlooker onlooker(dialog, IDOK);
        clickCheckBox(0);
        ASSERT_EQ(1u, onlooker.boxes().size());
        closeDialog();
    }
    RemoveDirectoryA((mailboxFile() + ".tmp").c_str());
    open("A;Другой;anna@gamma.test;pw;gamma.test;110\r\n");
    ASSERT_EQ(1, rows());
    EXPECT_EQ("Другой", cell(0, 0));
}

TEST_F(SettingsDialog, ALongTestKeepsTheDialogAnswering) {
    // Every reply of the scripted server comes late: the test takes seconds,
    // long enough for the onlooker to ask the dialog several times.
    setFakePop3Scenario("{\"messages\": [], \"delayMs\": 400}");
    open("");
    command(IDC_MAILBOX_ADD);
    Onlooker onlooker(dialog, IDYES); // the server has no TLS
    enterAndSave("Медленный", "ivan@fake.test", "secret");
    EXPECT_EQ("A;Медленный;ivan@fake.test;secret;fake.test;110\r\n", readFile(mailboxFile()));
    EXPECT_GE(onlooker.answered, 4);
    EXPECT_EQ(0, onlooker.unanswered);
}

namespace {

// Presses an arrow key on an up-down control.
void arrowUp(HWND spin) {
    SendMessageA(spin, WM_KEYDOWN, VK_UP, 0);
    SendMessageA(spin, WM_KEYUP, VK_UP, 0);
}

void click(HWND button) {
    SendMessageA(button, BM_CLICK, 0, 0);
}

// Chooses folder in the shell's folder browser once it shows (another
// thread; the settings dialog, also a "#32770", has no tree).
// The text of the tree's selected item.
std::string selectedTreeText(HWND tree) {
    char text[MAX_PATH] = {};
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = TreeView_GetSelection(tree);
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (item.hItem == nullptr || !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
        return "";
    }
    return text;
}

// Chooses the folder in the process's folder browser once it is up. The
// selection is read back before OK: a selection made while the browser
// still fills its tree can be lost, and OK would then take another folder.
DWORD WINAPI chooseInBrowser(void* folder) {
    std::string path = static_cast<const char*>(folder);
    while (!path.empty() && path.back() == '\\') {
        path.pop_back();
    }
    const std::string name = path.substr(path.find_last_of('\\') + 1);
    for (int tick = 0; tick < 200; tick++, Sleep(50)) {
        for (HWND w = FindWindowExA(nullptr, nullptr, "#32770", nullptr); w != nullptr;
             w = FindWindowExA(nullptr, w, "#32770", nullptr)) {
            DWORD process = 0;
            GetWindowThreadProcessId(w, &process);
            HWND tree = FindWindowExA(w, nullptr, "SysTreeView32", nullptr);
            if (process != GetCurrentProcessId() || !IsWindowVisible(w) || tree == nullptr ||
                TreeView_GetCount(tree) == 0) {
                continue;
            }
            SendMessageA(w, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder));
            if (lstrcmpiA(selectedTreeText(tree).c_str(), name.c_str()) == 0) {
                PostMessageA(w, WM_COMMAND, IDOK, 0);
                return 0;
            }
        }
    }
    return 1;
}

// Stands in for the agent window: records the shutdown request.
std::atomic<int> quitRequests{0};
LRESULT CALLBACK quitRecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDM_QUIT) {
        quitRequests++;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string startupLink() {
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_STARTUP, FALSE);
    return std::string(folder) + "\\Korvel.lnk";
}

// The registry value "AutoStart", -1 when there is none.
int autoStartValue() {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, "SOFTWARE\\Brastel\\Korvel", "AutoStart", RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
        return -1;
    }
    return static_cast<int>(value);
}

std::string sha256Of(const std::string& bytes) {
    char hex[kSha256HexCapacity] = {};
    EXPECT_EQ(0u, sha256Hex(bytes.data(), bytes.size(), hex));
    return hex;
}

} // namespace

TEST_F(SettingsDialog, OptionsUpDownsWrapAndOnlyANewIntervalPollsAtClosing) {
    gAgent.settings.kolBlink = 99;
    gAgent.settings.interval = 120;
    open("");
    selectTab(1);
    EXPECT_FALSE(enabled(IDC_OPTIONS_UPDATE)); // NewVersion 10
    EXPECT_FALSE(enabled(IDC_OPTIONS_CLEAR_ARCHIVE));
    EXPECT_EQ("99", text(IDC_OPTIONS_BLINK_COUNT));
    EXPECT_FALSE(enabled(IDC_OPTIONS_BLINK_SPIN));
    click(item(IDC_OPTIONS_BLINK));
    EXPECT_EQ(1, gAgent.settings.blink);
    ASSERT_TRUE(enabled(IDC_OPTIONS_BLINK_SPIN));
    arrowUp(item(IDC_OPTIONS_BLINK_SPIN));
    EXPECT_EQ(10, gAgent.settings.kolBlink);
    EXPECT_EQ("10", text(IDC_OPTIONS_BLINK_COUNT));
    {
        Onlooker onlooker(dialog);
        closeDialog();
        EXPECT_FALSE(onlooker.alertSeen());
    }
    EXPECT_EQ(std::string::npos, log().find("Поток опроса почты"));
    std::string ini = readFile(dir / "Korvel.ini");
    EXPECT_NE(std::string::npos, ini.find("\nBlink=1")) << ini;
    EXPECT_NE(std::string::npos, ini.find("KolBlink=10")) << ini;

    gAgent.settings.newVersion = 11;
    open("");
    selectTab(1);
    EXPECT_TRUE(enabled(IDC_OPTIONS_UPDATE));
    EXPECT_TRUE(enabled(IDC_OPTIONS_BLINK_SPIN));
    EXPECT_EQ("120", text(IDC_OPTIONS_INTERVAL));
    arrowUp(item(IDC_OPTIONS_INTERVAL_SPIN));
    EXPECT_EQ(1, gAgent.settings.interval);
    EXPECT_EQ("1", text(IDC_OPTIONS_INTERVAL));
    {
        Onlooker onlooker(dialog);
        closeDialog();
        EXPECT_EQ(kBlue, onlooker.alert("Идёт приём почты. Минуточку..."));
    }
    EXPECT_TRUE(waitForPollCycle());
    EXPECT_NE(std::string::npos, log().find("Поток опроса почты завершился"));
    EXPECT_NE(std::string::npos, readFile(dir / "Korvel.ini").find("Interval=1\r\n"));
}

TEST_F(SettingsDialog, AutostartSwitchesTheStartupLinkAndTheRegistryValue) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    RegistryKey existing;
    bool keyExisted =
        RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Brastel\\Korvel", 0, KEY_READ, existing.out()) == ERROR_SUCCESS;
    DeleteFileA(startupLink().c_str());
    open("");
    selectTab(1);
    EXPECT_FALSE(IsDlgButtonChecked(page(), IDC_OPTIONS_AUTOSTART));
    for (int on : {1, 0}) {
        click(item(IDC_OPTIONS_AUTOSTART));
        EXPECT_EQ(on == 1, fileExists(startupLink())) << on;
        EXPECT_EQ(on, autoStartValue());
        EXPECT_EQ(static_cast<DWORD>(on), gAgent.autoStart);
    }
    if (!keyExisted) {
        RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Brastel\\Korvel");
    }
    CoUninitialize();
}

TEST_F(SettingsDialog, ClearingTheArchiveAsksAndDisablesTheButton) {
    ASSERT_TRUE(writeFile(dir / "HistMail.txt", "1\r\n"));
    open("");
    selectTab(1);
    EXPECT_TRUE(enabled(IDC_OPTIONS_CLEAR_ARCHIVE));
    for (int answer : {IDNO, IDYES}) {
        Onlooker onlooker(dialog, answer);
        command(IDC_OPTIONS_CLEAR_ARCHIVE);
        EXPECT_EQ(std::vector<std::string>{"Действительно удалить Архив писем?"}, onlooker.boxes());
        EXPECT_EQ(answer == IDNO, fileExists(dir / "HistMail.txt"));
        EXPECT_EQ(answer == IDNO, enabled(IDC_OPTIONS_CLEAR_ARCHIVE));
    }
    selectTab(0);
    selectTab(1);
    EXPECT_FALSE(enabled(IDC_OPTIONS_CLEAR_ARCHIVE));
}

TEST_F(SettingsDialog, CopyingTheAgentRefusesToOverwriteOne) {
    ASSERT_TRUE(writeFile(dir / "Korvel.exe", "agent"));
    TempFolder taken;
    TempFolder fresh;
    ASSERT_TRUE(CreateDirectoryA((taken / "Korvel").c_str(), nullptr));
    ASSERT_TRUE(writeFile(taken / "Korvel\\Korvel.exe", "other"));
    open("A;Дом;ivan@alpha.test;pw;pop3.alpha.test;110\r\n");
    selectTab(1);
    for (const TempFolder* target : {&taken, &fresh}) {
        std::string folder = target->path();
        Onlooker onlooker(dialog);
        UniqueHandle chooser(CreateThread(nullptr, 0, chooseInBrowser, &folder[0], 0, nullptr));
        command(IDC_OPTIONS_COPY);
        DWORD chosen = 1;
        WaitForSingleObject(chooser.get(), kPollCycleTimeoutMs);
        GetExitCodeThread(chooser.get(), &chosen);
        ASSERT_EQ(0u, chosen) << "no folder browser";
        std::vector<std::string> boxes = onlooker.boxes();
        ASSERT_EQ(1u, boxes.size());
        if (target == &taken) {
            EXPECT_EQ(0u, boxes[0].find("Затрудняюсь скопировать файл " + dir / "Korvel.exe" + " в файл " + folder +
                                        "Korvel\\Korvel.exe\r\nОшибка 80: "))
                << boxes[0];
            EXPECT_EQ("other", readFile(folder + "Korvel\\Korvel.exe"));
            EXPECT_FALSE(folderExists(folder + "Korvel\\MainFolder"));
        } else {
            EXPECT_EQ("Агент успешно скопирован.", boxes[0]);
            EXPECT_EQ("agent", readFile(folder + "Korvel\\Korvel.exe"));
            EXPECT_EQ(readFile(mailboxFile()), readFile(folder + "Korvel\\MainFolder\\MailBox.txt"));
        }
    }
}

TEST_F(SettingsDialog, AnUpdateThatIsShortBrokenOffTooLongOrDoesNotMatchIsRefused) {
    gAgent.settings.newVersion = 11;
    open("");
    selectTab(1);
    const std::string wrongHash(64, '0');
    struct Case {
        int versionSize;
        size_t received;
        std::string hash;
        std::string behaviour;
        const char* alert;
        std::string logged;
    };
    const std::string none;
    const std::string plain = "{}";
    const Case cases[] = {
        {0, 0, none, plain, "Файл обновлений не загрузился!", "Ошибка! Принято всего 0 байт"},
        {0, 150000, none, plain, "Файл обновлений не загрузился!", "Ошибка! Принято всего 150000 байт"},
        {500000, 499999, none, plain, "Контрольная сумма не совпала!", "неполным содержимым в 499999 байт!"},
        {500000, 500001, none, plain, "Контрольная сумма не совпала!", "неполным содержимым в 500001 байт!"},
        {0, 300000, wrongHash, plain, "Контрольная сумма не совпала!", "не совпадает с объявленной " + wrongHash},
        // The connection breaks off before the announced length.
        {0, 300000, none, "{\"download\": {\"breakAfter\": 250000}}", "Файл обновлений не загрузился!",
         "Ошибка! Принято всего 250000 байт"},
        {0, 300000, none, "{\"download\": {\"contentLength\": 2000000000}}", "Файл обновлений не загрузился!",
         "Ошибка! Принято всего 300000 байт"},
        // Without an announced size, more than 4 MiB is no updater.
        {0, 4194305, none, plain, "Файл обновлений не загрузился!", "Ошибка! Файл обновления больше 4194304 байт!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        setUpdateFile(std::string(c.received, 'x'));
        setHttpBehaviour(c.behaviour);
        gAgent.settings.versionSize = c.versionSize;
        copyText(gAgent.settings.versionHash, sizeof gAgent.settings.versionHash, c.hash.c_str());
        Onlooker onlooker(dialog);
        runUpdate();
        EXPECT_EQ(kRed, onlooker.alert(c.alert));
        EXPECT_EQ(std::vector<std::string>{"Обновления загрузить не удалось."}, onlooker.boxes());
        EXPECT_NE(std::string::npos, log().find(c.logged));
        EXPECT_FALSE(fileExists(dir / "Velnor.exe") || fileExists(dir / "Velnor.exe.tmp"));
    }
    EXPECT_TRUE(enabled(IDC_OPTIONS_UPDATE));
    EXPECT_EQ("", status());
}

// A download that trickles in runs while the dialog answers, shows its
// progress in the status line, and ends when the button, now the cancel
// button, is pressed again or the dialog closes. Meanwhile the other tabs
// wait.
TEST_F(SettingsDialog, ASlowUpdateShowsItsProgressAndIsCancelledByTheButtonOrByClosing) {
    setUpdateFile(std::string(300000, 'x'));
    setHttpBehaviour("{\"download\": {\"chunkDelayMs\": 250, \"pieceBytes\": 2000}}");
    gAgent.settings.newVersion = 11;
    open("");
    selectTab(1);
    Onlooker onlooker(dialog);
    command(IDC_OPTIONS_UPDATE);
    EXPECT_EQ("Отменить загрузку", text(IDC_OPTIONS_UPDATE));
    ASSERT_TRUE(waitUntil([this] { return status().find(" из 300000 байт") != std::string::npos; })) << status();
    EXPECT_EQ(0u, status().find("Загрузка обновления: ")) << status();
    ASSERT_TRUE(waitUntil([&onlooker] { return onlooker.answered >= 2; }));
    EXPECT_EQ(0, onlooker.unanswered);
    HWND tabs = GetDlgItem(dialog, IDC_SETTINGS_TABS);
    NMHDR changing = {tabs, IDC_SETTINGS_TABS, static_cast<UINT>(TCN_SELCHANGING)};
    EXPECT_EQ(TRUE, SendMessageA(dialog, WM_NOTIFY, IDC_SETTINGS_TABS, reinterpret_cast<LPARAM>(&changing)));

    command(IDC_OPTIONS_UPDATE);
    EXPECT_EQ(kUpdateText, text(IDC_OPTIONS_UPDATE));
    EXPECT_EQ("Загрузка обновления отменена.", status());
    EXPECT_TRUE(enabled(IDC_OPTIONS_UPDATE));
    EXPECT_NE(std::string::npos, log().find("Загрузка файла обновления отменена."));
    // The download's file goes with its thread.
    EXPECT_TRUE(waitUntil([this] { return !fileExists(dir / "Velnor.exe.tmp"); }));
    EXPECT_FALSE(fileExists(dir / "Velnor.exe"));
    EXPECT_FALSE(onlooker.alertSeen());
    EXPECT_TRUE(onlooker.boxes().empty());
    EXPECT_EQ(FALSE, SendMessageA(dialog, WM_NOTIFY, IDC_SETTINGS_TABS, reinterpret_cast<LPARAM>(&changing)));

    // Closing the dialog in the middle of a download ends it.
    command(IDC_OPTIONS_UPDATE);
    ASSERT_TRUE(waitUntil([this] { return fileExists(dir / "Velnor.exe.tmp"); }));
    closeDialog();
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(waitUntil([this] { return !fileExists(dir / "Velnor.exe.tmp"); }));
    EXPECT_FALSE(fileExists(dir / "Velnor.exe"));
    std::string logged = log();
    EXPECT_NE(logged.find("Загрузка файла обновления отменена."), logged.rfind("Загрузка файла обновления отменена."));
}

// A file of the announced size and hash is stored whole, the updater starts
// with the agent's version, and the agent window is asked to end the agent
// (a stand-in here: the end itself is the end-to-end test's).
TEST_F(SettingsDialog, AMatchingUpdateStartsTheUpdaterAndAsksTheAgentToEnd) {
    std::string updater = readFile(testProgramFolder() + "fake_updater.exe");
    ASSERT_FALSE(updater.empty());
    updater.resize(updater.size() < 300000 ? 300000 : updater.size(), '\0'); // still runs, above the floor
    setUpdateFile(updater);
    gAgent.settings.newVersion = 11;
    gAgent.settings.versionSize = static_cast<int>(updater.size());
    copyText(gAgent.settings.versionHash, sizeof gAgent.settings.versionHash, sha256Of(updater).c_str());
    WNDCLASSA recorderClass = {};
    recorderClass.lpfnWndProc = quitRecorderProc;
    recorderClass.hInstance = gAgent.instance;
    recorderClass.lpszClassName = "QuitRecorder";
    ASSERT_NE(0, RegisterClassA(&recorderClass));
    HWND recorder =
        CreateWindowExA(0, "QuitRecorder", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, gAgent.instance, nullptr);
    open("");
    selectTab(1);
    gAgent.agentWindow = recorder;
    {
        Onlooker onlooker(dialog);
        runUpdate();
        EXPECT_EQ(kBlue, onlooker.alert("Файл обновлений загружен. Обновляю."));
        EXPECT_TRUE(onlooker.boxes().empty());
    }
    pumpPendingMessages(); // the request to end, posted as the updater started
    gAgent.agentWindow = agent;
    DestroyWindow(recorder);
    UnregisterClassA("QuitRecorder", gAgent.instance);
    EXPECT_EQ(1, quitRequests);
    EXPECT_FALSE(enabled(IDC_OPTIONS_UPDATE));
    EXPECT_EQ(updater, readFile(dir / "Velnor.exe"));
    EXPECT_NE(std::string::npos, log().find("Принят файл обновления с гарантированно полным содержимым в " +
                                            std::to_string(updater.size()) + " байт."));
    EXPECT_NE(std::string::npos, log().find("Контрольная сумма SHA-256 файла обновления совпала."));
    ASSERT_TRUE(waitForFile(dir / "updater-args.txt", kPollCycleTimeoutMs));
    EXPECT_EQ("\"" + dir / "Velnor.exe" + "\" 10", readFile(dir / "updater-args.txt"));
    // It runs in the module folder (the fake writes that before its command line).
    std::string moduleFolder = dir.path();
    moduleFolder.pop_back();
    EXPECT_EQ(moduleFolder, readFile(dir / "updater-folder.txt"));
    // The updater's file goes with the folder once the updater has ended.
    EXPECT_TRUE(waitForProcessesToEnd("Velnor.exe", kPollCycleTimeoutMs));
}

// A downloaded file that matches but does not start: the failure is told in
// the log and a box, and the agent stays.
TEST_F(SettingsDialog, AnUpdaterThatDoesNotStartIsReportedAndTheAgentStays) {
    const std::string notAProgram(300000, 'x');
    setUpdateFile(notAProgram);
    gAgent.settings.newVersion = 11;
    gAgent.settings.versionSize = static_cast<int>(notAProgram.size());
    copyText(gAgent.settings.versionHash, sizeof gAgent.settings.versionHash, sha256Of(notAProgram).c_str());
    int requestsBefore = quitRequests;
    open("");
    selectTab(1);
    Onlooker onlooker(dialog);
    runUpdate();
    std::vector<std::string> boxes = onlooker.boxes();
    ASSERT_EQ(1u, boxes.size());
    const std::string failure = "Затрудняюсь запустить обновление! Ошибка ";
    EXPECT_EQ(0u, boxes[0].find(failure)) << boxes[0];
    EXPECT_NE(0u, boxes[0].find(failure + "0:")) << boxes[0];
    EXPECT_NE(std::string::npos, log().find(boxes[0]));
    EXPECT_TRUE(enabled(IDC_OPTIONS_UPDATE));
    EXPECT_EQ(requestsBefore, quitRequests);
}
