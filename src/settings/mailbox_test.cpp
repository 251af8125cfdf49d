#include "settings/mailbox_test.h"

#include "base/text.h"
#include "core/agent_state.h"
#include "core/poll_starter.h"
#include "settings/settings_pages.h"
#include "ui/alert_window.h"

namespace {

// Hands the mailbox to the poll thread and starts it; two cycles at once
// would share the poll state, so none starts while one fetches.
UniqueHandle startTest(const char* address, const char* password, const char* server, bool clearText) {
    const char separator[] = {kTestServerSeparator, '\0'};
    formatText(gAgent.testParams, sizeof gAgent.testParams, "%s;%s%s%s", address, password,
               server[0] != '\0' ? separator : "", server);
    gAgent.pollMode = 0;
    gAgent.testClearText = clearText;
    gAgent.testFlag = 1;
    return gAgent.pollThread.load() == nullptr ? startPoll() : UniqueHandle();
}

} // namespace

MailboxTestEnd testMailbox(HWND page, const char* address, const char* password, const char* server, bool clearText,
                           char* answer, size_t capacity) {
    answer[0] = '\0';
    UniqueHandle thread = startTest(address, password, server, clearText);
    if (!thread) {
        gAgent.testParams[0] = '\0';
        return MailboxTestEnd::NotStarted;
    }
    setPageStatus(page, "Тестирование почтового ящика. Минуточку...");
    // A test may take minutes (a time-out for each host guessed): the page
    // stays painted meanwhile, its inputs disabled by the caller.
    showNoticeUntil("Тестирование. Минуточку...", 0, thread.get(), INFINITE);
    MailboxTestEnd end = MailboxTestEnd::NoInternet;
    if (gAgent.internetOk != 0) {
        int passed = gAgent.testFlag;
        end = passed == 0                     ? MailboxTestEnd::Failed
              : passed == kTestWantsClearText ? MailboxTestEnd::WantsClearText
                                              : MailboxTestEnd::Passed;
        // The thread wrote its answer over the address and password.
        copyText(answer, capacity, gAgent.testParams);
    }
    SecureZeroMemory(gAgent.testParams, sizeof gAgent.testParams);
    gAgent.testClearText = false;
    return IsWindow(page) ? end : MailboxTestEnd::PageGone;
}
