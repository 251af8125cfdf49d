#include "ui/paint_wait.h"

namespace {

// Often enough for the system to see the thread answer its queue.
constexpr DWORD kSliceMs = 100;
// A window that never validates must not keep the wait in a loop.
constexpr int kPaintsPerSlice = 64;

void paintPending() {
    MSG msg;
    // Peeking also delivers the messages that other threads send.
    for (int i = 0; i < kPaintsPerSlice && PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); i++) {
        DispatchMessageA(&msg);
    }
}

void dropRange(UINT first, UINT last) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, first, last, PM_REMOVE)) {
    }
}

void dropPendingInput() {
    dropRange(WM_KEYFIRST, WM_KEYLAST);
    dropRange(WM_MOUSEFIRST, WM_MOUSELAST);
    dropRange(WM_NCMOUSEMOVE, WM_NCMBUTTONDBLCLK);
}

} // namespace

bool waitKeepingPainted(HANDLE object, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    DWORD handles = object != nullptr ? 1 : 0;
    bool done = false;
    for (;;) {
        DWORD slice = kSliceMs;
        if (timeoutMs != INFINITE) {
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeoutMs) {
                done = handles == 0;
                break;
            }
            slice = timeoutMs - elapsed < slice ? timeoutMs - elapsed : slice;
        }
        DWORD result = MsgWaitForMultipleObjects(handles, &object, FALSE, slice, QS_PAINT | QS_SENDMESSAGE);
        if (handles == 1 && result == WAIT_OBJECT_0) {
            done = true;
            break;
        }
        if (result == WAIT_FAILED) {
            break;
        }
        paintPending();
    }
    dropPendingInput();
    return done;
}
