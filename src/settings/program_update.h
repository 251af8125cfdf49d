// The program update of the options page: the updater "Velnor.exe" is
// downloaded from the update server while the page goes on answering, then
// started, and the agent shuts down.
#pragma once
#include <windows.h>

// An announced version is newer than the running program.
bool updateOffered();

// The update button: starts the download, whose progress the page's status
// line shows; while it runs the button is its cancel button.
void onUpdateButton(HWND page);

// WM_UPDATE_PROGRESS of the download.
void onUpdateProgress(HWND page);

// WM_UPDATE_DONE (wParam: the download's number): shows how the download
// ended. A stored updater is started with the agent's version and the agent
// window asked to end the agent.
void onUpdateDone(HWND page, WPARAM number);

// A download runs (the settings dialog keeps its options page meanwhile).
bool updateRunning();

// The page goes (the settings dialog closes, the agent ends): a download
// that still runs is cancelled.
void stopUpdate();
