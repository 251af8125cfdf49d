// The program update of the options page: the updater "Velnor.exe" is
// downloaded from the update server while the page goes on answering, then
// started, and the agent shuts down.
#pragma once
#include <windows.h>

class UpdateDownload;

// An announced version is newer than the running program.
bool updateOffered();

// The update button: starts the page's download, whose progress the page's
// status line shows; while it runs the button is its cancel button.
void onUpdateButton(HWND page, UpdateDownload& download);

// WM_UPDATE_PROGRESS of the download.
void onUpdateProgress(HWND page, UpdateDownload& download);

// WM_UPDATE_DONE (wParam: the download's number): shows how the download
// ended. A stored updater is started with the agent's version and the agent
// window asked to end the agent.
void onUpdateDone(HWND page, UpdateDownload& download, WPARAM number);
