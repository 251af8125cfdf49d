#include "install/uninstaller.h"

// The removal steps are not built yet: nothing is removed.
int uninstall(HWND) {
    return 1;
}
