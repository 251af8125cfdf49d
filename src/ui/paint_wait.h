// Waiting on the user-interface thread without taking input.
#pragma once
#include <windows.h>

// Waits until object is signalled or timeoutMs (INFINITE allowed) has passed;
// with a null object it only waits out the time. Meanwhile the thread's
// windows keep being painted and messages that other threads send are
// delivered, so that the windows never look dead and no sender waits for this
// thread; clicks and keys are not handled, and those given meanwhile are
// dropped at the end, so that nothing pressed during the wait acts later.
// True when object was signalled (with a null object: when the time is up).
bool waitKeepingPainted(HANDLE object, DWORD timeoutMs);
