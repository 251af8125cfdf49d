#include "install/installer.h"

#include "core/agent_state.h"
#include "resources/resource.h"

namespace {

BOOL onInitDialog(HWND dialog) {
    HICON icon = LoadIconA(gAgent.instance, MAKEINTRESOURCEA(IDI_INSTALL));
    SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    CheckDlgButton(dialog, IDC_INSTALL_DESKTOP, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_GROUP, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_HERE, BST_CHECKED);
    CheckDlgButton(dialog, IDC_INSTALL_AUTOSTART, BST_CHECKED);
    SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, gAgent.moduleFolder);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_FOLDER), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_INSTALL_BROWSE), FALSE);
    return TRUE;
}

} // namespace

// The installation itself is not built yet: the dialog shows the choices and
// both buttons close it.
INT_PTR CALLBACK installDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}
