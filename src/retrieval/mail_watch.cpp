#include "retrieval/mail_watch.h"

#include "base/event_log.h"
#include "base/file_io.h"
#include "base/win_handles.h"
#include "core/program_names.h"
#include "core/service_paths.h"
#include "store/account_line.h"
#include "store/line_reader.h"

#include <iphlpapi.h>
#include <netioapi.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// One watched mailbox. Its thread holds a reference of its own, so a thread
// that outlives the wait of a stop still finds everything it uses.
struct Watcher {
    std::string line; // the account line: a changed line is a new mailbox
    MailboxLogin login;
    MailArrived arrived;
    ConnectionStop stop;
    UniqueHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    UniqueHandle thread;
};
using WatcherRef = std::shared_ptr<Watcher>;

// The watchers, changed by the user-interface thread; the lock keeps a wake
// from another thread off a list being changed.
SRWLOCK watchLock = SRWLOCK_INIT;
std::vector<WatcherRef> watchers;
HANDLE networkNotification = nullptr;

// Waits out the pause before the next connection: false at the stop. A wake
// ends the pause early.
bool pauseBeforeRetry(Watcher& w, DWORD& pauseMs) {
    writeLogf("Соединение IDLE с ящиком %s прервано. Новая попытка через %u с", w.login.alias.c_str(),
              static_cast<unsigned>((pauseMs + 999) / 1000));
    HANDLE handles[] = {w.stop.event(), w.wake.get()};
    DWORD woke = WaitForMultipleObjects(2, handles, FALSE, pauseMs);
    if (woke == WAIT_OBJECT_0 || w.stop.requested()) {
        return false;
    }
    pauseMs =
        woke == WAIT_OBJECT_0 + 1 ? gIdleTimings.firstPauseMs : std::min(pauseMs * 2, gIdleTimings.longestPauseMs);
    return true;
}

// A watcher's life: connections one after another, with growing pauses
// between failures, until the stop or a server without IDLE.
DWORD WINAPI watchThread(void* param) {
    std::unique_ptr<WatcherRef> owner(static_cast<WatcherRef*>(param));
    Watcher& w = **owner;
    DWORD pauseMs = gIdleTimings.firstPauseMs;
    while (!w.stop.requested()) {
        ULONGLONG began = GetTickCount64();
        bool idled = false;
        IdleEnd end = idleOnMailbox(w.login, w.stop, w.wake.get(), w.arrived, idled);
        if (end == IdleEnd::Stopped || end == IdleEnd::NoIdle) {
            break;
        }
        if (end == IdleEnd::Woken) {
            pauseMs = gIdleTimings.firstPauseMs;
            continue; // the system woke up or the network changed: at once
        }
        if (idled && GetTickCount64() - began >= gIdleTimings.steadyMs) {
            pauseMs = gIdleTimings.firstPauseMs;
        }
        if (end == IdleEnd::Refused) {
            pauseMs = gIdleTimings.longestPauseMs;
        }
        if (!pauseBeforeRetry(w, pauseMs)) {
            break;
        }
    }
    return 0;
}

// The active IMAP mailboxes of MailBox.txt, as their account lines.
std::vector<std::string> imapAccountLines() {
    std::vector<std::string> lines;
    ServicePath path(kMailBoxFile);
    FileImage image;
    if (!readFileImage(path.text, FILE_SHARE_READ | FILE_SHARE_WRITE, image).ok() || image.size == 0) {
        return lines;
    }
    LineReader reader(image.text(), image.size, UnfinishedLine::Read);
    const char* line = nullptr;
    size_t length = 0;
    while (reader.next(line, length)) {
        AccountEntry entry;
        parseAccountLine(line, length, entry);
        char text[kAccountLineCapacity];
        formatAccountLine(entry, text);
        MailboxLogin login;
        if (entry.state != 'P' && readMailboxLine(text, login) && login.protocol == MailProtocol::Imap) {
            lines.push_back(text);
        }
    }
    return lines;
}

WatcherRef startWatcher(const std::string& line, const MailArrived& arrived) {
    WatcherRef w(new (std::nothrow) Watcher);
    if (!w || !w->wake || !w->stop.event() || !readMailboxLine(line.c_str(), w->login)) {
        return nullptr;
    }
    w->line = line;
    w->arrived = arrived;
    auto* param = new (std::nothrow) WatcherRef(w);
    if (param == nullptr) {
        return nullptr;
    }
    w->thread.reset(CreateThread(nullptr, 0, watchThread, param, 0, nullptr));
    if (!w->thread) {
        delete param;
        writeLogf("Затрудняюсь начать IDLE для ящика %s. Ошибка %lu", w->login.alias.c_str(), GetLastError());
        return nullptr;
    }
    return w;
}

// Asks each to stop, then waits for all their threads within timeoutMs.
bool stopWatchers(const std::vector<WatcherRef>& stopping, DWORD timeoutMs) {
    for (const WatcherRef& w : stopping) {
        w->stop.request();
    }
    ULONGLONG until = GetTickCount64() + timeoutMs;
    bool allEnded = true;
    for (const WatcherRef& w : stopping) {
        ULONGLONG now = GetTickCount64();
        DWORD left = now < until ? static_cast<DWORD>(until - now) : 0;
        allEnded = WaitForSingleObject(w->thread.get(), left) == WAIT_OBJECT_0 && allEnded;
    }
    return allEnded;
}

// A change of the system's addresses (a network came or went).
void CALLBACK onAddressChange(void*, MIB_UNICASTIPADDRESS_ROW*, MIB_NOTIFICATION_TYPE) {
    wakeMailWatch();
}

void listenForNetworkChanges() {
    if (networkNotification == nullptr &&
        NotifyUnicastIpAddressChange(AF_UNSPEC, onAddressChange, nullptr, FALSE, &networkNotification) != NO_ERROR) {
        networkNotification = nullptr;
    }
}

} // namespace

void startMailWatch(const MailArrived& arrived) {
    std::vector<std::string> lines = imapAccountLines();
    std::vector<WatcherRef> kept, gone;
    {
        ExclusiveLock lock(watchLock);
        for (WatcherRef& w : watchers) {
            auto same = std::find(lines.begin(), lines.end(), w->line);
            if (same != lines.end()) {
                lines.erase(same);
                kept.push_back(std::move(w));
            } else {
                gone.push_back(std::move(w));
            }
        }
        watchers.swap(kept);
    }
    // A mailbox removed or changed ends its connection without a wait: its
    // thread finishes on its own.
    for (const WatcherRef& w : gone) {
        w->stop.request();
    }
    for (const std::string& line : lines) {
        WatcherRef w = startWatcher(line, arrived);
        if (w) {
            ExclusiveLock lock(watchLock);
            watchers.push_back(std::move(w));
        }
    }
    listenForNetworkChanges();
}

void wakeMailWatch() {
    ExclusiveLock lock(watchLock);
    for (const WatcherRef& w : watchers) {
        SetEvent(w->wake.get());
    }
}

bool stopMailWatch(DWORD timeoutMs) {
    if (networkNotification != nullptr) {
        // Returns once no callback runs any more.
        CancelMibChangeNotify2(networkNotification);
        networkNotification = nullptr;
    }
    std::vector<WatcherRef> stopping;
    {
        ExclusiveLock lock(watchLock);
        stopping.swap(watchers);
    }
    return stopWatchers(stopping, timeoutMs);
}

size_t mailWatchCount() {
    ExclusiveLock lock(watchLock);
    return watchers.size();
}
