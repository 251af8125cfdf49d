// The poll cycle: a worker thread started for each poll that checks the
// connection, fetches telegrams and mail (or tests one mailbox), reads the
// version file and updates the tray and an open viewer.
#pragma once
#include <windows.h>

#include "base/win_handles.h"

// Starts a cycle in the mode the starter put into gAgent (pollMode,
// testParams, testFlag). The thread's handle is in pollThread
// before the thread runs. Returns a handle of the thread of the caller's own,
// valid until the caller closes it (the mailbox page waits on it), or an
// empty handle when no thread could be created.
UniqueHandle startPollCycle();

// Shutdown: asks a running cycle to end at once (its POP3 session and HTTP
// requests are stopped) and waits up to timeoutMs for the thread of the last
// cycle to end. True when no cycle runs any more.
bool stopPollCycle(DWORD timeoutMs);

// The thread of the last cycle started, signalled when it has ended; null
// before the first. Valid until the next start or stop (user-interface thread
// only, as both are).
HANDLE lastPollCycle();

DWORD WINAPI pollCycleThread(void* unused);

// A cycle is in its fetching phase (at most one is).
bool pollRunning();

// A reception cycle from the agent window (timer, menu, viewer, settings, a
// server's announcement of new mail).
bool startReception();

// The version check of a cycle: reads "ver.dat" from the update server and
// records in the settings file what it offers now (a newer version, or none).
// True when it offers a version newer than the one known before: the tray's
// balloon tells of it.
bool checkProgramVersion();
