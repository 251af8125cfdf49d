// A server's announcement of new mail (IDLE) starts a poll as the menu's
// "Получить почту" does; one during a poll brings one more poll after it,
// and one while the settings are open a poll once they close.
#include "core/agent_state.h"
#include "agent/poll_cycle.h"
#include "resources/resource.h"
#include "retrieval/imap_idle.h"

#include "agent_process.h"
#include "agent_window_fixture.h"
#include "poll_cycle_wait.h"
#include "pop3_fixtures.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

namespace {

class MailAnnounced : public AgentWindowFixture {
protected:
    void SetUp() override {
        AgentWindowFixture::SetUp();
        std::vector<std::string> names = corpusMailNames();
        names.resize(2);
        scenario = "{\"messages\": " + corpusJsonList(names);
        ASSERT_TRUE(writeFile(path("MailBox.txt"), "A;Фейк;ivan@fake.test;secret;fake.test;110\r\n"));
    }
    size_t receptions() { return occurrences(log(), "Запрос приема писем"); }

    std::string scenario;
};

TEST_F(MailAnnounced, AnAnnouncementStartsAPoll) {
    setFakePop3Scenario(scenario + "}");
    SetTimer(agent, IDT_POLL, 10 * 60 * 1000, nullptr);
    send(WM_MAIL_ANNOUNCED, 0);
    ASSERT_NE(nullptr, gAgent.pollThread.load());
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_EQ(1u, receptions());
    EXPECT_EQ(2u, splitLines(readFile(path("GetMail.txt"))).size());
}

// Two announcements while the server holds the poll: one more poll after
// it, not two.
TEST_F(MailAnnounced, AnnouncementsDuringAPollBringOneMorePoll) {
    setFakePop3Scenario(scenario + ", \"holdOn\": \"QUIT\"}");
    send(WM_TIMER, IDT_POLL);
    HANDLE first = gAgent.pollThread;
    ASSERT_NE(nullptr, first);
    ASSERT_TRUE(waitForFakePop3Held(kPollCycleTimeoutMs));
    send(WM_MAIL_ANNOUNCED, 0);
    send(WM_MAIL_ANNOUNCED, 0);
    EXPECT_EQ(first, gAgent.pollThread.load());
    releaseFakePop3();
    ASSERT_TRUE(pumpMessagesUntil([this] { return receptions() == 2; }, kPollCycleTimeoutMs));
    ASSERT_TRUE(waitForPollCycle());
    // The end of the second poll, handled, started no third one.
    EXPECT_EQ(nullptr, gAgent.pollThread.load());
    EXPECT_EQ(2u, receptions());
}

TEST_F(MailAnnounced, AnAnnouncementWhileTheSettingsAreOpenPollsWhenTheyClose) {
    setFakePop3Scenario(scenario + "}");
    send(WM_COMMAND, IDM_SETTINGS);
    HWND settings = gAgent.settingsDialog;
    ASSERT_NE(nullptr, settings);
    send(WM_MAIL_ANNOUNCED, 0);
    EXPECT_EQ(nullptr, gAgent.pollThread.load());
    SendMessageA(settings, WM_CLOSE, 0, 0);
    ASSERT_FALSE(IsWindow(settings));
    ASSERT_TRUE(pumpMessagesUntil([] { return gAgent.pollThread.load() != nullptr; }, kPollCycleTimeoutMs));
    ASSERT_TRUE(waitForPollCycle());
    EXPECT_EQ(1u, receptions());
}

// The settings' closing makes the agent read the mailboxes for IDLE anew,
// and waking up from sleep ends the pause before a new connection.
TEST_F(MailAnnounced, TheSettingsClosingAndAWakeUpReachTheIdleConnections) {
    IdleTimings saved = gIdleTimings;
    gIdleTimings.firstPauseMs = 10 * 60 * 1000;
    // Nothing listens on that port: the connection fails and pauses.
    ASSERT_TRUE(writeFile(path("MailBox.txt"), "A;Нигде;ivan@fake.test;secret;fake.test;993\r\n"));
    send(WM_SETTINGS_CLOSED, 0);
    const std::string tried = "Ящик Нигде: соединение для уведомлений о новой почте (IDLE)";
    EXPECT_TRUE(waitForLogText(path("MAInLog.txt"), "Новая попытка через 600 с", kPollCycleTimeoutMs));
    send(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
    EXPECT_TRUE(pumpMessagesUntil([&] { return occurrences(log(), tried) == 2; }, kPollCycleTimeoutMs));
    gIdleTimings = saved;
}

} // namespace
