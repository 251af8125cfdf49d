// The process state shared by the tests that run the agent's windows in the
// test program itself: the window classes registered, the service folder and
// its event log in a scratch folder, default settings pointed at the test
// session's update and telegram servers.
#pragma once
#include "agent/startup.h"
#include "base/event_log.h"
#include "base/text.h"
#include "core/agent_state.h"

#include "http_fixtures.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

inline ::testing::AssertionResult prepareAgentState(const TempFolder& folder) {
    if (httpBaseUrl().empty()) {
        return ::testing::AssertionFailure() << "run under tools/test.sh (test servers)";
    }
    gAgent.instance = GetModuleHandleA(nullptr);
    static bool registered = registerWindowClasses(gAgent.instance);
    if (!registered) {
        return ::testing::AssertionFailure() << "window classes not registered";
    }
    copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, folder.path().c_str());
    if (openEventLog((folder / "MAInLog.txt").c_str()) != 0) {
        return ::testing::AssertionFailure() << "event log not opened";
    }
    gAgent.settings = SettingsValues();
    formatText(gAgent.settings.updateServer, sizeof gAgent.settings.updateServer, "%supdate/", httpBaseUrl().c_str());
    formatText(gAgent.settings.messageServer, sizeof gAgent.settings.messageServer, "%smess/", httpBaseUrl().c_str());
    setHttpBehaviour("{}");
    return ::testing::AssertionSuccess();
}
