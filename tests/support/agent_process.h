// Korvel.exe run as a user runs it: an installation folder of its own, the
// hidden agent window of the started process, its event log.
#pragma once
#include "win_test_support.h"

#include <windows.h>

#include <string>
#include <vector>

constexpr DWORD kAgentStartTimeoutMs = 20000;

// A copy of the built executable in a folder of its own, optionally with the
// account list that marks an installation.
class Installation {
public:
    explicit Installation(bool withAccountList = true, const std::string& name = "Korvel");
    const std::string& folder() const { return folder_; }
    std::string exe() const { return folder_ + "Korvel.exe"; }
    std::string service() const { return folder_ + "MainFolder\\"; }
    std::string log() const { return service() + "MAInLog.txt"; }

private:
    TempFolder dir_;
    std::string folder_;
};

// The hidden agent window of a started process, once its start-up is done
// and its message loop runs.
HWND waitForAgent(const ChildProcess& process);

// Asks the agent to shut down ("Отключить Агента") and waits for its end;
// true when it ended with exit code 0.
bool quitAgent(HWND agent, ChildProcess& process, DWORD timeoutMs = kAgentStartTimeoutMs);

// The texts of the log entries, without their date prefixes.
std::vector<std::string> logTexts(const std::string& path);

// Waits until the agent window's icon is in the notification area; true
// when it came in time.
bool waitForTrayIcon(HWND agent, DWORD timeoutMs);

// Waits until the log holds the text; true when it came in time.
bool waitForLogText(const std::string& logPath, const std::string& text, DWORD timeoutMs);
