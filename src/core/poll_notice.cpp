#include "core/poll_notice.h"

#include "base/win_util.h"
#include "core/agent_state.h"
#include "resources/resource.h"

#include <cstring>
#include <new>

bool postPollNotice(const char* text) {
    size_t size = strlen(text) + 1;
    char* copy = new (std::nothrow) char[size];
    if (copy == nullptr) {
        return false;
    }
    memcpy(copy, text, size);
    HWND agent = gAgent.agentWindow;
    if (agent == nullptr || !PostMessageA(agent, WM_POLL_NOTICE, 0, reinterpret_cast<LPARAM>(copy))) {
        delete[] copy;
        return false;
    }
    return true;
}

void showPollNotice(HWND window, LPARAM notice) {
    char* text = reinterpret_cast<char*>(notice);
    if (text == nullptr) {
        return;
    }
    showMessage(window, text);
    delete[] text;
}
