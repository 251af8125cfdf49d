#include "core/poll_notice.h"

#include "base/win_util.h"
#include "core/agent_state.h"
#include "resources/resource.h"

#include <cstring>
#include <memory>
#include <new>

bool postPollNotice(const char* text) {
    size_t size = strlen(text) + 1;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[size]);
    if (!copy) {
        return false;
    }
    memcpy(copy.get(), text, size);
    HWND agent = gAgent.agentWindow;
    if (agent == nullptr || !PostMessageA(agent, WM_POLL_NOTICE, 0, reinterpret_cast<LPARAM>(copy.get()))) {
        return false;
    }
    // The message owns the copy now; the agent window frees it.
    copy.release();
    return true;
}

void showPollNotice(HWND window, LPARAM notice) {
    std::unique_ptr<char[]> text(reinterpret_cast<char*>(notice));
    if (text) {
        showMessage(window, text.get());
    }
}
