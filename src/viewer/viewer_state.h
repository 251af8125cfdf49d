// What the viewer's pieces share while the viewer exists: the tab shown, the
// view styles, the child windows and the notice helper. One viewer at a time;
// everything here belongs to the user-interface thread.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "store/mail_lists.h"

struct ViewerState {
    HWND window = nullptr;
    HWND tabs = nullptr;
    HWND status = nullptr;
    HWND list = nullptr;
    HIMAGELIST images = nullptr;
    int currentTab = 0;          // 0 "Новые" (NewMailDim), 1 "История" (MailDim)
    int viewStyle = 0;           // 1 detailed, 0 compact
    int newTabViewStyle = 0;     // remembered style of "Новые"
    int historyTabViewStyle = 0; // remembered style of "История"
    int statusHeight = 0;
};

extern ViewerState gViewer;

// The array pair of the tab shown.
inline MailList& currentMailList() {
    return gViewer.currentTab == 0 ? NewMailDim : MailDim;
}

// Shows a notice in the viewer's alert window for two seconds (error colour
// when isError is 1); the windows stay painted, input given meanwhile is
// dropped.
void showViewerNotice(const char* text, int isError);

// Measures the viewer's client area, narrows it to the tab's display area and
// rebuilds the list there. On failure the viewer is closed (WM_CLOSE).
bool rebuildViewerList(bool sort);

// Sets the tray to the received count: its tip and the mail or agent icon.
void showReceivedInTray();

// Reloads both mail files; a load that found nothing empties "Новые" when it
// is shown. receivedCount follows NewMailDim.
void reloadMailLists();

// Sets the undo button and its status bar part (icon and label) on or off.
void setUndoAvailable(bool available);
