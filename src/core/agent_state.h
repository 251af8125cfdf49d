// The one process-wide state of the agent.
//
// The user-interface thread owns it. A poll cycle thread shares it in three
// ways: the atomic fields (poll indicators, counters, window handles) either
// thread may read or write at any time; the tray record only under the tray
// icon's lock; and the plain fields it writes, testParams in a mailbox test
// and settings.newVersion / versionSize / versionHash in the version check, are
// taken in turns: the starter fills testParams before the thread starts and
// reads it only after waiting for the thread's end, and the version fields
// are read by the user-interface thread only when it offers an update. No
// thread other than the user-interface thread ever calls a window: a poll
// thread posts to the agent window instead (WM_POLL_DONE, WM_POLL_NOTICE).
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <objidl.h>

#include <atomic>
#include <cstdint>

#include "base/path.h"
#include "core/settings_values.h"

constexpr size_t kTestParamsCapacity = 520;

struct AgentState {
    // Folders, each ending with a backslash except windowsFolder.
    char moduleFolder[kPathCapacity] = {};
    char windowsFolder[kPathCapacity] = {};
    char agentExePath[kPathCapacity] = {};     // moduleFolder + "Korvel.exe"
    char moduleFolderCopy[kPathCapacity] = {}; // never altered after start-up
    char serviceFolder[kPathCapacity] = {};    // moduleFolder + "MainFolder\", lower case
    int isVista = 0;
    HINSTANCE instance = nullptr;
    IMalloc* taskAllocator = nullptr;
    HANDLE instanceEvent = nullptr;

    // Poll cycle.
    std::atomic<HANDLE> pollThread{nullptr};
    std::atomic<int> pollMode{0}; // 1 reception, 0 test of one mailbox
    std::atomic<HWND> pollOwner{nullptr};
    std::atomic<int> testFlag{0};
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

    // The tray icon record, shared by the agent window, the poll thread and
    // the viewer.
    NOTIFYICONDATAA trayIcon = {};
};

extern AgentState gAgent;
