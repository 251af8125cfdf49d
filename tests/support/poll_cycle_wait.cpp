#include "poll_cycle_wait.h"

#include "agent/poll_cycle.h"

#include "win_test_support.h"

bool waitForPollCycle(DWORD timeoutMs) {
    HANDLE cycle = lastPollCycle();
    if (cycle == nullptr) {
        return false;
    }
    DWORD start = GetTickCount();
    for (;;) {
        pumpPendingMessages();
        if (WaitForSingleObject(cycle, 0) == WAIT_OBJECT_0) {
            // Whatever the thread posted is in the queue now.
            pumpPendingMessages();
            return true;
        }
        DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs) {
            return false;
        }
        MsgWaitForMultipleObjects(1, &cycle, FALSE, timeoutMs - spent, QS_ALLINPUT);
    }
}
