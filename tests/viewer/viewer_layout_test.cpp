// The viewer's sizes at the display's scaling, on its real windows: every
// status label and every date whole at the default size, the columns fitted
// anew when the window is resized, the notice over the viewer's middle.
#include "core/agent_state.h"
#include "resources/resource.h"
#include "ui/alert_window.h"
#include "viewer/viewer_window.h"

#include "agent_window_fixture.h"
#include "poll_cycle_wait.h"
#include "win_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kParts = 5;
constexpr int kDateColumn = 2; // "Дата и время" and "Когда"

// Two mailboxes; the dates fall on the 28th of months whose shown names
// differ in width.
std::string sampleMails() {
    return "9;0;Работа;ivan@work.test;1.0 Кб;id9;Пётр;1772236800;;Отчёт\r\n"
           "10;0;Работа;ivan@work.test;12.5 Кб;id10;Анна;1779926400;;Встреча\r\n"
           "11;0;Дом;ivan@home.test;1.0 Кб;id11;Мама;1798416000;;Ужин\r\n";
}

class ViewerLayout : public AgentWindowFixture {
protected:
    void open() {
        viewer = openViewer(nullptr);
        ASSERT_NE(nullptr, viewer);
        pumpPendingMessages();
    }
    HWND status() { return GetDlgItem(viewer, IDC_VIEWER_STATUS); }
    HWND list() { return GetDlgItem(FindWindowExA(viewer, nullptr, WC_TABCONTROLA, nullptr), IDC_MAIL_LIST); }
    int scaled(int pixels) { return MulDiv(pixels, screenDpi(), 96); }
    void press(int id) {
        SendMessageA(viewer, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        pumpPendingMessages();
    }

    // The room an icon and a label take in a part, in the font the bar
    // draws with, with a few pixels for its borders.
    int partNeed(const char* label) {
        HWND bar = status();
        HDC dc = GetDC(bar);
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(bar, WM_GETFONT, 0, 0));
        HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
        SIZE size = {};
        GetTextExtentPoint32A(dc, label, static_cast<int>(strlen(label)), &size);
        if (previous != nullptr) {
            SelectObject(dc, previous);
        }
        ReleaseDC(bar, dc);
        return GetSystemMetrics(SM_CXSMICON) + size.cx + scaled(6);
    }
    std::string partText(int part) {
        char text[128] = {};
        SendMessageA(status(), SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
        return text;
    }
    void expectWholeLabels() {
        for (int part = 0; part < kParts; part++) {
            RECT r = {};
            ASSERT_TRUE(SendMessageA(status(), SB_GETRECT, part, reinterpret_cast<LPARAM>(&r)));
            int room = r.right - r.left - (part == kParts - 1 ? GetSystemMetrics(SM_CXVSCROLL) : 0);
            std::string label = partText(part);
            EXPECT_FALSE(label.empty()) << part;
            EXPECT_GE(room, partNeed(label.c_str())) << label;
        }
    }
    // Every date in the list fits its column with a cell's margins.
    void expectWholeDates() {
        int rows = static_cast<int>(SendMessageA(list(), LVM_GETITEMCOUNT, 0, 0));
        int width = static_cast<int>(SendMessageA(list(), LVM_GETCOLUMNWIDTH, kDateColumn, 0));
        int dates = 0;
        for (int row = 0; row < rows; row++) {
            char text[64] = {};
            ListView_GetItemText(list(), row, kDateColumn, text, sizeof text);
            if (text[0] == '\0') {
                continue; // a mailbox's row
            }
            dates++;
            int needed = static_cast<int>(SendMessageA(list(), LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
            EXPECT_GE(width, needed + scaled(6)) << text;
        }
        EXPECT_EQ(3, dates);
    }
    std::vector<int> columnWidths() {
        std::vector<int> widths;
        for (int column = 0; column < 7; column++) {
            widths.push_back(static_cast<int>(SendMessageA(list(), LVM_GETCOLUMNWIDTH, column, 0)));
        }
        return widths;
    }
    void screenshot(const std::string& name) {
        pumpPendingMessages();
        saveScreenshot(artifactsFolder() + name + "-" + std::to_string(screenDpi()) + "dpi.bmp");
    }
    HWND viewer = nullptr;
};

} // namespace

// With no size remembered the viewer opens as wide as its labels and dates
// need, inside the work area, in both views.
TEST_F(ViewerLayout, EveryLabelAndDateIsWholeAtTheDefaultSize) {
    gAgent.settings.winStyle = 1;
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    ASSERT_TRUE(writeFile(path("DeleteMail.txt"), "")); // the undo part labelled too
    open();
    RECT window = {};
    RECT work = {};
    GetWindowRect(viewer, &window);
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_GE(window.left, work.left);
    EXPECT_GE(window.top, work.top);
    EXPECT_LE(window.right, work.right);
    EXPECT_LE(window.bottom, work.bottom);
    expectWholeLabels();
    expectWholeDates();
    screenshot("viewer");

    press(IDC_VIEWER_SIZE_TOGGLE); // the flat view, its date column centred
    EXPECT_EQ("Показать подробно (Ctrl+Space)", partText(kParts - 1));
    expectWholeLabels();
    expectWholeDates();
    screenshot("viewer-compact");
}

// Maximised, the columns widen in the view's proportions; restored, they
// are as they were.
TEST_F(ViewerLayout, ColumnsRefitWhenTheWindowIsResized) {
    gAgent.settings.winStyle = 1;
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    open();
    std::vector<int> before = columnWidths();
    ShowWindow(viewer, SW_MAXIMIZE);
    pumpPendingMessages();
    std::vector<int> after = columnWidths();
    RECT listRect = {};
    GetWindowRect(list(), &listRect);
    int unit = (listRect.right - listRect.left) / 7;
    EXPECT_EQ(unit, after[0]);
    for (int column = 0; column < 6; column++) {
        EXPECT_GT(after[column], before[column]) << column;
    }
    EXPECT_EQ(4 * after[0], after[5]); // the subject four mailbox columns wide
    EXPECT_EQ(0, after[6]);            // the mail number stays hidden
    expectWholeDates();
    screenshot("viewer-maximised");

    ShowWindow(viewer, SW_RESTORE);
    pumpPendingMessages();
    EXPECT_EQ(before, columnWidths());
}

// A notice stands over the middle of the viewer also after the viewer took
// its default size.
TEST_F(ViewerLayout, TheNoticeIsOverTheMiddleOfTheViewer) {
    ASSERT_TRUE(writeFile(path("GetMail.txt"), sampleMails()));
    open();
    ASSERT_EQ(viewer, GetParent(gAgent.alertWindow));
    showAlert("Идёт приём почты. Минуточку...", 0);
    RECT alert = {};
    RECT client = {};
    GetWindowRect(gAgent.alertWindow, &alert);
    GetClientRect(viewer, &client);
    MapWindowPoints(viewer, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    EXPECT_NEAR((client.left + client.right) / 2, (alert.left + alert.right) / 2, 1);
    EXPECT_NEAR((client.top + client.bottom) / 2, (alert.top + alert.bottom) / 2, 1);
    screenshot("viewer-notice");
    hideAlert();
}

// The same at 150 %, in a process of its own (the scaling is read when a
// process starts), with the clicks on the list's check boxes and fold signs.
TEST(ViewerLayoutScaled, EverythingAboveAtOneAndAHalfTimesTheScale) {
    std::string failures;
    EXPECT_EQ(0, runTestsAtDpi(144, "ViewerLayout.*:Viewer.ClicksLand*:Viewer.TheCheckBoxColumnStaysFirst*",
                               kPollCycleTimeoutMs * 4, failures))
        << failures;
}
