// The notifications beside the tray icon, read from what the agent hands to
// the shell: one request with NIF_INFO for each event, none with any other
// change of the icon, and what the user's clicks and keys on the icon open.
#include "agent/agent_window.h"
#include "base/text.h"
#include "base/wide_text.h"
#include "core/agent_state.h"
#include "core/settings_file.h"
#include "resources/resource.h"
#include "store/mail_line.h"
#include "store/mail_record.h"
#include "ui/tray_icon.h"
#include "viewer/viewer_window.h"

#include "agent_window_fixture.h"
#include "http_fixtures.h"
#include "pop3_fixtures.h"
#include "poll_cycle_wait.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ShellCall {
    DWORD message;
    UINT flags;
    std::string title;
    std::string text;
    DWORD infoFlags;
    UINT version;
};
std::vector<ShellCall> calls;

void recordCall(DWORD message, const NOTIFYICONDATAW& data) {
    char title[64];
    char text[256];
    narrowText(data.szInfoTitle, title, sizeof title);
    narrowText(data.szInfo, text, sizeof text);
    calls.push_back(ShellCall{message, data.uFlags, title, text, data.dwInfoFlags, data.uVersion});
}

std::vector<ShellCall> notices() {
    std::vector<ShellCall> found;
    for (const ShellCall& call : calls) {
        if ((call.flags & NIF_INFO) != 0) {
            found.push_back(call);
        }
    }
    return found;
}

// The callback message of a version 4 icon: the event and the icon's id.
LPARAM iconEvent(UINT event) {
    return MAKELPARAM(event, TRAY_ICON_ID);
}

class TrayNotices : public AgentWindowFixture {
protected:
    void SetUp() override {
        AgentWindowFixture::SetUp();
        recordFirstStartHint(); // the installation's first start is over
        calls.clear();
        gTrayShellCall = recordCall;
    }
    void TearDown() override {
        gTrayShellCall = nullptr;
        AgentWindowFixture::TearDown();
    }
    void forgetFirstStartHint() { DeleteFileA(path("Korvel.ini").c_str()); }
    // A reception cycle from the poll timer, until the agent window has
    // handled its end.
    void pollAndWait() {
        size_t before = occurrences(log(), "Поток опроса почты завершился");
        send(WM_TIMER, IDT_POLL);
        ASSERT_TRUE(waitForPollCycle());
        pumpPendingMessages();
        ASSERT_EQ(before + 1, occurrences(log(), "Поток опроса почты завершился"));
    }
    void offerMails(size_t count) {
        std::vector<std::string> names = corpusMailNames();
        names.resize(count);
        setFakePop3Scenario("{\"messages\": " + corpusJsonList(names) + "}");
        ASSERT_TRUE(writeFile(path("MailBox.txt"), "A;Фейк;ivan@fake.test;secret;fake.test;110\r\n"));
    }
    // The newest mail of GetMail.txt: its last record.
    MailRecord lastFreshMail() {
        std::vector<std::string> lines = splitLines(readFile(path("GetMail.txt")));
        MailRecord record = {};
        if (!lines.empty()) {
            parseMailLine(lines.back().c_str(), lines.back().size(), record);
        }
        return record;
    }
};

} // namespace

TEST_F(TrayNotices, APollShowsItsMailAndANewVersionOnceAndNothingElseRepeatsThem) {
    offerMails(3);
    setVersionFile("12,250000");
    gAgent.settings.blink = 1;
    pollAndWait();

    std::vector<ShellCall> shown = notices();
    ASSERT_EQ(2u, shown.size());
    MailRecord newest = lastFreshMail();
    EXPECT_EQ("Новых писем - 3", shown[0].title);
    EXPECT_EQ(std::string(newest.sender) + "\n" + newest.subject, shown[0].text);
    EXPECT_NE(0u, shown[0].infoFlags & NIIF_RESPECT_QUIET_TIME);
    EXPECT_EQ("Имеется новая версия программы.", shown[1].text);
    // A notification carries nothing else, and nothing else a notification:
    // the polling icon and the cycle's end were plain modifications.
    size_t modifications = 0;
    for (const ShellCall& call : calls) {
        if ((call.flags & NIF_INFO) != 0) {
            EXPECT_EQ(static_cast<UINT>(NIF_INFO), call.flags);
        } else if (call.message == NIM_MODIFY) {
            modifications++;
        }
    }
    EXPECT_GE(modifications, 2u);
    EXPECT_EQ(3, trayState().count);

    // The same version again, no new mail, blinking, the viewer opened and
    // closed: no notification.
    pollAndWait();
    for (int tick = 0; tick < 3; tick++) {
        send(WM_TIMER, IDT_BLINK);
    }
    send(WM_TRAYICON, 0, iconEvent(NIN_BALLOONUSERCLICK)); // the mail's notification clicked
    EXPECT_EQ(1, gAgent.viewerOpen);
    SendMessageA(gAgent.viewerWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, gAgent.viewerOpen);
    EXPECT_EQ(2u, notices().size());
}

TEST_F(TrayNotices, NoMailNotificationWhileTheViewerIsOpen) {
    offerMails(2);
    ASSERT_NE(nullptr, openViewer(nullptr));
    pollAndWait();
    EXPECT_EQ(2, gAgent.runNewMailCount);
    EXPECT_TRUE(notices().empty());
}

// At start: the mails received before, once, without a sound; the add asks
// for version 4, again after the task bar came back, and that add repeats no
// notification.
TEST_F(TrayNotices, TheStartTellsOfEarlierMailOnce) {
    removeTrayIcon();
    gAgent.receivedCount = 4;
    calls.clear();
    send(WM_TRAY_ADD, 0);
    ASSERT_EQ(1u, notices().size());
    EXPECT_EQ("Ранее принято писем - 4", notices()[0].text);
    EXPECT_NE(0u, notices()[0].infoFlags & NIIF_NOSOUND);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), calls[0].message);
    EXPECT_EQ(static_cast<DWORD>(NIM_SETVERSION), calls[1].message);
    EXPECT_EQ(static_cast<UINT>(NOTIFYICON_VERSION_4), calls[1].version);
    EXPECT_EQ(4, trayState().count);

    removeTrayIcon();
    calls.clear();
    send(RegisterWindowMessageA("TaskbarCreated"), 0);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(static_cast<DWORD>(NIM_SETVERSION), calls.back().message);
    EXPECT_TRUE(notices().empty());
}

// The first start after the installation says where the icon is; with no
// mailbox yet it offers one, and its click opens the settings. Later starts
// of that installation say nothing.
TEST_F(TrayNotices, TheFirstStartHintComesOnceAndOffersAMailbox) {
    forgetFirstStartHint();
    ASSERT_TRUE(writeFile(path("MailBox.txt"), ""));
    removeTrayIcon();
    calls.clear();
    send(WM_TRAY_ADD, 0);
    ASSERT_EQ(1u, notices().size());
    EXPECT_NE(std::string::npos, notices()[0].text.find("панель задач"));
    EXPECT_NE(std::string::npos, notices()[0].text.find("добавить почтовый ящик"));
    EXPECT_NE(std::string::npos, readFile(path("Korvel.ini")).find("FirstStartHint=1\r\n"));
    send(WM_TRAYICON, 0, iconEvent(NIN_BALLOONUSERCLICK));
    EXPECT_EQ(1, gAgent.settingsOpen);

    removeTrayIcon();
    calls.clear();
    send(WM_TRAY_ADD, 0);
    EXPECT_TRUE(notices().empty());
}

TEST_F(TrayNotices, TheHintWithAMailboxOffersNone) {
    forgetFirstStartHint();
    ASSERT_TRUE(writeFile(path("MailBox.txt"), "A;Фейк;ivan@fake.test;secret;fake.test;110\r\n"));
    removeTrayIcon();
    calls.clear();
    send(WM_TRAY_ADD, 0);
    ASSERT_EQ(1u, notices().size());
    EXPECT_EQ(std::string::npos, notices()[0].text.find("добавить почтовый ящик"));
    send(WM_TRAYICON, 0, iconEvent(NIN_BALLOONUSERCLICK));
    EXPECT_EQ(0, gAgent.settingsOpen);
    EXPECT_EQ(1, gAgent.viewerOpen);
}

// Win+B and Enter select the icon from the keyboard. Enter's selection comes
// twice: the viewer opens and stays open; a click closes it.
TEST_F(TrayNotices, TheKeyboardsSelectionOpensTheViewer) {
    ASSERT_TRUE(trayUsesVersion4()) << "the shell refused version 4 of the icon's messages";
    send(WM_TRAYICON, 0, iconEvent(NIN_KEYSELECT));
    ASSERT_EQ(1, gAgent.viewerOpen);
    HWND viewer = gAgent.viewerWindow;
    EXPECT_EQ(viewer, GetForegroundWindow());
    send(WM_TRAYICON, 0, iconEvent(NIN_KEYSELECT));
    EXPECT_EQ(1, gAgent.viewerOpen);
    EXPECT_EQ(viewer, gAgent.viewerWindow.load());
    send(WM_TRAYICON, 0, iconEvent(NIN_SELECT));
    EXPECT_EQ(0, gAgent.viewerOpen);
}
