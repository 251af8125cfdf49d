// The viewer in this process, on its real windows: tabs, both views of the
// mail list, marks, delete and undo, and a deletion carried out by a poll.
#include "base/event_log.h"
#include "base/text.h"
#include "base/win_handles.h"
#include "core/agent_state.h"
#include "core/settings_file.h"
#include "resources/resource.h"
#include "store/mail_date.h"
#include "store/mail_lists.h"
#include "ui/alert_window.h"
#include "ui/tray_icon.h"
#include "viewer/viewer_window.h"

#include "agent_process.h"
#include "agent_window_fixture.h"
#include "http_fixtures.h"
#include "onlooker.h"
#include "poll_cycle_wait.h"
#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::string mailLine(const char* number, const char* pseudonym, const char* address, const char* sender,
                     const char* date, const char* subject, const char* identity = "id") {
    return std::string(number) + ";0;" + pseudonym + ";" + address + ";1.0 Кб;" + identity + number + ";" + sender +
           ";" + date + ";;" + subject + "\r\n";
}

// Two mailboxes: "Работа" with mails 9 and 10, "Дом" with mail 11.
std::string sampleMails() {
    return mailLine("9", "Работа", "ivan@work.test", "Пётр", "1765000100", "Отчёт") +
           mailLine("10", "Работа", "ivan@work.test", "Анна", "1765000200", "Встреча") +
           mailLine("11", "Дом", "ivan@home.test", "Мама", "1765000300", "Ужин");
}

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class Viewer : public AgentWindowFixture {
protected:
    void open() {
        viewer = openViewer(nullptr);
        ASSERT_NE(nullptr, viewer);
        pumpPendingMessages();
    }
    void close() {
        if (gAgent.viewerOpen && gAgent.viewerWindow.load() != nullptr) {
            DestroyWindow(gAgent.viewerWindow);
        }
        viewer = nullptr;
    }
    HWND tabs() { return FindWindowExA(viewer, nullptr, WC_TABCONTROLA, nullptr); }
    HWND list() { return GetDlgItem(tabs(), IDC_MAIL_LIST); }
    void showTab(int tab) {
        SendMessageA(tabs(), TCM_SETCURSEL, tab, 0);
        NMHDR header = {tabs(), 0, TCN_SELCHANGE};
        SendMessageA(viewer, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
    }
    // The rows as "column texts|check": check is "x" (marked), "-" (not) or
    // "" (no check box).
    std::vector<std::string> rows(int columns) {
        std::vector<std::string> out;
        int count = static_cast<int>(SendMessageA(list(), LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; row++) {
            std::string line;
            for (int column = 1; column < columns; column++) {
                char text[261] = {};
                ListView_GetItemText(list(), row, column, text, sizeof text);
                line += std::string(text) + (column + 1 < columns ? ";" : "");
            }
            char first[261] = {};
            ListView_GetItemText(list(), row, 0, first, sizeof first);
            UINT state = ListView_GetItemState(list(), row, LVIS_STATEIMAGEMASK) >> 12;
            out.push_back(std::string(first) + ":" + line + "|" + (state == 2 ? "x" : state == 1 ? "-" : ""));
        }
        return out;
    }
    void notify(UINT code, int row, int x) {
        RECT item = {};
        ListView_GetItemRect(list(), row, &item, LVIR_BOUNDS);
        NMITEMACTIVATE click = {};
        click.hdr = {list(), IDC_MAIL_LIST, code};
        click.iItem = row;
        click.ptAction = {x, (item.top + item.bottom) / 2};
        SendMessageA(viewer, WM_NOTIFY, IDC_MAIL_LIST, reinterpret_cast<LPARAM>(&click));
    }
    // Where the list draws a row's fold sign and check box (the box as far
    // as it is in view), the row scrolled into view first.
    POINT iconCentre(int row) {
        SendMessageA(list(), LVM_ENSUREVISIBLE, row, FALSE);
        return rectCentre(listIconRect(list(), row));
    }
    POINT checkBoxCentre(int row) {
        SendMessageA(list(), LVM_ENSUREVISIBLE, row, FALSE);
        RECT box = listCheckBoxRect(list(), row);
        box.left = std::max(box.left, 0L);
        return rectCentre(box);
    }
    // A press and release of the left button; the list reports the click
    // before the release returns.
    void clickAt(POINT at) {
        LPARAM where = MAKELPARAM(at.x, at.y);
        SendMessageA(list(), WM_LBUTTONDOWN, MK_LBUTTON, where);
        SendMessageA(list(), WM_LBUTTONUP, 0, where);
    }
    // Scrolls the list to the right by half the width left of the icons.
    void scrollRight() {
        LONG before = listIconRect(list(), 0).left;
        LONG by = before / 2;
        ASSERT_GT(by, 0);
        ASSERT_TRUE(SendMessageA(list(), LVM_SCROLL, by, 0));
        ASSERT_EQ(before - by, listIconRect(list(), 0).left);
    }
    std::vector<std::string> marks(int columns) {
        std::vector<std::string> out;
        for (const std::string& row : rows(columns)) {
            out.push_back(row.substr(row.rfind('|') + 1));
        }
        return out;
    }
    void columnClick(int column) {
        NMLISTVIEW header = {};
        header.hdr = {list(), IDC_MAIL_LIST, LVN_COLUMNCLICK};
        header.iItem = -1;
        header.iSubItem = column;
        SendMessageA(viewer, WM_NOTIFY, IDC_MAIL_LIST, reinterpret_cast<LPARAM>(&header));
    }
    void press(int id) { SendMessageA(viewer, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    std::string statusText(int part) {
        char text[128] = {};
        SendMessageA(GetDlgItem(viewer, IDC_VIEWER_STATUS), SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
        return text;
    }
    void screenshot(const char* name) {
        pumpPendingMessages();
        std::string folder = artifactsFolder();
        if (!folder.empty()) {
            saveScreenshot(folder + "\\" + name);
        }
    }
    HWND viewer = nullptr;
};

} // namespace

TEST_F(Viewer, OpeningWithoutFreshMailAndClosingEmptiesTheNewTab) {
    ASSERT_TRUE(writeFile(path("Mail.txt"), sampleMails()));
    ASSERT_TRUE(writeFile(path("HistMail.txt"), sampleMails()));
    open();
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Слить файлы новых писем не удалось"));
    EXPECT_NE(std::string::npos, text.find("Слить файлы новых писем с Архивом не удалось"));
    EXPECT_EQ(3u, rows(5).size()); // compact: three mails
    EXPECT_EQ(3, gAgent.receivedCount);
    EXPECT_STREQ("Принято писем - 3", trayState().tip);
    EXPECT_EQ("Удалить (Del)", statusText(0));
    EXPECT_EQ("", statusText(1));
    EXPECT_FALSE(IsWindowEnabled(viewerButton(viewer, ViewerButton::Undo)));
    EXPECT_EQ("Показать подробно (Ctrl+Space)", statusText(4));

    close();
    EXPECT_FALSE(fileExists(path("Mail.txt")));
    EXPECT_EQ(0, gAgent.viewerOpen);
    open();
    EXPECT_EQ(std::vector<std::string>{":Нет новых;;;|"}, rows(5));
    showTab(1);
    EXPECT_EQ(3u, rows(5).size());
    close();
    showTab(0); // nothing left to notify: no crash on a closed viewer
}

TEST_F(Viewer, GroupedViewRowsMarksAndSorts) {
    gAgent.settings.winStyle = 1;
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    open();
    // Mailboxes by address descending, mails by date descending.
    std::vector<std::string> expected = {
        "Работа:Писем в ящике - 2;;;;;|-", ":Анна;", ":Пётр;", "Дом:Писем в ящике - 1;;;;;|-", ":Мама;",
    };
    std::vector<std::string> got = rows(7);
    ASSERT_EQ(5u, got.size());
    EXPECT_EQ(expected[0], got[0]);
    EXPECT_EQ(0u, got[1].find(expected[1]));
    EXPECT_NE(std::string::npos, got[1].find(";Встреча;10|-"));
    EXPECT_EQ(0u, got[2].find(expected[2]));
    EXPECT_EQ(expected[3], got[3]);
    EXPECT_EQ("Минимизировать (Ctrl+Space)", statusText(4));

    // A click of the mouse in the check box of mail row 2 marks it once;
    // collapsing the group shows its header checked, expanding unchecks it.
    clickAt(checkBoxCentre(2));
    EXPECT_NE(std::string::npos, rows(7)[2].find("|x"));
    EXPECT_NE(std::string::npos, rows(7)[1].find("|-"));
    notify(NM_CLICK, 0, iconCentre(0).x);
    got = rows(7);
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ("Работа:Писем в ящике - 2;;;;;|x", got[0]);
    notify(NM_DBLCLK, 0, 100);
    EXPECT_EQ("Работа:Писем в ящике - 2;;;;;|-", rows(7)[0]);
    EXPECT_NE(std::string::npos, rows(7)[2].find("|x"));

    // Mark group, then mark all twice: every mark back to unmarked.
    notify(NM_CLICK, 3, checkBoxCentre(3).x);
    got = rows(7);
    EXPECT_NE(std::string::npos, got[3].find("|x"));
    EXPECT_NE(std::string::npos, got[4].find("|x"));
    columnClick(0);
    for (const std::string& row : rows(7)) {
        EXPECT_NE(std::string::npos, row.find("|x")) << row;
    }
    columnClick(0);
    for (const std::string& row : rows(7)) {
        EXPECT_NE(std::string::npos, row.find("|-")) << row;
    }
    // The date column turns the order inside the groups round.
    columnClick(2);
    EXPECT_EQ(0u, rows(7)[1].find(":Пётр;"));
    columnClick(2);
    EXPECT_EQ(0u, rows(7)[1].find(":Анна;"));

    // A double click on a mail names its number, in a box the viewer owns:
    // it cannot open behind the viewer.
    Onlooker onlooker(IDOK);
    notify(NM_DBLCLK, 1, 100);
    EXPECT_TRUE(contains(onlooker.boxes(), "Выбрано письмо с глобальным номером 10."));
    EXPECT_EQ(gAgent.viewerWindow.load(), onlooker.ownerOf("Выбрано письмо с глобальным номером 10."));
    screenshot("viewer_detailed.bmp");
}

TEST_F(Viewer, CompactViewMarksSortsAndSizeToggle) {
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    open();
    std::vector<std::string> got = rows(5);
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ(0u, got[0].find(":Анна;")); // in the order of loading: by mailbox, newest first
    notify(NM_CLICK, 1, checkBoxCentre(1).x);
    EXPECT_NE(std::string::npos, rows(5)[1].find("|x"));
    notify(NM_CLICK, 1, checkBoxCentre(1).x);
    EXPECT_NE(std::string::npos, rows(5)[1].find("|-"));
    columnClick(2); // "Когда": newest first
    got = rows(5);
    EXPECT_NE(std::string::npos, got[0].find("Ужин;11|"));
    EXPECT_NE(std::string::npos, got[2].find("Отчёт;9|"));
    columnClick(2);
    EXPECT_NE(std::string::npos, rows(5)[0].find("Отчёт;9|"));
    columnClick(1); // "От кого": by mailbox address, descending
    EXPECT_NE(std::string::npos, rows(5)[2].find("Ужин;11|"));
    screenshot("viewer_compact.bmp");

    // Two size toggles bring back the first size and style.
    RECT first;
    GetWindowRect(viewer, &first);
    press(IDC_VIEWER_SIZE_TOGGLE);
    EXPECT_EQ(5u, rows(7).size());
    EXPECT_EQ("Минимизировать (Ctrl+Space)", statusText(4));
    press(IDC_VIEWER_SIZE_TOGGLE);
    RECT second;
    GetWindowRect(viewer, &second);
    EXPECT_EQ(first.right - first.left, second.right - second.left);
    EXPECT_EQ(first.bottom - first.top, second.bottom - second.top);
    EXPECT_EQ(3u, rows(5).size());
    close();
    std::string ini = readFile(path("Korvel.ini"));
    EXPECT_NE(std::string::npos, ini.find("[WinPos]"));
    EXPECT_NE(std::string::npos, ini.find("[WinPosInv]"));
}

TEST_F(Viewer, DeleteFromEitherTabAndUndo) {
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    open();
    Onlooker onlooker(IDYES);
    press(IDC_VIEWER_DELETE); // nothing marked: no question
    EXPECT_TRUE(onlooker.boxes().empty());
    EXPECT_TRUE(contains(onlooker.notices(), "Не выбраны письма для удаления!"));

    // Mark 10 and 9 in "Новые" (compact rows 0 and 1, before mail 11).
    notify(NM_CLICK, 0, checkBoxCentre(0).x);
    notify(NM_CLICK, 1, checkBoxCentre(1).x);
    press(IDC_VIEWER_DELETE);
    EXPECT_TRUE(contains(onlooker.boxes(), "Действительно удалить 2 выбранных писем с сервера?"));
    EXPECT_EQ(1u, rows(5).size());
    showTab(1);
    EXPECT_EQ(1u, rows(5).size());
    std::vector<std::string> pending = splitLines(readFile(path("DeleteMail.txt")));
    ASSERT_EQ(2u, pending.size());
    EXPECT_EQ(0u, pending[0].find("9;0;Работа;"));
    EXPECT_EQ(0u, pending[1].find("10;0;Работа;"));
    EXPECT_TRUE(IsWindowEnabled(viewerButton(viewer, ViewerButton::Undo)));
    EXPECT_EQ("Отменить удаление (Ctrl+Z)", statusText(1));

    // Deleting from "История" takes the mail from "Новые" too, appending.
    notify(NM_CLICK, 0, checkBoxCentre(0).x);
    press(IDC_VIEWER_DELETE);
    EXPECT_EQ(std::vector<std::string>{":Архив пуст;;;|"}, rows(5));
    pending = splitLines(readFile(path("DeleteMail.txt")));
    ASSERT_EQ(3u, pending.size());
    EXPECT_EQ(0u, pending[2].find("11;0;Дом;"));
    showTab(0);
    EXPECT_EQ(std::vector<std::string>{":Нет новых;;;|"}, rows(5));

    // While a poll runs the undo refuses and disables its button.
    gAgent.pollThread = GetCurrentThread();
    press(IDC_VIEWER_UNDO);
    gAgent.pollThread = nullptr;
    EXPECT_TRUE(contains(onlooker.notices(), "Отменить удаление невозможно!"));
    EXPECT_FALSE(IsWindowEnabled(viewerButton(viewer, ViewerButton::Undo)));
    EXPECT_TRUE(fileExists(path("DeleteMail.txt")));

    press(IDC_VIEWER_UNDO);
    EXPECT_TRUE(contains(onlooker.notices(), "Письма успешно перемещены в Архив."));
    EXPECT_FALSE(fileExists(path("DeleteMail.txt")));
    EXPECT_EQ(std::vector<std::string>{":Нет новых;;;|"}, rows(5));
    showTab(1);
    EXPECT_EQ(3u, rows(5).size());
    EXPECT_FALSE(IsWindowEnabled(viewerButton(viewer, ViewerButton::Undo)));
    press(IDC_VIEWER_UNDO);
    EXPECT_TRUE(contains(onlooker.notices(), "Нет писем на удаление!"));
}

TEST_F(Viewer, PollsCarryOutDeletionsAlsoThoseMadeDuringAPoll) {
    DovecotMailbox box;
    std::vector<std::string> names = corpusMailNames();
    for (size_t i = 0; i < 3; i++) {
        box.addMessage(corpusMail(names[i]));
    }
    // The scripted server relays to dovecot, slowly when a poll must last.
    setFakePop3Scenario("{\"relayTo\": \"127.0.0.1:110\"}");
    ASSERT_TRUE(writeFile(path("MailBox.txt"), "A;Работа;" + box.user() + ";" + box.password() + ";fake.test;110\r\n"));
    // The viewer is open: the poll's mails reach it by the refresh request,
    // with the "История" tab shown before.
    open();
    showTab(1);
    send(WM_COMMAND, IDM_POLL_NOW);
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_EQ(0, TabCtrl_GetCurSel(tabs()));
    ASSERT_EQ(3u, rows(5).size());
    screenshot("viewer_russian_mails.bmp");
    Onlooker onlooker(IDYES);
    notify(NM_CLICK, 0, checkBoxCentre(0).x);
    press(IDC_VIEWER_DELETE);
    EXPECT_EQ(2u, rows(5).size());

    // A second deletion while the next poll talks to the server (the relay
    // holds the server's replies until the deletion is made, so that the
    // poll has read DeleteMail.txt before it): that poll deletes the first
    // mail and keeps the second request for the poll after.
    setFakePop3Scenario("{\"relayTo\": \"127.0.0.1:110\", \"holdReplies\": true}");
    send(WM_COMMAND, IDM_POLL_NOW);
    ASSERT_TRUE(waitForFakePop3Held(kPollCycleTimeoutMs));
    ASSERT_NE(nullptr, gAgent.pollThread.load());
    notify(NM_CLICK, 0, checkBoxCentre(0).x);
    press(IDC_VIEWER_DELETE);
    ASSERT_EQ(2u, splitLines(readFile(path("DeleteMail.txt"))).size());
    releaseFakePop3();
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_EQ(2u, box.messageCount());
    EXPECT_EQ(1u, splitLines(readFile(path("DeleteMail.txt"))).size());

    setFakePop3Scenario("{\"relayTo\": \"127.0.0.1:110\"}");
    send(WM_COMMAND, IDM_POLL_NOW);
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_FALSE(fileExists(path("DeleteMail.txt")));
    EXPECT_EQ(1u, box.messageCount());
    EXPECT_EQ(3u, occurrences(log(), "Поток опроса почты завершился"));
}

TEST_F(Viewer, ADeletionWhoseListsCannotBeSavedIsTakenBack) {
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    open();
    Onlooker onlooker(IDYES);
    notify(NM_CLICK, 0, checkBoxCentre(0).x);
    // The archive cannot be replaced: the mail must not end up nowhere.
    ASSERT_TRUE(SetFileAttributesA(path("HistMail.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    press(IDC_VIEWER_DELETE);
    SetFileAttributesA(path("HistMail.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(fileExists(path("DeleteMail.txt")));
    std::vector<std::string> got = rows(5);
    ASSERT_EQ(3u, got.size());
    EXPECT_NE(std::string::npos, got[0].find("|x"));
    showTab(1);
    EXPECT_EQ(3u, rows(5).size());
}

TEST_F(Viewer, ClicksLandWhereTheListDrawsItsParts) {
    gAgent.settings.winStyle = 1;
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    open();
    using Marks = std::vector<std::string>;
    // Rows: "Работа", Анна, Пётр, "Дом", Мама. The fold sign folds its
    // group and marks nothing; a second click unfolds it.
    clickAt(iconCentre(0));
    EXPECT_EQ((Marks{"-", "-", "-"}), marks(7));
    EXPECT_EQ(0u, rows(7)[1].find("Дом:"));
    clickAt(iconCentre(0));
    EXPECT_EQ((Marks{"-", "-", "-", "-", "-"}), marks(7));

    // The group's check box marks its mails, a mail's check box that mail;
    // a click on a mail row where a group has its sign marks nothing.
    clickAt(checkBoxCentre(0));
    clickAt(checkBoxCentre(4));
    clickAt(iconCentre(1));
    EXPECT_EQ((Marks{"x", "x", "x", "-", "x"}), marks(7));
    // Every mail row shows its mail's date.
    MailEntry* mama = std::find_if(NewMailDim.records, NewMailDim.records + NewMailDim.count,
                                   [](const MailEntry& r) { return strcmp(r.number, "11") == 0; });
    ASSERT_NE(NewMailDim.records + NewMailDim.count, mama);
    EXPECT_NE(std::string::npos,
              rows(7)[4].find(std::string(":Мама;") + entryShownDate(*mama, NewMailDim.dateBias) + ";"));

    // Scrolled sideways, the parts move and the clicks follow them.
    scrollRight();
    clickAt(iconCentre(3));
    EXPECT_EQ((Marks{"x", "x", "x", "x"}), marks(7)); // "Дом" folded, its mail marked
    scrollRight();
    clickAt(checkBoxCentre(1));
    EXPECT_EQ("-", marks(7)[1]); // Анна's mark taken back
    EXPECT_EQ("x", marks(7)[2]);
    screenshot(("viewer_clicks_" + std::to_string(screenDpi()) + "dpi.bmp").c_str());

    // The flat list marks on the check box only, not beside it.
    press(IDC_VIEWER_SIZE_TOGGLE);
    ASSERT_EQ(3u, rows(5).size());
    Marks before = marks(5);
    clickAt(iconCentre(0));
    EXPECT_EQ(before, marks(5));
    clickAt(checkBoxCentre(0));
    EXPECT_NE(before[0], marks(5)[0]);
}

// Headers dragged with the mouse: other columns change places, but the
// column of the check boxes and fold signs stays first, and the clicks on
// them do what they show.
TEST_F(Viewer, TheCheckBoxColumnStaysFirstWhenHeadersAreDragged) {
    gAgent.settings.winStyle = 1;
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    open();
    HWND header = ListView_GetHeader(list());
    auto drag = [&](int column, LONG toX) {
        RECT item = {};
        Header_GetItemRect(header, column, &item);
        POINT start = rectCentre(item);
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(start.x, start.y));
        for (int step = 1; step <= 4; step++) {
            LONG x = start.x + (toX - start.x) * step / 4;
            SendMessageA(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, start.y));
        }
        SendMessageA(header, WM_LBUTTONUP, 0, MAKELPARAM(toX, start.y));
        pumpPendingMessages();
    };
    auto order = [&] {
        std::vector<int> columns(7);
        SendMessageA(list(), LVM_GETCOLUMNORDERARRAY, 7, reinterpret_cast<LPARAM>(columns.data()));
        return columns;
    };
    RECT first = {};
    Header_GetItemRect(header, 0, &first);
    drag(2, first.right + 4); // the date before the sender
    EXPECT_EQ((std::vector<int>{0, 2, 1, 3, 4, 5, 6}), order());
    drag(3, first.left + 2);  // before the check boxes: refused
    drag(0, first.right * 4); // the check boxes' own column: refused
    EXPECT_EQ((std::vector<int>{0, 2, 1, 3, 4, 5, 6}), order());

    using Marks = std::vector<std::string>;
    // Rows: "Работа", Анна, Пётр, "Дом", Мама.
    clickAt(checkBoxCentre(1));
    clickAt(checkBoxCentre(3));
    clickAt(iconCentre(2)); // a mail row has no fold sign
    EXPECT_EQ((Marks{"-", "x", "-", "x", "x"}), marks(7));
    screenshot(("viewer_dragged_column_" + std::to_string(screenDpi()) + "dpi.bmp").c_str());
    clickAt(iconCentre(0));
    EXPECT_EQ(0u, rows(7)[1].find("Дом:"));
}

// The same clicks with the display scaled to 200 %, in a process of its own
// (the scaling is read when a process starts).
TEST(ViewerScaled, ClicksLandWhereTheListDrawsItsPartsAtTwiceTheScale) {
    std::string failures;
    EXPECT_EQ(0, runTestsAtDpi(192, "Viewer.ClicksLandWhereTheListDrawsItsParts", kPollCycleTimeoutMs * 4, failures))
        << failures;
}

// The archive held by another program while the viewer merges: the fresh
// mails wait in GetMail.txt instead of being lost, and come with the next
// opening.
TEST_F(Viewer, FreshMailWaitsWhileTheArchiveIsHeld) {
    const std::string older = mailLine("5", "Дом", "ivan@home.test", "Папа", "1764000000", "Давно");
    ASSERT_TRUE(writeFile(path("HistMail.txt"), older));
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    {
        UniqueHandle held(
            CreateFileA(path("HistMail.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        open();
        close();
    }
    EXPECT_EQ(sampleMails(), readFile(path("GetMail.txt")));
    EXPECT_EQ(older, readFile(path("HistMail.txt")));
    open();
    EXPECT_EQ(3u, rows(5).size());
    showTab(1);
    EXPECT_EQ(4u, rows(5).size());
    EXPECT_FALSE(fileExists(path("GetMail.txt")));
}

// A kill between the two writes of a deletion (DeleteMail.txt appended, the
// lists not yet saved) or of an undo (the archive appended, DeleteMail.txt
// not yet removed) leaves a mail in both files; the next start counts it as
// waiting, never as both shown and deleted.
TEST_F(Viewer, AMailCutOffBetweenTheTwoWritesIsInOnePlace) {
    ASSERT_TRUE(writeFile(path("Mail.txt"), sampleMails()));
    ASSERT_TRUE(writeFile(path("HistMail.txt"), sampleMails()));
    const std::string pending = mailLine("10", "Работа", "ivan@work.test", "Анна", "1765000200", "Встреча");
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), pending));
    open();
    EXPECT_EQ(2u, rows(5).size());
    showTab(1);
    EXPECT_EQ(2u, rows(5).size());
    EXPECT_EQ(std::string::npos, readFile(path("HistMail.txt")).find("Встреча"));
    EXPECT_EQ(pending, readFile(path("DeleteMail.txt")));
    EXPECT_TRUE(IsWindowEnabled(viewerButton(viewer, ViewerButton::Undo)));

    Onlooker onlooker(IDYES);
    press(IDC_VIEWER_UNDO);
    EXPECT_TRUE(contains(onlooker.notices(), "Письма успешно перемещены в Архив."));
    EXPECT_EQ(3u, rows(5).size());
    EXPECT_FALSE(fileExists(path("DeleteMail.txt")));
}

// An undo whose DeleteMail.txt cannot be removed would let the next poll
// delete the mails the user took back: the undo is taken back and said so.
TEST_F(Viewer, AnUndoThatCannotRemoveTheRequestsIsTakenBack) {
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    open();
    Onlooker onlooker(IDYES);
    notify(NM_CLICK, 0, checkBoxCentre(0).x);
    press(IDC_VIEWER_DELETE);
    const std::string requests = readFile(path("DeleteMail.txt"));
    ASSERT_EQ(1u, splitLines(requests).size());
    const std::string archive = readFile(path("HistMail.txt"));

    ASSERT_TRUE(SetFileAttributesA(path("DeleteMail.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    press(IDC_VIEWER_UNDO);
    SetFileAttributesA(path("DeleteMail.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(contains(onlooker.notices(), "Отменить удаление не удалось!"));
    EXPECT_EQ(requests, readFile(path("DeleteMail.txt")));
    EXPECT_EQ(archive, readFile(path("HistMail.txt")));
    showTab(1);
    EXPECT_EQ(2u, rows(5).size());

    press(IDC_VIEWER_UNDO);
    EXPECT_TRUE(contains(onlooker.notices(), "Письма успешно перемещены в Архив."));
    EXPECT_EQ(3u, rows(5).size());
    EXPECT_FALSE(fileExists(path("DeleteMail.txt")));
}

// Closed in the style it was toggled to, the viewer opens again in that
// style and at that style's size, and the two sizes stay with their styles.
TEST_F(Viewer, TheViewerReopensInTheStyleItClosedIn) {
    saveViewerRect(ViewerRect{100, 100, 700, 500}, 0, "WinPos");    // compact: 600 x 400
    saveViewerRect(ViewerRect{100, 100, 500, 400}, 0, "WinPosInv"); // detailed: 400 x 300
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    auto size = [&] {
        RECT r;
        GetWindowRect(viewer, &r);
        return std::make_pair(r.right - r.left, r.bottom - r.top);
    };
    open();
    EXPECT_EQ(std::make_pair(600L, 400L), size());
    press(IDC_VIEWER_SIZE_TOGGLE);
    EXPECT_EQ(std::make_pair(400L, 300L), size());
    close();
    EXPECT_NE(std::string::npos, readFile(path("Korvel.ini")).find("WinStyle=1"));

    open();
    EXPECT_EQ("Минимизировать (Ctrl+Space)", statusText(4));
    EXPECT_EQ(std::make_pair(400L, 300L), size());
    showTab(1);
    EXPECT_EQ(5u, rows(7).size()); // two mailboxes, three mails
    press(IDC_VIEWER_SIZE_TOGGLE);
    EXPECT_EQ(std::make_pair(600L, 400L), size());
    EXPECT_EQ("Показать подробно (Ctrl+Space)", statusText(4));
    close();
    EXPECT_NE(std::string::npos, readFile(path("Korvel.ini")).find("WinStyle=0"));
    open();
    EXPECT_EQ(std::make_pair(600L, 400L), size());
    EXPECT_EQ("Показать подробно (Ctrl+Space)", statusText(4));
}

namespace {

// Refuses the creation of viewer windows on this thread.
LRESULT CALLBACK refuseViewer(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        char name[64] = {};
        GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name);
        if (strcmp(name, kViewerWindowClass) == 0) {
            return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

// A viewer that cannot be created is reported on every way of opening it,
// once.
TEST_F(Viewer, AViewerThatCannotBeCreatedIsReported) {
    HHOOK hook = SetWindowsHookExA(WH_CBT, refuseViewer, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    Onlooker onlooker(IDOK);
    SendMessageA(agent, WM_TRAYICON, 0, trayClickEvent());
    SendMessageA(agent, WM_COMMAND, IDM_VIEW_MAIL, 0);
    UnhookWindowsHookEx(hook);
    std::vector<std::string> boxes = onlooker.boxes();
    ASSERT_EQ(2u, boxes.size());
    for (const std::string& box : boxes) {
        EXPECT_EQ(0u, box.find("Затрудняюсь отобразить окно просмотра почты!")) << box;
    }
    EXPECT_EQ(0, gAgent.viewerOpen);
    open();
    EXPECT_EQ(1, gAgent.viewerOpen);
}
