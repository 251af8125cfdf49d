#include "retrieval/pop3_session.h"

#include "base/event_log.h"
#include "base/text.h"
#include "retrieval/mailbox_test.h"
#include "retrieval/reception.h"

bool gPop3ForceWalk = false;

int runPop3Session(int mode, char* buffer, size_t capacity, HANDLE headerFile) {
    // Set up before anything can fail: a reception that ends early, in any
    // way, keeps the mailbox's known identifiers.
    WalkGuard walk(mode == kSessionReception);
    SocketLibrary library;
    if (!library.started()) {
        writeLog("Ошибка! Невозможно подключиться к Интернет");
        if (mode != kSessionReception) {
            copyText(buffer, capacity, kNoInternet);
        }
        return 0;
    }
    Pop3Dialogue s(mode != kSessionReception, buffer, capacity);
    s.allowClearText(mode == kSessionTestInClear);
    // The login must be over within the base allowance; a reception gets
    // more once it knows what the mailbox holds.
    s.connection.setDeadline(s.start + gNetTimeouts.sessionBaseMs);
    if (mode == kSessionTest || mode == kSessionTestInClear) {
        return runMailboxTest(s);
    }
    if (mode == kSessionReception) {
        return runReception(s, walk, headerFile);
    }
    return 0;
}
