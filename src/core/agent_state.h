// The one process-wide state of the agent, and which thread writes what.
//
// The start-up fills the folders, isVista, instance and instanceEvent before
// any other thread runs; nothing changes them afterwards.
//
// The user-interface thread (start-up, message loop, every window) writes the
// window handles and open flags, blinkCount and blinkPhase, alertWindow and
// alertIsError, undoInProgress, classIcon, autoStart, the settings but the
// announced version, and the tray record; it alone hands that record to the
// shell. It also resets the counters when the viewer closes.
//
// A poll cycle thread writes internetOk, the counters of what it received
// (receivedCount, runNewMailCount, newTelegramCount, telegramCount,
// highestMailNumber), testFlag and testParams in a mailbox test, the announced
// version (settings.newVersion, versionSize, versionHash), and clears
// pollThread when its fetching ends. The starter (user-interface thread) sets
// pollThread, pollMode, testFlag and testParams before the thread runs and
// reads testParams only after the thread's end; the announced version is
// read only when the options page offers an update. The fields both threads
// touch at any time are atomic.
//
// No thread other than the user-interface thread calls a window: a poll
// thread posts to the agent window instead (WM_POLL_FETCHING, WM_POLL_DONE,
// WM_POLL_NOTICE), and that window changes the tray.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>

#include "base/path.h"
#include "core/settings_values.h"
#include "core/test_params.h"
#include "resources/resource.h"

// How a mailbox test ended (testFlag): failed (0), passed, or stopped before
// the login because the server offers no TLS: the password would go in the
// clear, which the user must agree to (testClearText) before a test sends it.
constexpr int kTestPassed = 1;
constexpr int kTestWantsClearText = 2;

struct AgentState {
    // Folders, each ending with a backslash except windowsFolder.
    char moduleFolder[kPathCapacity] = {};
    char windowsFolder[kPathCapacity] = {};
    char agentExePath[kPathCapacity] = {};  // moduleFolder + "Korvel.exe"
    char serviceFolder[kPathCapacity] = {}; // moduleFolder + "MainFolder\", lower case
    int isVista = 0;
    HINSTANCE instance = nullptr;
    // The installation's events, held until the process ends: in the
    // namespace of all sessions, and in this session's own.
    HANDLE instanceEvent = nullptr;
    HANDLE sessionEvent = nullptr;

    // Poll cycle.
    std::atomic<HANDLE> pollThread{nullptr};
    std::atomic<int> pollMode{0}; // 1 reception, 0 test of one mailbox
    std::atomic<int> testFlag{0}; // 0 failed, kTestPassed or kTestWantsClearText
    // The user agreed that the next test sends the password in the clear.
    std::atomic<bool> testClearText{false};
    char testParams[kTestParamsCapacity] = {};
    // The last cycle found a connection: the update server answered, or the
    // system reported a network. 0 brings the "no Internet" notice.
    std::atomic<int> internetOk{0};

    // Counters shown by the tray icon and the viewer.
    std::atomic<int> receivedCount{0};
    std::atomic<int> runNewMailCount{0};
    std::atomic<int> newTelegramCount{0};
    std::atomic<int> telegramCount{0};
    std::atomic<uint64_t> highestMailNumber{0}; // never wraps: numbers stay unique
    int blinkCount = 0;
    int blinkPhase = 0;

    // Windows.
    HWND agentWindow = nullptr;
    std::atomic<int> settingsOpen{0};
    std::atomic<HWND> settingsDialog{nullptr};
    HWND settingsPage = nullptr; // page dialog shown inside the settings dialog
    // A page changed something that calls for a poll when the settings
    // dialog closes (user-interface thread only).
    int settingsChanged = 0;
    std::atomic<int> viewerOpen{0};
    std::atomic<HWND> viewerWindow{nullptr};
    HWND alertWindow = nullptr;
    int alertIsError = 0;
    std::atomic<int> undoInProgress{0};
    HICON classIcon = nullptr;
    DWORD autoStart = 0;

    SettingsValues settings;

    // The tray icon record and the resource id of the icon it shows:
    // user-interface thread only (ui/tray_icon.h).
    NOTIFYICONDATAA trayIcon = {};
    int trayIconId = IDI_AGENT;
};

extern AgentState gAgent;
