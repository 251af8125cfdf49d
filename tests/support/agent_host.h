// The agent in the test program itself, for the tests of a window that it
// opens and talks to (the viewer): its state in a scratch service folder, its
// hidden window with the tray icon, and the end of a poll cycle it started.
// The viewer's tests reach the agent only through here.
#pragma once
#include "agent_test_state.h"
#include "agent/agent_window.h"
#include "agent/poll_cycle.h"
#include "core/agent_state.h"
#include "ui/tray_icon.h"

#include <windows.h>

// Creates the agent window (with its tray icon) and makes it the agent's.
inline HWND createAgentHostWindow() {
    HWND agent = CreateWindowExA(WS_EX_TOOLWINDOW, kAgentWindowClass, kAgentWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                 100, nullptr, nullptr, gAgent.instance, nullptr);
    if (agent != nullptr) {
        gAgent.agentWindow = agent;
        addTrayIcon(agent);
    }
    return agent;
}

// Ends a poll cycle the agent started (waiting up to timeoutMs).
inline void endAgentPollCycle(DWORD timeoutMs) {
    stopPollCycle(timeoutMs);
}

// Takes the tray icon away and destroys the agent window without the
// agent's shutdown.
inline void destroyAgentHostWindow(HWND agent) {
    removeTrayIcon();
    gAgent.trayIcon.hWnd = nullptr;
    SetWindowLongPtrA(agent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
    DestroyWindow(agent);
}
