// The agent window in a test program, made as start-up makes it and with its
// tray icon, so that the windows it opens (settings dialog, viewer) and the
// polls it starts run as they do in the agent.
#pragma once
#include "agent/agent_window.h"
#include "agent/poll_cycle.h"
#include "core/agent_state.h"
#include "ui/tray_icon.h"

#include <windows.h>

inline HWND createTestAgentWindow() {
    HWND agent = CreateWindowExA(WS_EX_TOOLWINDOW, kAgentWindowClass, kAgentWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                 100, nullptr, nullptr, gAgent.instance, nullptr);
    if (agent != nullptr) {
        addTrayIcon(agent);
    }
    return agent;
}

// Lets a running poll end (true when it did in time), removes the tray icon
// and destroys the window without the agent's shutdown.
inline bool destroyTestAgentWindow(HWND agent, DWORD pollTimeoutMs) {
    bool pollEnded = stopPollCycle(pollTimeoutMs);
    // What the poll posted on its way out is handled first.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    removeTrayIcon();
    gAgent.trayIcon.hWnd = nullptr;
    SetWindowLongPtrA(agent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
    DestroyWindow(agent);
    return pollEnded;
}
