#include "viewer/viewer_window.h"

#include "resources/resource.h"

const char kViewerWindowClass[] = "Lumetra_Class";

HWND viewerButton(HWND viewer, ViewerButton which) {
    if (viewer == nullptr) {
        return nullptr;
    }
    switch (which) {
    case ViewerButton::Delete:
        return GetDlgItem(viewer, IDC_VIEWER_DELETE);
    case ViewerButton::Undo:
        return GetDlgItem(viewer, IDC_VIEWER_UNDO);
    case ViewerButton::GetMail:
        return GetDlgItem(viewer, IDC_VIEWER_GET_MAIL);
    case ViewerButton::Settings:
        return GetDlgItem(viewer, IDC_VIEWER_SETTINGS);
    case ViewerButton::SizeToggle:
        return GetDlgItem(viewer, IDC_VIEWER_SIZE_TOGGLE);
    }
    return nullptr;
}

// The viewer's contents (tabs, mail list, status bar) are not built yet: the
// window is an empty frame.
LRESULT CALLBACK viewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}
