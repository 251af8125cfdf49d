// Asks the running agent to open its viewer, as the tray's "Новые письма"
// does: the demo (tools/run-demo.sh) uses it once the first mail has arrived.
// Exits 1 when no agent window is found.
#include <windows.h>

#include "resources/resource.h"

int main() {
    HWND agent = FindWindowA("Lumetra_Agent_Class", "MAIn Window");
    if (agent == nullptr) {
        return 1;
    }
    return PostMessageA(agent, WM_COMMAND, IDM_VIEW_MAIL, 0) ? 0 : 1;
}
