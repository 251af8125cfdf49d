// Waiting for the agent's poll cycles in the test program's own process.
#pragma once
#include <windows.h>

constexpr DWORD kPollCycleTimeoutMs = 30000;

// Waits, dispatching this thread's messages, until the thread of the last
// poll cycle started has ended and the agent window has handled what the
// cycle posted to it (the tray, the blinking, the viewer's refresh). False
// when no cycle was started or it did not end within timeoutMs.
bool waitForPollCycle(DWORD timeoutMs = kPollCycleTimeoutMs);
