// The state of one viewer window, which the window holds (GWLP_USERDATA):
// created when the window is created, freed when it is gone. Everything here
// belongs to the user-interface thread. The mail arrays and the order flags
// are the process's (store/mail_lists.h).
#pragma once
#include <windows.h>

#include "base/win_handles.h"
#include "store/mail_lists.h"
#include "viewer/mail_rows.h"

// The mail list: the list control inside the tab control and its rows.
struct MailListView {
    UniqueWindow control;
    MailRows rows;
    int fittedWidth = 0; // the width the columns were last fitted to
};

struct Viewer {
    HWND window = nullptr;
    HWND tabs = nullptr;
    GdiObject<HFONT> tabFont; // the tabs' font; it outlives the tab control
    HWND status = nullptr;
    MailListView list;
    int currentTab = 0;          // 0 "Новые" (NewMailDim), 1 "История" (MailDim)
    int viewStyle = 0;           // 1 detailed (grouped), 0 compact (flat)
    int newTabViewStyle = 0;     // remembered style of "Новые"
    int historyTabViewStyle = 0; // remembered style of "История"
    int statusHeight = 0;
    int statusNeeds[5] = {}; // each status part's width for its icon and label

    // The array pair of the tab shown.
    MailList& mails() const { return currentTab == 0 ? NewMailDim : MailDim; }
    bool detailed() const { return viewStyle != 0; }
    HWND listControl() const { return list.control.get(); }
};

// The state of a viewer window; null for any other window and before the
// window's creation has begun.
Viewer* viewerOf(HWND window);

// Measures the viewer's client area, narrows it to the tab's display area and
// rebuilds the list there. On failure the viewer is closed (WM_CLOSE).
bool rebuildViewerList(Viewer& viewer, bool sort);

// Sets the tray to the received count: its tip and the mail or agent icon.
void showReceivedInTray();

// Reloads both mail files; a load that found nothing empties "Новые" when it
// is shown. receivedCount follows NewMailDim.
void reloadMailLists(const Viewer& viewer);
